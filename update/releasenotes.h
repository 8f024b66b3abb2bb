#pragma once

#include <QString>

// The release notes as the window shows them: plain text, character for character, cut to
// what the small text view can lay out at once. Each line keeps at most 1,000 characters and
// the whole at most 32,768; a cut is marked with "…". Markup is never interpreted here or in
// the view, so notes cannot fetch files or imitate the window's own lines.
QString releaseNotesForDisplay(const QString &notes);

#include "update/releasenotes.h"

#include <QStringView>

namespace {

// One unbroken line costs Qt's text layout time that grows faster than its length; these keep
// any notes that fit in the reply well under a second to show.
constexpr qsizetype maxLineChars = 1000;
constexpr qsizetype maxChars = 32768;
const QChar ellipsis(0x2026);

} // namespace

QString releaseNotesForDisplay(const QString &notes)
{
    QString shown;
    shown.reserve(qMin(notes.size(), maxChars + 1));
    qsizetype lineStart = 0;
    while (lineStart <= notes.size() && shown.size() < maxChars) {
        qsizetype lineEnd = notes.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            lineEnd = notes.size();
        const QStringView line = QStringView(notes).mid(lineStart, lineEnd - lineStart);
        if (lineStart > 0)
            shown += QLatin1Char('\n');
        if (line.size() > maxLineChars) {
            // Never split a surrogate pair.
            const bool pairCut = line.at(maxLineChars - 1).isHighSurrogate();
            shown += line.left(maxLineChars - (pairCut ? 1 : 0));
            shown += ellipsis;
        } else {
            shown += line;
        }
        lineStart = lineEnd + 1;
    }
    if (shown.size() > maxChars || lineStart <= notes.size()) {
        shown.truncate(maxChars - (shown.at(maxChars - 1).isHighSurrogate() ? 1 : 0));
        // A line cut just before already ends in one.
        if (!shown.endsWith(ellipsis))
            shown += ellipsis;
    }
    return shown;
}

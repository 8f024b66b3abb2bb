#pragma once

class QPalette;

// Whether the user's system asks applications for a dark look. On Windows this is the
// per-user preference "AppsUseLightTheme"; elsewhere that preference does not exist, so the
// desktop's own palette, as Qt reported it before any theme was applied, decides.
bool systemPrefersDark(const QPalette &desktopPalette);

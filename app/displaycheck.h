#pragma once

#include <string>

// Why this start has no display that the window system could use, or an empty text when it has
// one, or runs on a platform that needs none of ours to judge (offscreen, minimal, Windows).
// Asked before the application object is built: Qt aborts the process when no platform plugin
// starts, which would leave a daily check without a display to end by a signal.
std::string missingDisplay(int argc, const char *const *argv);

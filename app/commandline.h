#pragma once

#include <QtGlobal>

struct CommandLine
{
    qint64 appVersion = 0; // the installed version's digits, dots removed; 0 when none
    bool dailyCheck = false;
};

// Reads "version=" and "dailyCheck" from argv[1..argc-1]; anything else is ignored.
CommandLine parseCommandLine(int argc, const char *const *argv);

#pragma once

#include <QString>
#include <QtGlobal>

struct CommandLine
{
    qint64 appVersion = 0; // the installed version's digits, dots removed; 0 when none
    QString version;       // the same argument's dotted text, which orders where digits do not
    bool dailyCheck = false;
};

// Reads "version=" and "dailyCheck" from argv[1..argc-1]; anything else is ignored.
CommandLine parseCommandLine(int argc, const char *const *argv);

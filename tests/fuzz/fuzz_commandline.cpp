// A command line of any arguments (the input split at NUL bytes).
#include "app/commandline.h"

#include <QByteArrayList>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayList arguments =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    std::vector<const char *> argv{"GlimmerpaneUpdater"};
    for (const QByteArray &argument : arguments)
        argv.push_back(argument.constData());
    argv.push_back(nullptr);
    const CommandLine line = parseCommandLine(int(argv.size() - 1), argv.data());
    const bool daily = arguments.contains("dailyCheck") || arguments.contains("DAILYCHECK");
    if (daily && !line.dailyCheck)
        std::abort();
    return 0;
}

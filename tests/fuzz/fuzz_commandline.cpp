// A command line of any arguments (the input split at NUL bytes).
#include "app/commandline.h"

#include <QByteArrayList>

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayList arguments =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    std::vector<const char *> argv{"GlimmerpaneUpdater"};
    for (const QByteArray &argument : arguments)
        argv.push_back(argument.constData());
    argv.push_back(nullptr);
    parseCommandLine(int(argv.size() - 1), argv.data());
    return 0;
}

// Release notes of any bytes, as the window shows them: bounded in size and in line length.
#include "update/releasenotes.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString notes = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString shown = releaseNotesForDisplay(notes);
    if (shown.size() > 32768 + 1)
        std::abort();
    for (const QStringView line : QStringView(shown).split(QLatin1Char('\n'))) {
        if (line.size() > 1000 + 1)
            std::abort();
    }
    if (notes.size() <= 1000 && !notes.contains(QLatin1Char('\n')) && shown != notes)
        std::abort(); // short notes are shown character for character
    return 0;
}

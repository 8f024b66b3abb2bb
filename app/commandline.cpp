#include "app/commandline.h"

#include <QString>
#include <QStringList>

namespace {

const QString dailyCheckKeyword = QStringLiteral("dailyCheck");
const QString versionPrefix = QStringLiteral("version=");

} // namespace

CommandLine parseCommandLine(int argc, const char *const *argv)
{
    CommandLine result;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromUtf8(argv[i]);
        if (argument.isEmpty())
            continue;
        if (argument.compare(dailyCheckKeyword, Qt::CaseInsensitive) == 0) {
            result.dailyCheck = true;
            continue;
        }
        if (!argument.startsWith(versionPrefix, Qt::CaseInsensitive))
            continue;
        const QStringList parts = argument.split(QLatin1Char('='));
        if (parts.size() != 2 || parts.at(1).isEmpty())
            continue;
        result.version = parts.at(1);
        QString digits = parts.at(1);
        digits.remove(QLatin1Char('.'));
        result.appVersion = digits.toLongLong(nullptr, 10);
    }
    return result;
}

#include "core/releaseversion.h"

#include <QStringList>

namespace {

bool allDigits(const QString &part)
{
    if (part.isEmpty())
        return false;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// A part's value as text without leading zeros, so that parts of any length compare exactly.
QString significant(const QString &part)
{
    qsizetype first = 0;
    while (first < part.size() - 1 && part.at(first) == QLatin1Char('0'))
        ++first;
    return part.mid(first);
}

} // namespace

bool isReleaseVersion(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() > 4)
        return false;
    for (const QString &part : parts) {
        if (!allDigits(part) || part.size() > 5 || significant(part) != part ||
            part.toInt() > 65535)
            return false;
    }
    return true;
}

QString versionDigits(const QString &dotted)
{
    return QString(dotted).remove(QLatin1Char('.'));
}

std::optional<int> compareVersions(const QString &a, const QString &b)
{
    const QStringList left = a.split(QLatin1Char('.')), right = b.split(QLatin1Char('.'));
    for (const QStringList *parts : {&left, &right}) {
        for (const QString &part : *parts) {
            if (!allDigits(part))
                return std::nullopt;
        }
    }
    for (qsizetype i = 0; i < qMax(left.size(), right.size()); ++i) {
        const QString x = significant(left.value(i, QStringLiteral("0")));
        const QString y = significant(right.value(i, QStringLiteral("0")));
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int order = x.compare(y); order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

#include "core/releasestatement.h"

namespace {

QByteArray statement(const QByteArray &tag, const QByteArray &version, qint64 size,
                     const QByteArray &sha256)
{
    if (size < 0 || sha256.size() != 32)
        return QByteArray();
    return tag + QByteArrayLiteral("\nGlimmerpane\nWindows\n") + version + '\n' +
           QByteArray::number(size) + '\n' + sha256.toHex() + '\n';
}

} // namespace

QByteArray releaseStatement(const QString &dottedVersion, qint64 size, const QByteArray &sha256)
{
    // A line end inside the version would let one statement be read as another.
    if (dottedVersion.isEmpty() || dottedVersion.contains(QLatin1Char('\n')))
        return QByteArray();
    return statement(QByteArrayLiteral("glimmerpane-release-statement-2"), dottedVersion.toLatin1(),
                     size, sha256);
}

QByteArray digitsReleaseStatement(int version, qint64 size, const QByteArray &sha256)
{
    return statement(QByteArrayLiteral("glimmerpane-release-statement-1"),
                     QByteArray::number(version), size, sha256);
}

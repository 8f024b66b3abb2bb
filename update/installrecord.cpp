#include "update/installrecord.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

constexpr qint64 maxRecordBytes = 4 * 1024;

} // namespace

QString InstallRecord::path(const QString &updateFolder)
{
    return updateFolder + QStringLiteral("install-record.json");
}

std::optional<InstallRecord> InstallRecord::read(const QString &updateFolder)
{
    QFile file(path(updateFolder));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxRecordBytes)
        return std::nullopt;
    const QJsonObject fields = QJsonDocument::fromJson(file.read(maxRecordBytes)).object();
    InstallRecord record;
    record.version = fields.value(QStringLiteral("version")).toInt(0);
    record.versionText = fields.value(QStringLiteral("versionText")).toString();
    record.installerName = fields.value(QStringLiteral("installer")).toString();
    record.sha256 =
        QByteArray::fromHex(fields.value(QStringLiteral("sha256")).toString().toLatin1());
    record.time =
        QDateTime::fromString(fields.value(QStringLiteral("time")).toString(), Qt::ISODate);
    // The name is joined to the folder and deleted later: a path of any other kind is refused.
    if (record.version <= 0 || record.installerName.isEmpty() ||
        QFileInfo(record.installerName).fileName() != record.installerName ||
        record.installerName.contains(QLatin1Char('\\')) || !record.time.isValid())
        return std::nullopt;
    return record;
}

bool InstallRecord::write(const QString &updateFolder) const
{
    const QJsonObject fields{{QStringLiteral("version"), version},
                             {QStringLiteral("versionText"), versionText},
                             {QStringLiteral("installer"), installerName},
                             {QStringLiteral("sha256"), QString::fromLatin1(sha256.toHex())},
                             {QStringLiteral("time"), time.toUTC().toString(Qt::ISODate)}};
    QSaveFile file(path(updateFolder));
    return file.open(QIODevice::WriteOnly) &&
           file.write(QJsonDocument(fields).toJson(QJsonDocument::Compact)) > 0 && file.commit();
}

#include "update/partialdownload.h"

#include "core/ownfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

constexpr qint64 maxStateBytes = 16 * 1024;

} // namespace

std::optional<PartialDownload> PartialDownload::read(const QString &path)
{
    QFile file;
    if (!openOwnFile(file, path, OwnFileMode::Read) || file.size() > maxStateBytes)
        return std::nullopt;
    const QJsonObject state = QJsonDocument::fromJson(file.read(maxStateBytes)).object();
    PartialDownload kept;
    kept.url = state.value(QStringLiteral("url")).toString();
    kept.size = qint64(state.value(QStringLiteral("size")).toDouble(-1));
    kept.sha256 = QByteArray::fromHex(state.value(QStringLiteral("sha256")).toString().toLatin1());
    kept.validator = state.value(QStringLiteral("validator")).toString().toLatin1();
    if (kept.url.isEmpty() || kept.size < 0 || kept.sha256.size() != 32 || kept.validator.isEmpty())
        return std::nullopt;
    return kept;
}

bool PartialDownload::write(const QString &path) const
{
    const QJsonObject state{{QStringLiteral("url"), url},
                            {QStringLiteral("size"), double(size)},
                            {QStringLiteral("sha256"), QString::fromLatin1(sha256.toHex())},
                            {QStringLiteral("validator"), QString::fromLatin1(validator)}};
    // Written beside and renamed over the name: a link there is replaced, never followed.
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(QJsonDocument(state).toJson(QJsonDocument::Compact)) > 0 && file.commit();
}

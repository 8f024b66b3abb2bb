#include "update/partialfile.h"

#include <QFileInfo>

PartialFile::PartialFile(const QString &targetPath)
    : target(targetPath), file(targetPath + QStringLiteral("_tmp"))
{}

QString PartialFile::targetPath() const
{
    return target;
}

QString PartialFile::tempPath() const
{
    return target + QStringLiteral("_tmp");
}

QString PartialFile::statePath() const
{
    return tempPath() + QStringLiteral(".part");
}

bool PartialFile::open(const PartialDownload &wanted)
{
    release = wanted;
    release.validator.clear();
    file.close();
    digest.result(); // starts over
    const std::optional<PartialDownload> kept = PartialDownload::read(statePath());
    const QFileInfo partial(tempPath());
    if (kept && kept->url == release.url && kept->size == release.size &&
        kept->sha256 == release.sha256 && partial.isFile() && !partial.isSymLink() &&
        partial.size() <= release.size && continueKept(partial.size())) {
        release.validator = kept->validator;
        return true;
    }
    file.close();
    // Made new, never through an existing name or symbolic link: a leftover is removed first,
    // and whatever cannot be removed makes the open fail.
    discard();
    written = 0;
    digest.result();
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

// The digest covers the whole file, so the kept bytes are hashed from the disk, not fetched again.
bool PartialFile::continueKept(qint64 keptBytes)
{
    written = keptBytes;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || !file.resize(keptBytes))
        return false;
    if (release.sha256.isEmpty())
        return true;
    QFile kept(tempPath());
    return kept.open(QIODevice::ReadOnly) && digest.addData(&kept) && kept.size() == keptBytes;
}

qint64 PartialFile::size() const
{
    return written;
}

QByteArray PartialFile::validator() const
{
    return release.validator;
}

bool PartialFile::keepState(const QByteArray &validator)
{
    release.validator = validator;
    // Only a stated release can be told apart from another.
    if (!validator.isEmpty() && release.size >= 0 && !release.sha256.isEmpty() &&
        release.write(statePath()))
        return true;
    forgetState();
    return false;
}

void PartialFile::forgetState()
{
    release.validator.clear();
    QFile::remove(statePath());
}

bool PartialFile::startOver()
{
    written = 0;
    digest.result();
    return file.resize(0);
}

bool PartialFile::write(QByteArrayView data)
{
    if (file.write(data.data(), data.size()) != data.size() || !file.flush())
        return false;
    written += data.size();
    if (!release.sha256.isEmpty())
        digest.addData(data);
    return true;
}

bool PartialFile::close()
{
    if (!file.isOpen())
        return true;
    // close() flushes what is left; a failure there means bytes that never reached the disk.
    file.close();
    return file.error() == QFileDevice::NoError;
}

PartialFile::Check PartialFile::check()
{
    if (release.size >= 0 && written != release.size)
        return Check::SizeMismatch;
    if (!release.sha256.isEmpty() && digest.result() != release.sha256)
        return Check::ChecksumMismatch;
    return Check::Whole;
}

QString PartialFile::moveIntoPlace()
{
    // Whatever stands at the installer's name must go, or the older file would be started.
    if (QFileInfo::exists(target) && !QFile::remove(target))
        return QStringLiteral("remove old installer failed");
    if (!QFile::rename(tempPath(), target))
        return QStringLiteral("rename installer failed");
    QFile::remove(statePath());
    return QString();
}

void PartialFile::discard()
{
    file.close();
    QFile::remove(tempPath());
    QFile::remove(statePath());
}

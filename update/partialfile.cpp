#include "update/partialfile.h"

#include "core/limits.h"
#include "core/ownfile.h"
#include "update/busyfile.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <limits>

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
    room = -1;
    digest.result(); // starts over
    const std::optional<PartialDownload> kept = PartialDownload::read(statePath());
    if (kept && kept->url == release.url && kept->size == release.size &&
        kept->sha256 == release.sha256 && continueKept()) {
        release.validator = kept->validator;
        return true;
    }
    // Made new, never through an existing name or link: a leftover is removed first, and
    // whatever cannot be removed makes the open fail.
    discard();
    written = 0;
    digest.result();
    return openOwnFile(file, tempPath(), OwnFileMode::Create);
}

// The digest covers the whole file, so the kept bytes are hashed from the disk, not fetched
// again, through the descriptor that then writes the rest.
bool PartialFile::continueKept()
{
    if (!openOwnFile(file, tempPath(), OwnFileMode::ReadWrite))
        return false;
    written = file.size();
    if (written > release.size)
        return false;
    if (!release.sha256.isEmpty() && (!digest.addData(&file) || file.pos() != written))
        return false;
    return file.seek(written);
}

qint64 PartialFile::size() const
{
    return written;
}

bool PartialFile::stillOurs() const
{
    return namesOpenFile(tempPath(), file);
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
    return file.resize(0) && file.seek(0);
}

bool PartialFile::write(QByteArrayView data)
{
    if (release.size < 0 && !roomFor(data.size()))
        return false;
    if (file.write(data.data(), data.size()) != data.size() || !file.flush())
        return false;
    written += data.size();
    if (!release.sha256.isEmpty())
        digest.addData(data);
    return true;
}

bool PartialFile::volumeHasRoom() const
{
    if (release.size < 0)
        return true;
    const QStorageInfo volume(QFileInfo(tempPath()).absolutePath());
    return !volume.isValid() || volume.bytesAvailable() < 0 ||
           volume.bytesAvailable() >= release.size - written + Limits::diskSpaceMarginBytes();
}

// Without a stated size nothing bounds the body: it may take the volume down to the margin kept
// free, not further. Our own writes are counted; the volume is asked again after each 64 MiB,
// since others write to it too (asking reads the mount table: not for every chunk).
bool PartialFile::roomFor(qint64 bytes)
{
    constexpr qint64 recheckBytes = 64 * 1024 * 1024;
    if (room < bytes || sinceRoomCheck >= recheckBytes) {
        const QStorageInfo volume(QFileInfo(tempPath()).absolutePath());
        room = volume.isValid() && volume.bytesAvailable() >= 0
                   ? volume.bytesAvailable() - Limits::diskSpaceMarginBytes()
                   : std::numeric_limits<qint64>::max();
        sinceRoomCheck = 0;
    }
    if (room < bytes)
        return false;
    room -= bytes;
    sinceRoomCheck += bytes;
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
    if (QFileInfo::exists(target) && !removeWhenFree(target))
        return QStringLiteral("remove old installer failed");
    if (!renameWhenFree(tempPath(), target))
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

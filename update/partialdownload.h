#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What a kept partial download was fetched as, stored as JSON in "<name>_tmp.part" beside it:
// a later try continues the partial file only for the same address and the same stated release,
// and asks the server with the validator whether the file is still the same.
struct PartialDownload
{
    QString url; // without query, fragment or user: those may hold a token
    qint64 size = -1;
    QByteArray sha256;    // raw bytes
    QByteArray validator; // the ETag, else the Last-Modified date

    // Nothing for a missing, unreadable or malformed file.
    static std::optional<PartialDownload> read(const QString &path);
    // Whole or not at all (QSaveFile): a crash mid-write never leaves a half state. Private to
    // the user (0600 on Linux; on Windows the update folder's list).
    bool write(const QString &path) const;
};

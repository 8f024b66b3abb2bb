#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// What the updater last handed to an installer, kept as JSON beside it in the update folder, so
// that the next start with a version handed over can tell whether that update took effect.
struct InstallRecord
{
    int version = 0;       // the offered version's digits
    QString versionText;   // its dotted text ("1.0.10"); empty when the reply named none
    QString installerName; // a bare file name in the update folder
    QByteArray sha256;     // raw bytes as stated for the installer; empty when none was
    QDateTime time;        // when the installer was started, UTC

    static QString path(const QString &updateFolder);
    // Nothing for a missing, unreadable or malformed record.
    static std::optional<InstallRecord> read(const QString &updateFolder);
    // Whole or not at all (QSaveFile).
    bool write(const QString &updateFolder) const;
};

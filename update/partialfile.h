#pragma once

#include "update/partialdownload.h"
#include "update/sha256.h"

#include <QByteArrayView>
#include <QFile>
#include <QString>

// The installer on its way into the update folder: "<target>_tmp" holds the bytes so far, and
// "<target>_tmp.part" what they were fetched as, so that a later try can continue them. It
// hashes what it keeps and what it writes, checks the finished bytes against the stated release
// and moves them to the target name. No network.
class PartialFile
{
    Q_DISABLE_COPY_MOVE(PartialFile)

public:
    enum class Check { Whole, SizeMismatch, ChecksumMismatch };

    explicit PartialFile(const QString &targetPath);

    QString targetPath() const;
    QString tempPath() const;
    QString statePath() const;

    // Opens the temporary file for `release` (address, size, digest; no validator needed). The
    // kept bytes are continued only when the state names this very release and the file is our
    // own (no link, one name) and no longer than stated; otherwise both files go and it starts
    // empty. The file stays open, through retries, until close(). False when it cannot be made.
    bool open(const PartialDownload &release);
    // Bytes in the file so far: where a range request starts.
    qint64 size() const;
    // Whether "<name>_tmp" still names the file being written: something put in its place since
    // (a link, another file) is never written through, and the download starts over.
    bool stillOurs() const;
    // The kept state's validator, for If-Range; empty without a state.
    QByteArray validator() const;
    // Records the server's validator for a stated release; any other case forgets the state, and
    // the bytes can then only be fetched again. True when a state was written.
    bool keepState(const QByteArray &validator);
    void forgetState();
    // Whether the volume takes the stated bytes still to come and keeps its free-space margin.
    bool volumeHasRoom() const;
    // The kept bytes go; writing goes on from the start.
    bool startOver();
    // Written whole and flushed, or false: a short write never passes unnoticed, nor a body of
    // no stated size that would take the volume under the free-space margin.
    bool write(QByteArrayView data);
    // Closes the file; false when bytes it was given never reached the disk.
    bool close();
    Check check();
    // Replaces whatever stands at the target name; empty on success, else the log line.
    QString moveIntoPlace();
    // Both files go.
    void discard();

private:
    bool continueKept();
    bool roomFor(qint64 bytes);

    const QString target;
    PartialDownload release;
    QFile file;
    qint64 written = 0;
    Sha256 digest;
    qint64 room = -1; // what the volume may still take, as last asked
    qint64 sinceRoomCheck = 0;
};

#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// How one installer download ended.
struct DownloadResult
{
    Q_GADGET

public:
    enum class Error {
        NoError,
        InvalidAddress,
        SignatureInvalid,
        NotEnoughSpace,
        FileError,
        SizeMismatch,
        ChecksumMismatch,
        // The connection or the server failed, after any retries; errorString names the HTTP
        // status or the kind of error (empty for a stall, which is logged as it happens).
        NetworkError,
    };
    Q_ENUM(Error)

    Error error = Error::NoError;
    QString errorString; // the update log's line for the failure
    int statusCode = 0;  // of the reply that brought the file
};

Q_DECLARE_METATYPE(DownloadResult)

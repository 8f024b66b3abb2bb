#pragma once

#include "update/installerexpectation.h"

#include <QByteArray>
#include <QString>

// What the version service's reply says, judged from its body alone.
struct VersionReply
{
    enum Outcome {
        UpdateInfo,   // code 200 and a complete "data" object
        InvalidJson,  // not parseable (this includes an empty body)
        NullDocument, // parsed, but no document
        BadCode,      // "code" missing, not a number, or not 200
        NoData,       // "data" missing or not an object
        NoUpdateInfo, // "data" lacks one of its three members
        BadIntegrity, // "size", "sha256" or "signature" present but malformed
    };

    Outcome outcome = InvalidJson;
    int code = -1;
    int latestVersion = 0; // the "appVersion" digits; 0 when not a plain int in a string
    QString updateAddress;
    QString updateLog;
    InstallerExpectation expectation; // the optional "size", "sha256" and "signature"
};

VersionReply parseVersionReply(const QByteArray &body);

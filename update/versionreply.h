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
        BadIntegrity, // "size", "sha256", "signature" or "version" present but malformed
    };

    Outcome outcome = InvalidJson;
    int code = -1;
    int latestVersion = 0; // the "appVersion" digits; 0 when not a plain int in a string
    QString updateAddress;
    QString updateLog;
    // The optional "size", "sha256", "signature" and "version" (dotted, its digits "appVersion").
    InstallerExpectation expectation;
};

VersionReply parseVersionReply(const QByteArray &body);

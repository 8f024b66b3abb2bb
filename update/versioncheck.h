#pragma once

#include "update/installerexpectation.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

// What one version check comes to, judged from the reply body alone: what the window logs,
// shows and keeps. The window words it. A reply with a dotted "version" is
// compared part by part with the installed dotted version; without one, or when the installed
// version is no dotted decimal text, the digits are. With a vendor key built in, an update
// without a size, a digest, a signature and a dotted version is refused like a malformed one,
// and one whose signature does not verify is refused here, before anyone is shown it.
struct VersionCheck
{
    // What the error label says; None when the reply held update info.
    enum class Problem { None, Unparsable, NullResponse, ErrorCode, NoData, NoUpdateInfo };

    QString logLine; // for the update log; empty for none
    Problem problem = Problem::None;
    int code = 0;          // the service's code, for ErrorCode
    qint64 appVersion = 0; // the installed version's digits, as checked
    int latestVersion = 0; // "appVersion" of the reply, when it held update info
    QString releaseNotes;  // ready to show, when there is an update
    bool answered = false; // the reply held update info, so the button is set anew
    bool hasUpdate = false;
    QString installerName; // "Glimmerpane<latest>.exe", when there is an update
    QString updateAddress;
    InstallerExpectation expectation; // what the installer must be before it is started
};

Q_DECLARE_METATYPE(VersionCheck)

VersionCheck evaluateVersionReply(const QByteArray &body, qint64 appVersion,
                                  const QString &installedVersion = QString());

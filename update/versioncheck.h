#pragma once

#include "update/installerexpectation.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// What one version check comes to, judged from the reply body alone: what the window logs,
// shows and keeps. Texts the user sees are translated. A reply with a dotted "version" is
// compared part by part with the installed dotted version; without one, or when the installed
// version is no dotted decimal text, the digits are. With a vendor key built in, an update
// without a size, a digest, a signature and a dotted version is refused like a malformed one,
// and one whose signature does not verify is refused here, before anyone is shown it.
struct VersionCheck
{
    Q_DECLARE_TR_FUNCTIONS(VersionCheck)

public:
    QString logLine;       // for the update log; empty for none
    QString errorText;     // for the error label; empty when the reply held update info
    QStringList infoLines; // appended to the text view one by one
    bool answered = false; // the reply held update info, so the button is set anew
    bool hasUpdate = false;
    QString installerName; // "Glimmerpane<latest>.exe", when there is an update
    QString updateAddress;
    InstallerExpectation expectation; // what the installer must be before it is started
};

VersionCheck evaluateVersionReply(const QByteArray &body, qint64 appVersion,
                                  const QString &installedVersion = QString());

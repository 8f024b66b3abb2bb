#pragma once

#include "update/installerexpectation.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// What one version check comes to, judged from the reply body alone: what the window logs,
// shows and keeps. Texts the user sees are translated. With a vendor
// key built in, an update without a size, a digest and a signature is refused like a malformed
// one.
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

VersionCheck evaluateVersionReply(const QByteArray &body, qint64 appVersion);

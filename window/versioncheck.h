#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What one version check comes to, judged from the reply body alone: what the window logs,
// shows and keeps. Texts the user sees are translated in the window's context.
struct VersionCheck
{
    QString logLine;       // for the update log; empty for none
    QString errorText;     // for the error label; empty when the reply held update info
    QStringList infoLines; // appended to the text view one by one
    bool answered = false; // the reply held update info, so the button is set anew
    bool hasUpdate = false;
    QString installerName; // "Glimmerpane<latest>.exe", when there is an update
    QString updateAddress;
};

VersionCheck evaluateVersionReply(const QByteArray &body, qint64 appVersion);

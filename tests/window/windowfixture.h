#pragma once

#include "tools/httpsserver/localhttpsserver.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"

#include <QMessageBox>

#include <memory>

// Shared set-up of the window tests: a trusted local HTTPS server standing in for the version
// service and the installer's host, the update log open in the sandbox, and the process-wide
// settings and theme owned by the application so that windows can come and go.
namespace WindowFixture {

LocalHttpsServer &server();
void setUp();

QByteArray versionReply(const QString &appVersion, const QString &address, const QString &notes);
// Serves `reply` as the version and the stand-in installer at "/installer".
void serveVersion(const QByteArray &reply);
QString installerAddress();

// A window as start-up makes it; its start-up check queries the service 200 ms later.
std::unique_ptr<MainWindow> makeWindow(qint64 appVersion, bool dailyCheck = false);
// True once a query has ended, with or without success.
bool checkDone(const MainWindow &window);

// Runs the application's event loop until quit() (returns 0) or the time is up (returns -99).
int execUntilQuit(int timeoutMs);
// Presses `button` on the next modal message box and keeps its title and text.
void answerNextMessageBox(QMessageBox::StandardButton button, QString *title, QString *text);

QString logText();
QString installerRecordPath();
void writeLanguage(const QString &language);

} // namespace WindowFixture

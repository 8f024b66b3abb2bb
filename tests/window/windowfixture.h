#pragma once

#include "tools/httpsserver/localhttpsserver.h"

#include <QMessageBox>
#include <QString>

#include <memory>

class MainWindow;
class QPushButton;

// Shared set-up of the window tests: one trusted local HTTPS server standing in for the
// version service (and the installer's host), the update log open in the sandbox, and the
// process-wide settings and theme owned by the application so that windows can come and go.
namespace WindowFixture {

LocalHttpsServer &server();
void setUp();

// Version replies
QByteArray versionReply(const QString &appVersion, const QString &address, const QString &notes);
void serveVersion(const QByteArray &body);

// The update button, the error label and the text view of a window.
QPushButton *updateButton(MainWindow &window);
QString errorText(MainWindow &window);
QString infoText(MainWindow &window);

// A window as start-up makes it: the app version set right after construction.
std::unique_ptr<MainWindow> makeWindow(qint64 appVersion, bool dailyCheck = false);
// True once the start-up check's query has ended, with or without success.
bool checkDone(MainWindow &window);

// Runs the application's event loop until quit() (returns 0) or the time is up (returns -99).
int execUntilQuit(int timeoutMs);
// Presses `button` on the next application-modal message box; its text goes to *text.
void answerNextMessageBox(QMessageBox::StandardButton button, QString *text = nullptr,
                          QString *title = nullptr);

QString logText();
QString installerRecordPath();
void writeLanguage(const QString &language);

} // namespace WindowFixture

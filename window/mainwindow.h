#pragma once

#include "update/updatecontroller.h"
#include "update/versioncheck.h"

#include <QMainWindow>
#include <QString>

class QAuthenticator;
class QCloseEvent;
class QKeyEvent;
class QMouseEvent;
class QNetworkProxy;
class QSystemTrayIcon;
class QTranslator;

namespace Ui {
class MainWindow;
}

// The updater's one window. It shows what its update controller reports and hands it the
// presses of the update button; the tray icon, the translator and the ends of a run are its own.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // A daily check runs hidden: it shows the window only for an update, and quits otherwise.
    explicit MainWindow(qint64 appVersion, bool dailyCheck = false, QWidget *parent = nullptr);
    ~MainWindow() override;

    UpdateController *controller() const;

public slots:
    void on_CUP_UpdateBtn_clicked();
    void progressBarUpdate(qint64 cur, qint64 total);
    void anotherInstanceMessage(const QString &message);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void loadLanguage();
    void showState(UpdateController::State state);
    void showCheckResult(const VersionCheck &check);
    static QString problemText(const VersionCheck &check);
    void showDownloadFailed();
    void showNote(const QString &text);
    void raiseWindow();
    void startupCheck();
    void closeGuard();
    // Every end of a run goes through here, so that its own closes pass the close guard.
    void quit();
    void appendText(const QString &text);
    void minimise();
    void proxyLogin(const QNetworkProxy &proxy, QAuthenticator *authenticator);

    Ui::MainWindow *ui;
    UpdateController *update;
    QSystemTrayIcon *trayIcon = nullptr; // made at the first minimise
    bool dailyCheck;
    bool quitting = false;
    bool proxyAsked = false;
    bool presented;             // the window has been shown: a proxy's question can be asked
    bool refocusUpdate = false; // the update button gets the focus back once it is enabled
};

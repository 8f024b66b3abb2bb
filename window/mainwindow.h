#pragma once

#include "update/installerexpectation.h"

#include <QMainWindow>
#include <QString>

class DownLoadManager;
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

// The updater's one window: the update state, the tray icon, the translator and the
// download manager. The version query and the installer hand-off are members too.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    bool dailyCheck;
    qint64 appVersion;
    QSystemTrayIcon *trayIcon;
    Ui::MainWindow *ui;
    DownLoadManager *downloadManager;
    bool downloading;
    bool hasUpdate;
    QString updateAddress;
    QString installerName;
    QTranslator *translator;
    InstallerExpectation installerExpectation;

public slots:
    void on_CUP_UpdateBtn_clicked();
    void progressBarUpdate(int cur, int total);
    void downloadFinished(int);
    void anotherInstanceMessage(QString message);

public:
    void raiseWindow();
    void loadLanguage();
    bool createUpdateFolder();
    bool startInstaller();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void checkForUpdate();
    void startUpdateDownload();
    void cancelUpdateDownload();
    void finishCheck();
    void startupCheck();
    void closeGuard();
    // Every end of a run goes through here, so that its own closes pass the close guard.
    void quit();
    void appendText(const QString &text);
    void minimise();
    void downloadFailed();
    QString installerPath() const;
    void proxyLogin(const QNetworkProxy &proxy, QAuthenticator *authenticator);

    bool quitting = false;
    bool proxyAsked = false;
};

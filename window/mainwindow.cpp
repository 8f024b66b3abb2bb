#include "window/mainwindow.h"

#include "appearance/framelesswindow.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "core/productpaths.h"
#include "core/resourcepaths.h"
#include "core/updatelog.h"
#include "ui_mainwindow.h"
#include "update/downloadmanager.h"
#include "update/installerstart.h"
#include "update/updatefolder.h"
#include "update/versioncheck.h"
#include "update/versionrequest.h"
#include "window/proxylogindialog.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAuthenticator>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QNetworkProxy>
#include <QScrollBar>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTextCursor>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

namespace {

const QString officialSite = QStringLiteral(GLIMMERPANE_OFFICIAL_SITE);
const int startupCheckDelayMs = 200;

// The title bar's icon is a push button only so that the style sheets can give it its icon; to
// assistive technology it is a picture, not a third button without a name.
QAccessibleInterface *decorativeIcon(const QString &className, QObject *object)
{
    if (className != QLatin1String("QPushButton") || !object ||
        object->objectName() != QLatin1String("updateIcon"))
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
}

// Tells assistive technology about a result that shows where the focus is not, so that a screen
// reader speaks it. Qt 6.4 has no announcement event: Windows reads the alert; AT-SPI drops it
// but hears the label's name change and the notes' text insertion that Qt sends anyway.
void announce(QWidget *where)
{
    QAccessibleEvent event(where, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

} // namespace

// --- Construction

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), dailyCheck(false), appVersion(0), trayIcon(nullptr),
      ui(new Ui::MainWindow), downloadManager(nullptr), downloading(false), hasUpdate(false),
      translator(nullptr)
{
    QAccessible::installFactory(decorativeIcon); // once: a factory installed twice is kept once
    Settings::init(this);
    MyTheme::init(this);
    dailyCheck = false;

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_TranslucentBackground);

    ui->setupUi(this);
    loadLanguage();
    setWindowTitle(QStringLiteral("Glimmerpane ") + tr("Update"));

    downloading = false;
    hasUpdate = false;
    updateAddress = QString();
    installerName = QString();

    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setIcon(QIcon(pngPath(QStringLiteral("update-1.svg"))));

    connect(ui->miniBtn, &QPushButton::clicked, this, &MainWindow::minimise);
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    showNormal();
            });
    connect(ui->closeBtn, &QPushButton::clicked, this, &MainWindow::closeGuard);

    downloadManager = new DownLoadManager(this);
    // Without this a failed download would leave the window showing "Cancel" for ever.
    connect(downloadManager, &DownLoadManager::signalDownloadError, this,
            &MainWindow::downloadFailed);
    connect(downloadManager, &DownLoadManager::signalProxyLogin, this, &MainWindow::proxyLogin);

    connect(ui->openOfficalSite, &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(officialSite, QUrl::TolerantMode)); });

    QTimer::singleShot(startupCheckDelayMs, Qt::PreciseTimer, this, &MainWindow::startupCheck);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::loadLanguage()
{
    const QString language =
        Settings::settings()
            ->value(QStringLiteral("server/language"), QStringLiteral("English"))
            .toString();
    translator = new QTranslator(this);
    QCoreApplication::installTranslator(translator);

    if (language == QStringLiteral("中文")) {
        if (!translator->load(i18nPath(QStringLiteral("i18N_zh_CN_update.qm")), QString(),
                              QString(), QString()))
            writeUpdateLog(QStringLiteral("load chinese err"));
    } else if (language.compare(QStringLiteral("English"), Qt::CaseInsensitive) == 0) {
        if (!translator->load(i18nPath(QStringLiteral("i18N_en_update.qm")), QString(), QString(),
                              QString()))
            writeUpdateLog(QStringLiteral("load english err"));
    } else {
        return;
    }
    ui->retranslateUi(this);
}

void MainWindow::appendText(const QString &text)
{
    // As plain text, never as markup: notes must neither fetch files nor imitate our own lines.
    // A view at the bottom follows the new text, so that "Downloading..." shows below long notes.
    QScrollBar *bar = ui->updateInfo->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextCursor cursor(ui->updateInfo->document());
    cursor.movePosition(QTextCursor::End);
    if (!ui->updateInfo->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(text);
    if (atBottom)
        bar->setValue(bar->maximum());
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    ui->centralWidget->handleMousePress(this, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    ui->centralWidget->handleMouseMove(this, event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    ui->centralWidget->handleMouseRelease(this, event);
}

// --- Start-up check: 200 ms after construction

void MainWindow::startupCheck()
{
    if (appVersion != 0) {
        ui->CUP_UpdateBtn->click();
        return;
    }
    if (dailyCheck) // a silent check asks nothing
        return quit();

    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("Glimmerpane ") + tr("Update"));
    box.setText(tr("We do not receive app version, you need start this program from Glimmerpane"));
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setModal(true);
    box.button(QMessageBox::Ok)->setText(tr("Ok"));
    box.exec();
    quit();
}

// --- Version query: the update button in its three states

void MainWindow::on_CUP_UpdateBtn_clicked()
{
    ui->errInfo->setText(QString());
    if (hasUpdate)
        startUpdateDownload();
    else if (!downloading)
        checkForUpdate();
    else
        cancelUpdateDownload();
}

void MainWindow::checkForUpdate()
{
    ui->CUP_UpdateBtn->setDisabled(true);
    const VersionCheck check = evaluateVersionReply(
        fetchVersionReply(downloadManager->networkManager(), versionServiceUrl()), appVersion);
    if (!check.logLine.isEmpty())
        writeUpdateLog(check.logLine);
    ui->errInfo->setText(check.errorText);
    for (const QString &line : check.infoLines)
        appendText(line);
    if (check.answered)
        ui->CUP_UpdateBtn->setText(check.hasUpdate ? tr("Download Update") : tr("Check Update"));
    if (check.hasUpdate) {
        installerName = check.installerName;
        updateAddress = check.updateAddress;
        installerExpectation = check.expectation;
        hasUpdate = true;
    }
    announce(check.errorText.isEmpty() ? static_cast<QWidget *>(ui->updateInfo) : ui->errInfo);
    finishCheck();
}

void MainWindow::finishCheck()
{
    if (dailyCheck) {
        if (hasUpdate)
            raiseWindow();
        else
            quit();
    }
    ui->CUP_UpdateBtn->setEnabled(true);
}

// --- Download

void MainWindow::startUpdateDownload()
{
    appendText(tr("Downloading..."));
    if (updateAddress.isEmpty() || installerName.isEmpty()) {
        ui->CUP_UpdateBtn->setText(tr("Check Update"));
        downloading = false;
        hasUpdate = false;
        return;
    }
    writeUpdateLog(QStringLiteral("prepare to download update"));
    connect(downloadManager, &DownLoadManager::signalDownloadProcess, this,
            &MainWindow::progressBarUpdate, Qt::UniqueConnection);
    connect(downloadManager, &DownLoadManager::signalReplyFinished, this,
            &MainWindow::downloadFinished, Qt::UniqueConnection);
    // The state is set first: a download that fails at once comes back through downloadFailed.
    ui->CUP_UpdateBtn->setText(tr("Cancel"));
    downloading = true;
    hasUpdate = false;
    if (!createUpdateFolder()) {
        writeUpdateLog(QStringLiteral("create update folder failed"));
        downloadFailed();
        return;
    }
    downloadManager->startDownload(updateAddress, installerPath(), installerExpectation);
}

bool MainWindow::createUpdateFolder()
{
    return makeUpdateFolder();
}

QString MainWindow::installerPath() const
{
    return QDir::toNativeSeparators(updateFolderPath()) + installerName;
}

void MainWindow::progressBarUpdate(int cur, int total)
{
    // Without a length from the server, a busy bar instead of one stuck at 0.
    ui->progressBar->setMaximum(total < 0 ? 0 : 100);
    if (total <= 0)
        return;
    const float percent = float(cur) / float(total) * 100.0f;
    // The bar ignores values outside 0..100 anyway; checking first keeps the int conversion
    // defined when wrapped counts give huge or negative ratios.
    if (!(percent >= 0.0f && percent < 101.0f))
        return;
    ui->progressBar->setValue(int(percent));
}

void MainWindow::cancelUpdateDownload()
{
    downloadManager->cancelTransfer();
    ui->CUP_UpdateBtn->setText(tr("Check Update"));
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(0);
    downloading = false;
    hasUpdate = false;
}

void MainWindow::downloadFailed()
{
    downloading = false;
    hasUpdate = false;
    ui->CUP_UpdateBtn->setText(tr("Check Update"));
    ui->CUP_UpdateBtn->setEnabled(true);
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(0);
    ui->errInfo->setText(tr("Download failed"));
    announce(ui->errInfo);
    writeUpdateLog(QStringLiteral("download failed"));
}

// --- Hand-off to the installer

void MainWindow::downloadFinished(int)
{
    downloading = false;
    hasUpdate = false;
    ui->CUP_UpdateBtn->setText(tr("Installing"));
    ui->CUP_UpdateBtn->setDisabled(true);
    startInstaller();
    quit();
}

bool MainWindow::startInstaller()
{
    const QString path = installerPath();
    if (!QFileInfo(path).isFile()) {
        writeUpdateLog(QStringLiteral("install file %1 not exist").arg(installerName));
        return false;
    }
    // Hashed once more right before the start, so that a file swapped since the download shows.
    switch (startCheckedInstaller(path, installerExpectation.sha256)) {
    case InstallerStart::Started:
        writeUpdateLog(QStringLiteral("install start success"));
        return true;
    case InstallerStart::Changed:
        writeUpdateLog(QStringLiteral("install file %1 changed").arg(installerName));
        return false;
    case InstallerStart::StartFailed:
        break;
    }
    writeUpdateLog(QStringLiteral("install start failed"));
    return false;
}

// --- Second starts, minimising and closing

void MainWindow::anotherInstanceMessage(QString message)
{
    if (message.compare(QStringLiteral("raise_window_noop"), Qt::CaseInsensitive) != 0)
        return;
    writeUpdateLog(QStringLiteral("raised by another start"));
    dailyCheck = false;
    raiseWindow();
}

void MainWindow::raiseWindow()
{
#ifdef Q_OS_WIN
    // Briefly on top, so Windows lets the window in front of the one that has the focus.
    const Qt::WindowFlags flags = windowFlags();
    setWindowFlags(flags | Qt::WindowStaysOnTopHint);
    show();
    setWindowFlags(flags & ~Qt::WindowStaysOnTopHint);
    showNormal();
#else
    // Changing the window flags destroys and re-creates the native window on X11 (a visible
    // flicker and some milliseconds of CPU each time): show and raise the one there is.
    showNormal();
    raise();
    activateWindow();
#endif
}

void MainWindow::minimise()
{
    // Hidden with no tray to bring it back, the window would be unreachable.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        showMinimized();
        return;
    }
    hide();
    trayIcon->setVisible(true);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A close from the window manager (Alt+F4, the task bar) is a press of the close button;
    // the closes that come with quitting pass.
    if (quitting)
        return QMainWindow::closeEvent(event);
    event->ignore();
    closeGuard();
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // The keys the focused control leaves to the window. A focused button takes Enter itself.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        // The default button, as in a dialog.
        if (ui->CUP_UpdateBtn->isEnabled())
            ui->CUP_UpdateBtn->click();
    } else if (key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        // As the minimise button: a download goes on.
        minimise();
#ifndef Q_OS_WIN
    } else if (key == Qt::Key_F4 && modifiers == Qt::AltModifier) {
        // Only reaches us where no window manager takes Alt+F4 (Windows closes by itself).
        close();
#endif
    } else {
        QMainWindow::keyPressEvent(event);
    }
}

void MainWindow::quit()
{
    quitting = true;
    QCoreApplication::quit();
}

// Only after Qt has found no answer of its own (on Windows, the signed-in user's credentials for
// an NTLM or Negotiate proxy). Asked once a run: credentials the proxy refused are not asked for
// again, and the request then fails. Qt keeps accepted ones in memory for the run; they are
// neither stored nor logged.
void MainWindow::proxyLogin(const QNetworkProxy &proxy, QAuthenticator *authenticator)
{
    if (proxyAsked)
        return;
    proxyAsked = true;
    ProxyLoginDialog dialog(proxy.hostName(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    authenticator->setUser(dialog.user());
    authenticator->setPassword(dialog.password());
}

void MainWindow::closeGuard()
{
    if (!downloading) {
        quit();
        return;
    }
    QMessageBox box;
    box.setText(tr("You are downloading update, are you sure exit?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::No)->setText(tr("No"));
    box.button(QMessageBox::Yes)->setText(tr("Yes"));
    if (box.exec() == QMessageBox::Yes)
        quit();
}

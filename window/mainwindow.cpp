#include "window/mainwindow.h"

#include "appearance/settings.h"
#include "core/resourcepaths.h"
#include "core/updatelog.h"
#include "ui_mainwindow.h"
#include "window/keyrepeatfilter.h"
#include "window/proxylogindialog.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAuthenticator>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
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

MainWindow::MainWindow(qint64 appVersion, bool dailyCheck, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), update(new UpdateController(this)),
      dailyCheck(dailyCheck), presented(!dailyCheck)
{
    QAccessible::installFactory(decorativeIcon); // once: a factory installed twice is kept once
    update->setAppVersion(appVersion);

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_StyledBackground);
    setAttribute(Qt::WA_TranslucentBackground);

    ui->setupUi(this);
    new KeyRepeatFilter(this);
    loadLanguage();
    setWindowTitle(QStringLiteral("Glimmerpane ") + tr("Update"));

    connect(ui->miniBtn, &QPushButton::clicked, this, &MainWindow::minimise);
    connect(ui->closeBtn, &QPushButton::clicked, this, &MainWindow::closeGuard);
    connect(ui->openOfficalSite, &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(officialSite, QUrl::TolerantMode)); });

    connect(update, &UpdateController::stateChanged, this, &MainWindow::showState);
    connect(update, &UpdateController::downloadStarting, this,
            [this] { appendText(tr("Downloading...")); });
    connect(update, &UpdateController::checkFinished, this, &MainWindow::showCheckResult);
    connect(update, &UpdateController::progressChanged, this, &MainWindow::progressBarUpdate);
    connect(update, &UpdateController::downloadFailed, this, &MainWindow::showDownloadFailed);
    connect(update, &UpdateController::installFinished, this, &MainWindow::quit);
    // The run goes on: the installer stays in the update folder, and "Install" starts it.
    connect(update, &UpdateController::installDeclined, this, [this] {
        // Back where it was before "Installing" disabled the button, for Return or Space.
        ui->CUP_UpdateBtn->setFocus(Qt::OtherFocusReason);
        showNote(tr("The installer was not allowed to start. Choose Install to try again."));
    });
    connect(update, &UpdateController::lastUpdateNotInstalled, this,
            [this] { showNote(tr("The last update did not complete. You can try it again.")); });
    connect(update, &UpdateController::proxyLoginRequired, this, &MainWindow::proxyLogin);

    if (dailyCheck) {
        showMinimized();
        hide();
    }
    QTimer::singleShot(startupCheckDelayMs, Qt::PreciseTimer, this, &MainWindow::startupCheck);
}

MainWindow::~MainWindow()
{
    delete ui;
}

UpdateController *MainWindow::controller() const
{
    return update;
}

void MainWindow::loadLanguage()
{
    const QString language =
        Settings::settings()
            ->value(QStringLiteral("server/language"), QStringLiteral("English"))
            .toString();
    auto *translator = new QTranslator(this);
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
    if (update->appVersion() != 0) {
        // Before the check, so that the note stands above its result (and a daily check that
        // shows the window shows it too); by now the dotted version has been handed over.
        update->reviewLastInstall();
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

// --- What the controller reports

void MainWindow::on_CUP_UpdateBtn_clicked()
{
    ui->errInfo->setText(QString());
    update->activate();
}

void MainWindow::showState(UpdateController::State state)
{
    QPushButton *button = ui->CUP_UpdateBtn;
    const bool enabled =
        state == UpdateController::State::Idle || state == UpdateController::State::Downloading;
    // Disabling passes the focus on to "Official Site", where the next Return would open the
    // browser instead of acting on the update: the focus rests with the window meanwhile, and the
    // button takes it back when it can act again.
    if (!enabled && button->isEnabled()) {
        refocusUpdate = !focusWidget() || focusWidget() == button;
        button->setEnabled(false);
        if (refocusUpdate && focusWidget())
            focusWidget()->clearFocus();
    }
    button->setEnabled(enabled);
    if (enabled && refocusUpdate) {
        refocusUpdate = false;
        button->setFocus(Qt::OtherFocusReason);
    }
    switch (state) {
    case UpdateController::State::Idle:
        button->setText(update->installReady() ? tr("Install")
                        : update->hasUpdate()  ? tr("Download Update")
                                               : tr("Check Update"));
        ui->progressBar->setRange(0, 100);
        ui->progressBar->setValue(0);
        break;
    case UpdateController::State::Checking:
        break;
    case UpdateController::State::Downloading:
        button->setText(tr("Cancel"));
        break;
    case UpdateController::State::Installing:
        button->setText(tr("Installing"));
        break;
    }
}

void MainWindow::showCheckResult(const VersionCheck &check)
{
    if (check.answered) {
        appendText(tr("Your app version is: %1").arg(check.appVersion));
        appendText(tr("Latest app version is: %1").arg(check.latestVersion));
        if (check.hasUpdate) {
            appendText(QStringLiteral("\n"));
            appendText(check.releaseNotes);
        } else {
            appendText(tr("There are currently no updates"));
        }
    }
    const QString problem = problemText(check);
    ui->errInfo->setText(problem);
    announce(problem.isEmpty() ? static_cast<QWidget *>(ui->updateInfo) : ui->errInfo);
    if (!dailyCheck)
        return;
    if (update->hasUpdate())
        raiseWindow();
    else
        quit();
}

QString MainWindow::problemText(const VersionCheck &check)
{
    switch (check.problem) {
    case VersionCheck::Problem::None:
        break;
    case VersionCheck::Problem::Unparsable:
        return tr("can not parse response");
    case VersionCheck::Problem::NullResponse:
        return tr("response is null");
    case VersionCheck::Problem::ErrorCode:
        return tr("code is: %1").arg(check.code);
    case VersionCheck::Problem::NoData:
        return tr("not contains data");
    case VersionCheck::Problem::NoUpdateInfo:
        return tr("not contains update info");
    }
    return QString();
}

void MainWindow::progressBarUpdate(qint64 cur, qint64 total)
{
    // Without a length from the server, a busy bar instead of one stuck at 0.
    ui->progressBar->setMaximum(total < 0 ? 0 : 100);
    if (total <= 0 || cur < 0 || cur > total)
        return;
    ui->progressBar->setValue(int(cur * 100.0 / double(total)));
}

void MainWindow::showNote(const QString &text)
{
    appendText(text);
    announce(ui->updateInfo);
}

void MainWindow::showDownloadFailed()
{
    ui->errInfo->setText(tr("Download failed"));
    announce(ui->errInfo);
}

// --- Second starts, minimising and closing

void MainWindow::anotherInstanceMessage(const QString &message)
{
    if (message.compare(QStringLiteral("raise_window_noop"), Qt::CaseInsensitive) != 0)
        return;
    writeUpdateLog(QStringLiteral("raised by another start"));
    dailyCheck = false;
    raiseWindow();
}

void MainWindow::raiseWindow()
{
    presented = true;
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
    // Made only now: most runs never minimise, and the icon costs start-up time.
    if (!trayIcon) {
        trayIcon = new QSystemTrayIcon(QIcon(pngPath(QStringLiteral("update-1.svg"))), this);
        connect(trayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick)
                        showNormal();
                });
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
    // A daily check not yet shown has nobody to ask: the request fails and the run ends, instead
    // of waiting for ever with the single-instance guard held.
    if (proxyAsked || !presented)
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
    if (update->state() != UpdateController::State::Downloading) {
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

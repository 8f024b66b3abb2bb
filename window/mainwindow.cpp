#include "window/mainwindow.h"

#include "app/productroot.h"
#include "app/updatelog.h"
#include "appearance/framelesswindow.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "download/downloadmanager.h"
#include "resources/resourcepaths.h"
#include "ui_mainwindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

namespace {

const QString officialSite = QStringLiteral(GLIMMERPANE_OFFICIAL_SITE);
const int startupCheckDelayMs = 200;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), dailyCheck(false), appVersion(0), trayIcon(nullptr),
      ui(new Ui::MainWindow), downloadManager(nullptr), downloading(false), hasUpdate(false),
      translator(nullptr)
{
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

    downloadManager = new DownLoadManager(nullptr);
    // Without this a failed download would leave the window showing "Cancel" for ever.
    connect(downloadManager, &DownLoadManager::signalDownloadError, this,
            &MainWindow::downloadFailed);

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

void MainWindow::progressBarUpdate(int cur, int total)
{
    if (total == 0)
        return;
    const float percent = float(cur) / float(total) * 100.0f;
    // The bar ignores values outside 0..100 anyway; checking first keeps the int conversion
    // defined when wrapped counts give huge or negative ratios.
    if (!(percent >= 0.0f && percent < 101.0f))
        return;
    ui->progressBar->setValue(int(percent));
}

void MainWindow::anotherInstanceMessage(QString message)
{
    if (message.compare(QStringLiteral("raise_window_noop"), Qt::CaseInsensitive) != 0)
        return;
    dailyCheck = false;
    raiseWindow();
}

void MainWindow::raiseWindow()
{
    const Qt::WindowFlags flags = windowFlags();
    setWindowFlags(flags | Qt::WindowStaysOnTopHint);
    show();
    setWindowFlags(flags & ~Qt::WindowStaysOnTopHint);
    showNormal();
}

bool MainWindow::createUpdateFolder()
{
    QDir dir(productRoot());
    const QString product = QStringLiteral("Glimmerpane");
    const QString update = QStringLiteral("update");
    if (!dir.exists(product) && !dir.mkdir(product))
        return false;
    if (!dir.cd(product))
        return false;
    if (dir.exists(update))
        return true;
    return dir.mkdir(update);
}

QString MainWindow::installerPath() const
{
    return QDir::toNativeSeparators(updateFolderPath()) + installerName;
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

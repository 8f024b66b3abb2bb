#include "tests/window/windowfixture.h"

#include "app/productroot.h"
#include "app/updatelog.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "download/networksetup.h"
#include "tests/support/testsandbox.h"
#include "ui_mainwindow.h"
#include "window/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

namespace WindowFixture {

namespace {

QString testData(const QString &name)
{
    return qEnvironmentVariable("GLIMMERPANE_TEST_DATA") + QLatin1Char('/') + name;
}

QByteArray currentVersionBody;

} // namespace

LocalHttpsServer &server()
{
    static LocalHttpsServer instance(LocalHttpsServer::Scheme::Https);
    return instance;
}

void setUp()
{
    LocalHttpsServer &https = server();
    QVERIFY(https.setCertificate(testData(QStringLiteral("server.pem")),
                                 testData(QStringLiteral("server.key"))));
    QVERIFY2(https.listen(), qPrintable(https.errorString()));
    https.setHandler([](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/api/front/index/get/version")) {
            response.setBody(currentVersionBody);
        } else if (request.path == QLatin1String("/installer")) {
            response.setBodyFile(QStringLiteral(DEMO_INSTALLER));
        } else {
            response.setStatus(404);
        }
    });
    qputenv("GLIMMERPANE_VERSION_SERVICE",
            QStringLiteral("https://127.0.0.1:%1").arg(https.port()).toUtf8());
    qputenv("GLIMMERPANE_EXTRA_CA_CERTS", testData(QStringLiteral("ca.pem")).toUtf8());
    qputenv("GLIMMERPANE_INSTALLER_RECORD", installerRecordPath().toUtf8());
    setUpNetwork();
    openUpdateLog();
    Settings::init(qApp);
    MyTheme::init(qApp);
}

QByteArray versionReply(const QString &appVersion, const QString &address, const QString &notes)
{
    const QJsonObject data{{QStringLiteral("appVersion"), appVersion},
                           {QStringLiteral("updateAddress"), address},
                           {QStringLiteral("updateLog"), notes}};
    const QJsonObject root{{QStringLiteral("code"), 200}, {QStringLiteral("data"), data}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

void serveVersion(const QByteArray &body)
{
    currentVersionBody = body;
}

QPushButton *updateButton(MainWindow &window)
{
    return window.ui->CUP_UpdateBtn;
}

QString errorText(MainWindow &window)
{
    return window.ui->errInfo->text();
}

QString infoText(MainWindow &window)
{
    return window.ui->updateInfo->toPlainText();
}

std::unique_ptr<MainWindow> makeWindow(qint64 appVersion, bool dailyCheck)
{
    auto window = std::make_unique<MainWindow>();
    window->appVersion = appVersion;
    if (dailyCheck) {
        window->showMinimized();
        window->hide();
        window->dailyCheck = true;
    } else {
        window->show();
    }
    return window;
}

bool checkDone(MainWindow &window)
{
    return !errorText(window).isEmpty() ||
           infoText(window).contains(QStringLiteral("Latest app version is: "));
}

int execUntilQuit(int timeoutMs)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-99); });
    watchdog.start(timeoutMs);
    return QApplication::exec();
}

void answerNextMessageBox(QMessageBox::StandardButton button, QString *text, QString *title)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, text, title] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (text)
            *text = box->text();
        if (title)
            *title = box->windowTitle();
        poll->deleteLater();
        box->button(button)->click();
    });
    poll->start(20);
}

QString logText()
{
    QFile file(updateLogPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString installerRecordPath()
{
    return testSandboxPath() + QStringLiteral("/installer-record.txt");
}

void writeLanguage(const QString &language)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvenord"),
                       QStringLiteral("Glimmerpane"));
    if (language.isNull())
        settings.remove(QStringLiteral("server/language"));
    else
        settings.setValue(QStringLiteral("server/language"), language);
    settings.sync();
}

} // namespace WindowFixture

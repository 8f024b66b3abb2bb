#include "tests/window/windowfixture.h"

#include "app/productroot.h"
#include "app/updatelog.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "download/networksetup.h"
#include "tests/support/testsandbox.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace WindowFixture {

namespace {

QString testData(const QString &name)
{
    return qEnvironmentVariable("GLIMMERPANE_TEST_DATA") + QLatin1Char('/') + name;
}

} // namespace

LocalHttpsServer &server()
{
    static LocalHttpsServer instance(LocalHttpsServer::Scheme::Https);
    return instance;
}

void setUp()
{
    QVERIFY(server().setCertificate(testData(QStringLiteral("server.pem")),
                                    testData(QStringLiteral("server.key"))));
    QVERIFY2(server().listen(), qPrintable(server().errorString()));
    qputenv("GLIMMERPANE_VERSION_SERVICE", server().url(QString()).toString().toUtf8());
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
    return QJsonDocument(QJsonObject{{QStringLiteral("code"), 200}, {QStringLiteral("data"), data}})
        .toJson(QJsonDocument::Compact);
}

void serveVersion(const QByteArray &reply)
{
    server().setHandler([reply](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer"))
            response.setBodyFile(QStringLiteral(DEMO_INSTALLER));
        else
            response.setBody(reply);
    });
}

QString installerAddress()
{
    return server().url(QStringLiteral("/installer")).toString();
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

bool checkDone(const MainWindow &window)
{
    return !window.ui->errInfo->text().isEmpty() ||
           window.ui->updateInfo->toPlainText().contains(QStringLiteral("Latest app version"));
}

int execUntilQuit(int timeoutMs)
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(-99); });
    watchdog.start(timeoutMs);
    return QApplication::exec();
}

void answerNextMessageBox(QMessageBox::StandardButton button, QString *title, QString *text)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        *title = box->windowTitle();
        *text = box->text();
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
}

} // namespace WindowFixture

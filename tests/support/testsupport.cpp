#include "tests/support/testsupport.h"

#include "core/productpaths.h"
#include "core/updatelog.h"
#include "update/networksetup.h"

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

QString sandboxPath;
std::unique_ptr<QTemporaryDir> sandbox; // removed at exit with everything in it

} // namespace

QProcessEnvironment userFoldersBelow(const QString &root)
{
    QProcessEnvironment folders;
    const std::pair<const char *, const char *> layout[] = {
        {"HOME", "/home"},
        {"XDG_DATA_HOME", "/home/.local/share"},
        {"XDG_CONFIG_HOME", "/home/.config"},
        {"XDG_CACHE_HOME", "/home/.cache"},
        {"XDG_STATE_HOME", "/home/.local/state"},
        {"XDG_RUNTIME_DIR", "/runtime"},
        {"TMPDIR", "/tmp"},
        {"GLIMMERPANE_USER_RUNTIME_ROOT", "/run-user"}, // in place of /run/user
    };
    for (const auto &[variable, below] : layout) {
        const QString path = root + QLatin1String(below);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        folders.insert(QLatin1String(variable), path);
    }
    folders.insert(QStringLiteral("XDG_DATA_DIRS"), root + QStringLiteral("/share"));
    folders.insert(QStringLiteral("XDG_CONFIG_DIRS"), root + QStringLiteral("/etc"));
    return folders;
}

QString enterTestSandbox()
{
    if (!sandboxPath.isEmpty())
        return sandboxPath;
    sandbox = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                              QStringLiteral("/glimmerpane-test-XXXXXX"));
    if (!sandbox->isValid())
        qFatal("cannot create the test sandbox below %s", qPrintable(QDir::tempPath()));
    sandbox->setAutoRemove(qEnvironmentVariableIsEmpty("GLIMMERPANE_KEEP_SANDBOX"));
    sandboxPath = sandbox->path();
    const QProcessEnvironment folders = userFoldersBelow(sandboxPath);
    for (const QString &variable : folders.keys())
        qputenv(variable.toLatin1().constData(), QFile::encodeName(folders.value(variable)));
    return sandboxPath;
}

QString testSandboxPath()
{
    return sandboxPath;
}

QString testDataPath(const QString &name)
{
    return QStringLiteral(GLIMMERPANE_TEST_DATA_DIR "/") + name;
}

void trustTestCa()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(testDataPath(QStringLiteral("ca.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
}

QByteArray readFileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray versionServiceReply(const QString &latest, const QString &address, const QString &notes)
{
    const QJsonObject data{
        {"appVersion", latest}, {"updateAddress", address}, {"updateLog", notes}};
    return QJsonDocument(QJsonObject{{"code", 200}, {"data", data}}).toJson(QJsonDocument::Compact);
}

bool serveAsVersionService(LocalHttpsServer &server)
{
    if (!server.setCertificate(testDataPath("server.pem"), testDataPath("server.key")) ||
        !server.listen())
        return false;
    qputenv("GLIMMERPANE_VERSION_SERVICE", server.url(QString()).toString().toUtf8());
    qputenv("GLIMMERPANE_EXTRA_CA_CERTS", testDataPath("ca.pem").toUtf8());
    qputenv("GLIMMERPANE_TIME_LIMIT_MS", "1500");
    setUpNetwork();
    openUpdateLog();
    return true;
}

void offerUpdate(LocalHttpsServer &server, const LocalHttpsServer::Handler &installer,
                 const QString &notes, const QByteArray &sha256)
{
    QByteArray reply = versionServiceReply("109", server.url("/installer").toString(), notes);
    if (!sha256.isEmpty())
        reply.replace("}}", ",\"sha256\":\"" + sha256.toHex() + "\"}}");
    server.setHandler([=](const HttpRequest &request, HttpResponse &response) {
        if (request.path == QLatin1String("/installer"))
            installer(request, response);
        else
            response.setBody(reply);
    });
}

QString updateLogText()
{
    return QString::fromUtf8(readFileBytes(updateLogPath()));
}

void writeMainAppSetting(const QString &key, const QVariant &value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvenord"),
                       QStringLiteral("Glimmerpane"));
    if (value.isNull())
        settings.remove(key);
    else
        settings.setValue(key, value);
}

void endWithTestProcess(QProcess &process)
{
#ifdef Q_OS_LINUX
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#else
    Q_UNUSED(process)
#endif
}

bool finishesWithin(QProcess *process, int timeoutMs)
{
    if (process->state() == QProcess::NotRunning)
        return true;
    QSignalSpy finished(process, &QProcess::finished);
    return finished.wait(timeoutMs);
}

QString xdotool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QStringList visibleWindows()
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), QStringLiteral("^Glimmerpane")})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool xdotoolUntil(const QStringList &arguments, const std::function<bool()> &effect)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        xdotool(arguments);
        if (QTest::qWaitFor(effect, 3000))
            return true;
    }
    return false;
}

bool clickUntil(const QString &window, QPoint at, const std::function<bool()> &effect)
{
    return xdotoolUntil({"mousemove", "--window", window, QString::number(at.x()),
                         QString::number(at.y()), "click", "1"},
                        effect);
}

QImage screenshot(const QString &windowId)
{
    QProcess import;
    import.start(QStringLiteral("import"),
                 {QStringLiteral("-window"), windowId, QStringLiteral("png:-")});
    import.waitForFinished(10000);
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

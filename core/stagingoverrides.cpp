#include "core/stagingoverrides.h"

#include "core/logcategory.h"

#include <QFile>
#include <QFileInfo>

#ifdef GLIMMERPANE_STAGING_OVERRIDES
namespace {

constexpr qint64 maxPemBytes = 1024 * 1024;

// Each refused value once, not at every read.
void warnOnce(const char *variable, const QString &why)
{
    static QStringList warned;
    const QString line = QString::fromLatin1(variable) + QStringLiteral(": ") + why;
    if (warned.contains(line))
        return;
    warned.append(line);
    qCWarning(lcCore, "%s", qPrintable(line));
}

// Accepts exactly "https://HOST:PORT" (an optional trailing "/"), nothing more.
bool isHttpsOrigin(const QUrl &origin)
{
    return origin.isValid() && origin.scheme() == QLatin1String("https") &&
           !origin.host().isEmpty() && origin.port() > 0 && origin.userInfo().isEmpty() &&
           (origin.path().isEmpty() || origin.path() == QLatin1String("/")) && !origin.hasQuery() &&
           !origin.hasFragment();
}

} // namespace
#endif

namespace StagingOverrides {

#ifdef GLIMMERPANE_STAGING_OVERRIDES

std::optional<int> timeLimitMs()
{
    bool ok = false;
    const int cap = qEnvironmentVariableIntValue("GLIMMERPANE_TIME_LIMIT_MS", &ok);
    if (ok && cap > 0)
        return cap;
    return std::nullopt;
}

std::optional<QUrl> versionServiceOrigin()
{
    const QString value = qEnvironmentVariable("GLIMMERPANE_VERSION_SERVICE");
    if (value.isEmpty())
        return std::nullopt;
    const QUrl origin(value, QUrl::StrictMode);
    if (isHttpsOrigin(origin))
        return origin;
    warnOnce("GLIMMERPANE_VERSION_SERVICE",
             QStringLiteral("ignored: \"%1\" is not an https://HOST:PORT origin").arg(value));
    return std::nullopt;
}

std::optional<QByteArray> extraCaCertificates()
{
    const QString path = qEnvironmentVariable("GLIMMERPANE_EXTRA_CA_CERTS");
    if (path.isEmpty())
        return std::nullopt;
    // A fifo would block the start and a device such as /dev/zero would never end.
    QFile pem(path);
    if (!QFileInfo(path).isFile() || !pem.open(QIODevice::ReadOnly)) {
        warnOnce("GLIMMERPANE_EXTRA_CA_CERTS", QStringLiteral("cannot read %1").arg(path));
        return std::nullopt;
    }
    if (pem.size() > maxPemBytes) {
        warnOnce("GLIMMERPANE_EXTRA_CA_CERTS", QStringLiteral("%1 is larger than 1 MiB").arg(path));
        return std::nullopt;
    }
    return pem.read(maxPemBytes);
}

std::optional<QByteArray> updatePublicKeys()
{
    if (!qEnvironmentVariableIsSet("GLIMMERPANE_UPDATE_PUBLIC_KEY"))
        return std::nullopt;
    return qgetenv("GLIMMERPANE_UPDATE_PUBLIC_KEY");
}

bool proxyLoopback()
{
    const QString value = qEnvironmentVariable("GLIMMERPANE_PROXY_LOOPBACK");
    if (value.isEmpty() || value == QLatin1String("1"))
        return !value.isEmpty();
    warnOnce("GLIMMERPANE_PROXY_LOOPBACK", QStringLiteral("ignored: \"%1\" is not 1").arg(value));
    return false;
}

std::optional<int> simulatedStartError()
{
    const QString value = qEnvironmentVariable("GLIMMERPANE_SIMULATE_START_ERROR");
    if (value.isEmpty())
        return std::nullopt;
    if (value == QLatin1String("740") || value == QLatin1String("1223"))
        return value.toInt();
    warnOnce("GLIMMERPANE_SIMULATE_START_ERROR",
             QStringLiteral("ignored: \"%1\" is not 740 or 1223").arg(value));
    return std::nullopt;
}

bool simulateForeignUpdateFolder()
{
    return qEnvironmentVariable("GLIMMERPANE_SIMULATE_FOLDER_OWNER") == QLatin1String("other");
}

std::optional<QString> userRuntimeRoot()
{
    if (!qEnvironmentVariableIsSet("GLIMMERPANE_USER_RUNTIME_ROOT"))
        return std::nullopt;
    return qEnvironmentVariable("GLIMMERPANE_USER_RUNTIME_ROOT");
}

#else

std::optional<int> timeLimitMs()
{
    return std::nullopt;
}

std::optional<QUrl> versionServiceOrigin()
{
    return std::nullopt;
}

std::optional<QByteArray> extraCaCertificates()
{
    return std::nullopt;
}

std::optional<QByteArray> updatePublicKeys()
{
    return std::nullopt;
}

bool proxyLoopback()
{
    return false;
}

std::optional<int> simulatedStartError()
{
    return std::nullopt;
}

bool simulateForeignUpdateFolder()
{
    return false;
}

std::optional<QString> userRuntimeRoot()
{
    return std::nullopt;
}

#endif

} // namespace StagingOverrides

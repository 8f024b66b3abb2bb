#include "update/networksetup.h"

#include "core/stagingoverrides.h"
#include "update/logcategory.h"
#include "update/systemproxyfactory.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtGlobal>

namespace {

void addExtraCaCertificates()
{
    const std::optional<QByteArray> pem = StagingOverrides::extraCaCertificates();
    if (!pem)
        return;
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(*pem, QSsl::Pem);
    if (certificates.isEmpty()) {
        qCWarning(lcUpdate, "GLIMMERPANE_EXTRA_CA_CERTS: no certificate in %s",
                  qPrintable(qEnvironmentVariable("GLIMMERPANE_EXTRA_CA_CERTS")));
        return;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

} // namespace

void setUpNetwork()
{
    // Once a run: main() warms it up early, and the first request makes sure of it, so that a
    // click faster than the warm-up never goes out without the proxy settings or the CAs.
    static bool done = false;
    if (done)
        return;
    done = true;
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Qt's HTTP thread, started by the first request, then runs the plain Unix event loop
    // instead of GLib's (the main thread keeps GLib). With a read buffer cap that thread posts
    // events to itself for every chunk, and GLib wakes its loop with a syscall for each one
    // (bench/README.md has the figures).
    qputenv("QT_NO_THREADED_GLIB", "1");
#endif
    addExtraCaCertificates();
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

void setUpProxyOverride(QNetworkAccessManager *manager)
{
    if (StagingOverrides::proxyLoopback())
        manager->setProxyFactory(new SystemProxyFactory); // the manager owns it
}

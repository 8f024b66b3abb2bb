#include "download/networksetup.h"

#include <QFile>
#include <QNetworkProxyFactory>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtGlobal>

namespace {

#ifdef GLIMMERPANE_STAGING_OVERRIDES
void addExtraCaCertificates()
{
    const QString path = qEnvironmentVariable("GLIMMERPANE_EXTRA_CA_CERTS");
    if (path.isEmpty())
        return;
    QFile pem(path);
    if (!pem.open(QIODevice::ReadOnly)) {
        qWarning("GLIMMERPANE_EXTRA_CA_CERTS: cannot read %s", qPrintable(path));
        return;
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem.readAll(), QSsl::Pem);
    if (certificates.isEmpty()) {
        qWarning("GLIMMERPANE_EXTRA_CA_CERTS: no certificate in %s", qPrintable(path));
        return;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(configuration);
}
#endif

} // namespace

void setUpNetwork()
{
#ifdef GLIMMERPANE_STAGING_OVERRIDES
    addExtraCaCertificates();
#endif
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

#include "tools/httpsserver/localhttpsserver.h"

#include "tools/httpsserver/httpconnection.h"

#include <QFile>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>

LocalHttpsServer::LocalHttpsServer(Scheme scheme, QObject *parent)
    : QObject(parent), scheme(scheme),
      listener(scheme == Scheme::Https ? new QSslServer(this) : new QTcpServer(this))
{
    connect(listener, &QTcpServer::pendingConnectionAvailable, this,
            &LocalHttpsServer::acceptConnections);
}

LocalHttpsServer::~LocalHttpsServer() = default;

bool LocalHttpsServer::setCertificate(const QString &certificatePath, const QString &keyPath)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificatePath, QSsl::Pem);
    QFile keyFile(keyPath);
    if (chain.isEmpty() || !keyFile.open(QIODevice::ReadOnly))
        return false;
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        return false;

    tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    if (auto *sslListener = qobject_cast<QSslServer *>(listener))
        sslListener->setSslConfiguration(tls);
    return true;
}

void LocalHttpsServer::setHandler(Handler handler)
{
    this->handler = std::move(handler);
}

bool LocalHttpsServer::listen(quint16 port)
{
    if (scheme == Scheme::Https && tls.privateKey().isNull()) {
        qWarning("local HTTPS server: no certificate set");
        return false;
    }
    return listener->listen(QHostAddress::LocalHost, port);
}

quint16 LocalHttpsServer::port() const
{
    return listener->serverPort();
}

QString LocalHttpsServer::errorString() const
{
    return listener->errorString();
}

QUrl LocalHttpsServer::url(const QString &pathAndQuery) const
{
    const QString scheme =
        this->scheme == Scheme::Https ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(port()).arg(pathAndQuery));
}

int LocalHttpsServer::connectionCount() const
{
    return findChildren<HttpConnection *>(Qt::FindDirectChildrenOnly).size();
}

void LocalHttpsServer::acceptConnections()
{
    while (QTcpSocket *socket = listener->nextPendingConnection()) {
        auto *connection = new HttpConnection(socket, handler, this);
        connect(connection, &HttpConnection::requestReceived, this, [this](const QString &path) {
            ++requests;
            emit requestReceived(path);
        });
        connect(connection, &HttpConnection::responded, this, &LocalHttpsServer::responded);
    }
}

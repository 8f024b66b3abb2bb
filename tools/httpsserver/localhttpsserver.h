#pragma once

#include "tools/httpsserver/httprequest.h"
#include "tools/httpsserver/httpresponse.h"

#include <QObject>
#include <QSslConfiguration>
#include <QUrl>

#include <functional>

class QTcpServer;

// A small HTTP/1.1 server for tests and local demos. It listens on 127.0.0.1 only, answers
// each request through a handler and closes the connection after the response. With
// Scheme::Https it presents a certificate from PEM files (see tests/data/).
class LocalHttpsServer : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalHttpsServer)

public:
    enum class Scheme { Https, Http };
    using Handler = std::function<void(const HttpRequest &, HttpResponse &)>;

    explicit LocalHttpsServer(Scheme scheme, QObject *parent = nullptr);
    ~LocalHttpsServer() override;

    // The certificate file may hold the chain after the server certificate.
    bool setCertificate(const QString &certificatePath, const QString &keyPath);
    void setHandler(Handler handler);

    // Port 0 picks a free port.
    bool listen(quint16 port = 0);
    quint16 port() const;
    QString errorString() const;
    // The address of a path (with an optional query) on this server.
    QUrl url(const QString &pathAndQuery) const;

    int requestCount() const { return requests; }
    int connectionCount() const;

signals:
    void requestReceived(const QString &path);
    void responded(const HttpRequest &request, int status);

private:
    void acceptConnections();

    Scheme scheme;
    QTcpServer *listener = nullptr;
    QSslConfiguration tls;
    Handler handler;
    int requests = 0;
};

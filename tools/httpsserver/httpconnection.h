#pragma once

#include "tools/httpsserver/httprequest.h"
#include "tools/httpsserver/httpresponse.h"

#include <QAbstractSocket>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <functional>

class QTcpSocket;

// One client connection of LocalHttpsServer: reads one request, asks the handler for the
// response and streams it, a bounded amount at a time. Ends with the connection.
class HttpConnection : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpConnection)

public:
    using Handler = std::function<void(const HttpRequest &, HttpResponse &)>;

    // Takes over the socket, already connected (and for HTTPS encrypted).
    HttpConnection(QTcpSocket *socket, Handler handler, QObject *parent);

signals:
    void requestReceived(const QString &path);
    void responded(const HttpRequest &request, int status); // as sent, a range applied

private:
    void readRequest();
    bool parseHead(const QByteArray &head);
    void reject(); // a request that cannot be parsed ends the connection
    void respond();
    void applyRange();
    qint64 bodyLength();
    qint64 announcedLength() { return bodyLength() - rangeStart; }
    void pump();
    QByteArray nextPiece(qint64 maximum);
    void finishBody();
    void closeSoon(void (QAbstractSocket::*close)());
    qint64 pendingBytes() const;

    QTcpSocket *socket;
    Handler handler;
    QByteArray received;
    bool headParsed = false;
    qint64 requestBodyLength = 0;
    HttpRequest request;

    bool responding = false;
    bool bodyDone = false;
    HttpResponse response;
    QFile bodyFile;
    qint64 bodySent = 0;
    qint64 rangeStart = 0; // where a 206 body starts in the whole
    qint64 throttleBudget = 0;
    QTimer throttleTimer;
};

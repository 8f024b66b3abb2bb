#include "tools/httpsserver/httpconnection.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace {

// Keeps at most this much unsent data queued in the socket, so large bodies stream.
constexpr qint64 highWaterBytes = 256 * 1024;
constexpr qint64 pieceBytes = 64 * 1024;
constexpr int maximumHeadBytes = 64 * 1024;

QByteArray reasonPhrase(int code)
{
    switch (code) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 206:
        return "Partial Content";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket *socket, Handler handler, QObject *parent)
    : QObject(parent), socket(socket), handler(std::move(handler))
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::readRequest);
    connect(socket, &QTcpSocket::bytesWritten, this, &HttpConnection::pump);
    if (auto *ssl = qobject_cast<QSslSocket *>(socket))
        connect(ssl, &QSslSocket::encryptedBytesWritten, this, &HttpConnection::pump);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(&throttleTimer, &QTimer::timeout, this, [this] {
        throttleBudget = response.throttleBytes;
        pump();
    });
    if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpConnection::readRequest, Qt::QueuedConnection);
}

void HttpConnection::readRequest()
{
    if (responding) {
        socket->readAll(); // one request per connection; anything later is ignored
        return;
    }
    received += socket->readAll();
    if (!headParsed) {
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0) {
            if (received.size() > maximumHeadBytes)
                reject();
            return;
        }
        if (!parseHead(received.left(end))) {
            reject();
            return;
        }
        headParsed = true;
        received.remove(0, end + 4);
    }
    if (received.size() < requestBodyLength)
        return;
    request.body = received.left(requestBodyLength);
    received.clear();
    respond();
}

bool HttpConnection::parseHead(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return false;
    request.method = requestLine.at(0);
    const QByteArray target = requestLine.at(1);
    const qsizetype queryStart = target.indexOf('?');
    request.path = QUrl::fromPercentEncoding(queryStart < 0 ? target : target.left(queryStart));
    if (queryStart >= 0)
        request.query = QUrlQuery(QString::fromUtf8(target.mid(queryStart + 1)));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                                   lines.at(i).mid(colon + 1).trimmed());
    }
    requestBodyLength = request.headers.value("content-length", "0").toLongLong();
    return requestBodyLength >= 0;
}

void HttpConnection::reject()
{
    responding = true;
    bodyDone = true;
    closeSoon(&QAbstractSocket::abort);
}

void HttpConnection::respond()
{
    responding = true;
    emit requestReceived(request.path);
    if (handler)
        handler(request, response);
    else
        response.setStatus(404);

    if (response.source == HttpResponse::Source::File) {
        bodyFile.setFileName(response.bodyFile);
        if (!bodyFile.open(QIODevice::ReadOnly)) {
            qWarning("local HTTPS server: cannot read %s", qPrintable(response.bodyFile));
            response = HttpResponse();
            response.setStatus(500);
        }
    }
    if (response.source == HttpResponse::Source::Generated && response.generatedSize < 0 &&
        response.framing == HttpResponse::Framing::ContentLength)
        response.framing = HttpResponse::Framing::CloseDelimited; // an endless body has no length
    applyRange();
    emit responded(request, response.statusCode);

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.statusCode) + ' ' +
                      reasonPhrase(response.statusCode) + "\r\n";
    for (const auto &header : std::as_const(response.headers))
        head += header.first + ": " + header.second + "\r\n";
    if (response.framing == HttpResponse::Framing::ContentLength)
        head += "Content-Length: " + QByteArray::number(announcedLength()) + "\r\n";
    else if (response.framing == HttpResponse::Framing::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);

    if (response.throttleBytes > 0) {
        throttleBudget = response.throttleBytes;
        throttleTimer.start(response.throttleIntervalMs);
    }
    pump();
}

void HttpConnection::applyRange()
{
    const QByteArray range = request.headers.value("range");
    const QByteArray ifRange = request.headers.value("if-range", response.entityTag);
    if (response.entityTag.isEmpty() || response.statusCode != 200 || !range.startsWith("bytes=") ||
        !range.endsWith('-') || ifRange != response.entityTag)
        return;
    bool ok = false;
    const qint64 start = range.mid(6).chopped(1).toLongLong(&ok);
    const qint64 length = bodyLength();
    if (!ok || start < 0)
        return;
    if (start >= length) {
        response.setStatus(416);
        response.setHeader("Content-Range", "bytes */" + QByteArray::number(length));
        response.setBody(QByteArray());
        return;
    }
    response.setStatus(206);
    response.setHeader("Content-Range", "bytes " + QByteArray::number(start) + '-' +
                                            QByteArray::number(length - 1) + '/' +
                                            QByteArray::number(length));
    rangeStart = start;
    if (response.source == HttpResponse::Source::File)
        bodyFile.seek(start);
}

qint64 HttpConnection::bodyLength()
{
    switch (response.source) {
    case HttpResponse::Source::Memory:
        return response.body.size();
    case HttpResponse::Source::File:
        return bodyFile.size();
    case HttpResponse::Source::Generated:
        return response.generatedSize;
    }
    return 0;
}

void HttpConnection::pump()
{
    if (!responding || bodyDone)
        return;
    while (pendingBytes() < highWaterBytes) {
        qint64 room = pieceBytes;
        if (response.throttleBytes > 0) {
            if (throttleBudget <= 0)
                return;
            room = qMin(room, throttleBudget);
        }
        if (response.stallAt >= 0) {
            if (bodySent >= response.stallAt)
                return; // stay connected, send nothing more
            room = qMin(room, response.stallAt - bodySent);
        }
        if (response.dropAt >= 0) {
            if (bodySent >= response.dropAt) {
                if (pendingBytes() == 0) {
                    bodyDone = true;
                    closeSoon(&QAbstractSocket::abort);
                }
                return;
            }
            room = qMin(room, response.dropAt - bodySent);
        }
        const QByteArray piece = nextPiece(room);
        if (piece.isEmpty()) {
            finishBody();
            return;
        }
        if (response.framing == HttpResponse::Framing::Chunked)
            socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        else
            socket->write(piece);
        bodySent += piece.size();
        throttleBudget -= piece.size();
    }
}

QByteArray HttpConnection::nextPiece(qint64 maximum)
{
    switch (response.source) {
    case HttpResponse::Source::Memory:
        return response.body.mid(rangeStart + bodySent, maximum);
    case HttpResponse::Source::File:
        return bodyFile.read(maximum);
    case HttpResponse::Source::Generated:
        if (response.generatedSize >= 0)
            maximum = qMin(maximum, response.generatedSize - rangeStart - bodySent);
        return maximum > 0 ? HttpResponse::generatedBytes(rangeStart + bodySent, maximum)
                           : QByteArray();
    }
    return QByteArray();
}

void HttpConnection::finishBody()
{
    bodyDone = true;
    throttleTimer.stop();
    if (response.framing == HttpResponse::Framing::Chunked)
        socket->write("0\r\n\r\n");
    closeSoon(&QAbstractSocket::disconnectFromHost); // after the queued data has gone
}

void HttpConnection::closeSoon(void (QAbstractSocket::*close)())
{
    // pump() may run inside the socket's own write path, which must not see it closed.
    QMetaObject::invokeMethod(socket, close, Qt::QueuedConnection);
}

qint64 HttpConnection::pendingBytes() const
{
    qint64 pending = socket->bytesToWrite();
    if (auto *ssl = qobject_cast<QSslSocket *>(socket))
        pending += ssl->encryptedBytesToWrite();
    return pending;
}

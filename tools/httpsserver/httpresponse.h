#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

// What the local server sends back for one request. The handler fills it in; the connection
// then streams it, so file and generated bodies are never held in memory as a whole.
class HttpResponse
{
public:
    enum class Framing {
        ContentLength,  // the length is announced
        Chunked,        // Transfer-Encoding: chunked, no length
        CloseDelimited, // no length at all; the end of the connection ends the body
    };

    void setStatus(int code) { statusCode = code; }
    void setHeader(const QByteArray &name, const QByteArray &value);
    void setFraming(Framing how) { framing = how; }

    void setBody(const QByteArray &bytes);
    void setBodyFile(const QString &path); // read piece by piece while sending
    // `size` bytes of generatedBytes(); a negative size never ends.
    void setGeneratedBody(qint64 size);
    void redirect(const QUrl &location, int code = 302);
    // Names the body's version and serves `Range: bytes=N-` of it (206, or 416 past its end),
    // unless an If-Range names another tag.
    void setEntityTag(const QByteArray &tag);

    // Misbehaviour: after this many body bytes have left, reset the connection...
    void dropAfter(qint64 bodyBytes) { dropAt = bodyBytes; }
    // ...or send nothing more while keeping the connection open.
    void stallAfter(qint64 bodyBytes) { stallAt = bodyBytes; }
    // At most `bytes` body bytes per `intervalMs`.
    void throttle(qint64 bytes, int intervalMs);

    // The body of setGeneratedBody: byte i is i % 251, so a shifted or repeated piece shows.
    static QByteArray generatedBytes(qint64 offset, qint64 length);

private:
    friend class HttpConnection;
    enum class Source { Memory, File, Generated };

    int statusCode = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    Framing framing = Framing::ContentLength;
    Source source = Source::Memory;
    QByteArray body;
    QString bodyFile;
    qint64 generatedSize = 0;
    QByteArray entityTag;
    qint64 dropAt = -1;
    qint64 stallAt = -1;
    qint64 throttleBytes = 0;
    int throttleIntervalMs = 0;
};

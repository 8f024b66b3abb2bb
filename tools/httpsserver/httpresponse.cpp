#include "tools/httpsserver/httpresponse.h"

void HttpResponse::setHeader(const QByteArray &name, const QByteArray &value)
{
    headers.append({name, value});
}

void HttpResponse::setBody(const QByteArray &bytes)
{
    source = Source::Memory;
    body = bytes;
}

void HttpResponse::setBodyFile(const QString &path)
{
    source = Source::File;
    bodyFile = path;
}

void HttpResponse::setGeneratedBody(qint64 size)
{
    source = Source::Generated;
    generatedSize = size;
}

void HttpResponse::redirect(const QUrl &location, int code)
{
    statusCode = code;
    setHeader("Location", location.toEncoded());
    setBody(QByteArray());
}

void HttpResponse::setEntityTag(const QByteArray &tag)
{
    entityTag = tag;
    setHeader("ETag", tag);
    setHeader("Accept-Ranges", "bytes");
}

void HttpResponse::throttle(qint64 bytes, int intervalMs)
{
    throttleBytes = bytes;
    throttleIntervalMs = intervalMs;
}

QByteArray HttpResponse::generatedBytes(qint64 offset, qint64 length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    int value = static_cast<int>(offset % 251);
    for (char &byte : bytes) {
        byte = static_cast<char>(value);
        if (++value == 251)
            value = 0;
    }
    return bytes;
}

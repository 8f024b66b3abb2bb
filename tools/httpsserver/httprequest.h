#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrlQuery>

// One parsed HTTP/1.1 request as the local server hands it to its handler.
struct HttpRequest
{
    QByteArray method;
    QString path; // decoded, without the query
    QUrlQuery query;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

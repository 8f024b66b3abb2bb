#include "tools/versionservice/requestlog.h"

#include "tools/httpsserver/httprequest.h"

#include <QTime>

#include <cstdio>

RequestLog::RequestLog(QObject *parent) : QObject(parent) {}

bool RequestLog::open(const QString &path)
{
    if (path.isEmpty())
        return file.open(stdout, QIODevice::WriteOnly | QIODevice::Append);
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void RequestLog::record(const HttpRequest &request, int status)
{
    const QString query =
        request.query.isEmpty() ? QStringLiteral("-") : request.query.toString(QUrl::FullyEncoded);
    const QByteArray range = request.headers.value("range");
    const QString line = QStringLiteral("%1 %2 %3 %4 %5%6\n")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")),
                                  QString::fromLatin1(request.method), request.path, query)
                             .arg(status)
                             .arg(range.isEmpty() ? QString() : ' ' + QString::fromLatin1(range));
    file.write(line.toUtf8());
    file.flush();
}

#pragma once

#include <QFile>
#include <QObject>

struct HttpRequest;

// One line per request: "<time> <method> <path> <query or -> <status>[ <Range>]", flushed at once
// so that a script or test reading along sees each request as it happens.
class RequestLog : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RequestLog)

public:
    explicit RequestLog(QObject *parent = nullptr);

    // An empty path writes to standard output.
    bool open(const QString &path);
    QString errorString() const { return file.errorString(); }
    void record(const HttpRequest &request, int status);

private:
    QFile file;
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// The version service's address: the vendor's host on port 20410, or the origin named by
// GLIMMERPANE_VERSION_SERVICE where staging overrides are built in.
QUrl versionServiceUrl();

// One version request, sent at construction, whose body finished() hands over once it has
// ended. A request that has not finished within the total time limit, or whose body grows past
// the size limit, is aborted and hands over an empty body, so that a stalled or endless service
// cannot wedge the updater.
class VersionRequest : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VersionRequest)

public:
    VersionRequest(QNetworkAccessManager *manager, const QUrl &url, QObject *parent);

    // While held, the time limit stands still: the time a user takes to answer the proxy's
    // question for credentials is not the service's.
    void holdDeadline(bool held);

signals:
    void finished(const QByteArray &body);

private:
    void abandon();

    QNetworkReply *reply;
    QTimer *deadline;
    int heldRemainingMs = -1;
    bool abandoned = false;
};

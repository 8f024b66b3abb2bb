#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QObject;

// The version service's address: the vendor's host on port 20410, or the origin named by
// GLIMMERPANE_VERSION_SERVICE where staging overrides are built in.
QUrl versionServiceUrl();

// Sends the version request and hands its body to `done` once it has ended, in `context`'s
// thread and only while `context` lives. A request that has not finished within the total time
// limit, or whose body grows past the size limit, is aborted and hands over an empty body, so
// that a stalled or endless service cannot wedge the updater.
void requestVersionReply(QNetworkAccessManager *manager, const QUrl &url, QObject *context,
                         std::function<void(const QByteArray &body)> done);

#pragma once

#include <QByteArray>
#include <QUrl>

class QNetworkAccessManager;

// The version service's address: the vendor's host on port 20410, or the origin named by
// GLIMMERPANE_VERSION_SERVICE where staging overrides are built in.
QUrl versionServiceUrl();

// Sends the version request and waits for it in a local event loop. A request that has not
// finished within the total time limit, or whose body grows past the size limit, is aborted
// and yields an empty body, so that a stalled or endless service cannot wedge the updater.
QByteArray fetchVersionReply(QNetworkAccessManager *manager, const QUrl &url);

#pragma once

#include <QNetworkReply>
#include <QString>

// The update log's line for a download the network or the server failed: the HTTP status, or
// the kind of network error. Never Qt's own text, which may name the address with its query,
// and a query may hold a token.
QString downloadFailureReason(QNetworkReply::NetworkError error, int httpStatus);

#pragma once

#include <QNetworkProxyFactory>

// The system's proxy settings for every host, loopback ones included. Qt's application-wide
// proxy always connects to localhost and 127.0.0.1 directly, so a proxy standing in front of a
// local server is reached only through a factory set on the network access manager itself.
class SystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;
};

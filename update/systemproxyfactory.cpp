#include "update/systemproxyfactory.h"

QList<QNetworkProxy> SystemProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    return systemProxyForQuery(query);
}

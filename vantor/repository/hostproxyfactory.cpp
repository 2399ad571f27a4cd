#include "hostproxyfactory.h"

namespace Vantor {
namespace Internal {

QList<QNetworkProxy> HostProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    // Read per request: the host may change it while the IDE runs.
    const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
    if (proxy.type() != QNetworkProxy::DefaultProxy && proxy.type() != QNetworkProxy::NoProxy)
        return {proxy};
    return QNetworkProxyFactory::proxyForQuery(query);
}

} // namespace Internal
} // namespace Vantor

#pragma once

#include <QNetworkProxyFactory>

namespace Vantor {
namespace Internal {

// Every request of the plugin goes through the proxy that the host set for the application (the IDE
// sets it from its own settings). Qt sends requests to loopback addresses past an application proxy;
// here the host's choice holds for them too, so a local forwarding proxy or tunnel sees all traffic.
// Without an application proxy, Qt's own choice (the application's factory, the system's) stands.
class HostProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;
};

} // namespace Internal
} // namespace Vantor

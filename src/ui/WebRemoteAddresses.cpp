#include "ui/WebRemoteAddresses.h"

namespace orvelo {

QStringList accessibleURLs(const std::vector<NetworkInterface>& interfaces, int port)
{
    QStringList urls;
    for (const auto& interface : interfaces)
        urls << QStringLiteral("http://%1:%2").arg(QString::fromStdString(interface.ipAddress)).arg(port);
    if (urls.isEmpty())
        urls << QStringLiteral("http://localhost:%1").arg(port);
    return urls;
}

} // namespace orvelo

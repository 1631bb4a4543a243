#pragma once

#include "net/NetworkInterface.h"

#include <optional>
#include <string>
#include <vector>

namespace orvelo {

// The host's usable IPv4 interfaces. Stateless; every function may be called from any thread
// and looks at the system anew.
class NetworkManager {
public:
    // Interfaces that are up and running, IPv4, not loopback, in the system's order; one
    // record per address. Empty when enumeration fails.
    static std::vector<NetworkInterface> getAvailableInterfaces();

    // The IPv4 interface carrying the default route; without one, the first IPv4 interface
    // that is up, running and not loopback; without that, none.
    static std::optional<NetworkInterface> primaryInterface();

    // The primary interface's address: what the node reports as its own to peers.
    static std::optional<std::string> getLocalIPAddress();
};

} // namespace orvelo

#pragma once

#include "net/NetworkInterface.h"

#include <netinet/in.h>

#include <optional>
#include <string>
#include <vector>

namespace orvelo {

// Where the lighting protocols go: the interface chosen in the settings while it is up, or
// none, which leaves each protocol on the system's choice (the default route). A value: read
// on any thread as a copy.
struct LightingInterface {
    std::optional<NetworkInterface> chosen;
    // The settings' broadcast address; empty when none was given.
    std::string broadcastSetting;

    // Where announcements and timecode go on the chosen interface: the broadcast address set
    // in the settings, else the interface's own, else the one its netmask gives. Without a
    // chosen interface, the settings' broadcast address when set.
    std::optional<std::string> broadcast() const;
    // Whether an answer to `peer` stays on the chosen interface (its subnet, or this host's
    // loopback). Always true without one: the system's routing decides, as before.
    bool reaches(in_addr peer) const;
};

// The interface record carrying `address`, if any.
std::optional<NetworkInterface> interfaceWithAddress(const std::vector<NetworkInterface>& interfaces,
                                                     const std::string& address);

// Same interface, address, netmask and broadcast: records of two enumerations differ only in id.
bool sameInterface(const NetworkInterface& a, const NetworkInterface& b);

} // namespace orvelo

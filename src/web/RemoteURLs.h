#pragma once

#include "net/NetworkInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvelo {

// Where a phone can open the web remote, for the log of a player without a screen: every
// interface address when the server listens on all of them ("0.0.0.0"), else the addresses it
// listens on; loopback last, each address once.
std::vector<std::string> remoteURLs(const std::vector<std::string>& listenAddresses,
                                    const std::vector<NetworkInterface>& interfaces, std::uint16_t port);

} // namespace orvelo

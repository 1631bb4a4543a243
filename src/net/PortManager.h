#pragma once

#include "net/PortError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvelo {

// Frees a UDP port before the Art-Net service binds it: every other process holding a UDP
// socket bound to that local port is killed. Stateless; blocks its caller while lsof runs
// and for half a second after terminating processes.
class PortManager {
public:
    // Nothing on success.
    static std::optional<PortError> clearPort(std::uint16_t port);

    // Process identifiers, in lsof's order and each once, that hold a socket whose local
    // port is `port`, from the output of `lsof -F pn` (one field per line: "p" process,
    // "n" name such as "*:6454" or "127.0.0.1:5000->127.0.0.1:6454").
    static std::vector<std::string> processesBoundTo(std::string_view lsofFieldOutput, std::uint16_t port);

private:
    static std::optional<PortError> killProcess(const std::string& pid);
};

} // namespace orvelo

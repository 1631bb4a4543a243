#pragma once

#include <string>

namespace orvelo {

// Why clearing a port failed; the Art-Net start turns it into a warning.
struct PortError {
    enum class Kind {
        commandFailed, // the port query could not be started
        killFailed,    // terminating a process failed
    };
    Kind kind;
    std::string message;

    const std::string& description() const { return message; }
};

} // namespace orvelo

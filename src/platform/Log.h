#pragma once

#include <functional>
#include <string_view>

namespace orvelo {

// One plain line per event on standard output, flushed at once so that a supervising
// process reads it live. Safe from any thread; lines never interleave.
void logLine(std::string_view line);

// Receives a copy of every line as it is written (the traffic monitor, tests). The observer
// runs on the logging thread, under the log's lock: keep it short and never log from it.
using LogObserver = std::function<void(std::string_view)>;
void setLogObserver(LogObserver observer);

} // namespace orvelo

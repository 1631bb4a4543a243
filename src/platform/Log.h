#pragma once

#include <functional>
#include <string_view>

namespace orvelo {

// One plain line per event on standard output, flushed at once so that a supervising
// process reads it live. Safe from any thread; lines never interleave. A line repeated within
// a second is written once and then counted; lines given the same `floodKey` (one kind of
// packet from one sender, say "ArtNetService: OpCode 0x2000 from 10.0.0.9") are written a few
// a second and the rest counted, so that a storm of junk cannot bury the line that matters.
void logLine(std::string_view line, std::string_view floodKey = {});

// Receives a copy of every line logged, before repeats are folded, so that a count is exact
// (the traffic monitor, tests). The observer runs on the logging thread, under the log's
// lock: keep it short and never log from it.
using LogObserver = std::function<void(std::string_view)>;
void setLogObserver(LogObserver observer);

} // namespace orvelo

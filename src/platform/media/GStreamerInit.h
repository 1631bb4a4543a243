#pragma once

namespace orvelo {

// Initialises GStreamer once per process; safe from any thread, any number of times.
void ensureGStreamer();

} // namespace orvelo

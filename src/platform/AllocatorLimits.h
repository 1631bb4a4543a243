#pragma once

namespace orvelo {

// glibc gives threads that allocate at once arenas of their own, up to eight per core, and
// keeps what is freed in them for reuse by the same arena. A media pipeline's streaming threads
// come and go with every track, so each switch left freed frames in some arena that the next
// pipeline's threads may not use: the process grew for dozens of switches before it levelled
// off. Few arenas, and freed memory handed back after a switch, keep it where it started.

// Call first thing in main, before any thread is started.
void limitAllocatorArenas();
// Hands the allocator's free memory back to the system, on a thread of its own (a trim walks
// every arena and can take milliseconds). Calls while one is waiting add nothing.
void trimAllocatorSoon();

} // namespace orvelo

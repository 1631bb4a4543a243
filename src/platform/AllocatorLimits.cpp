#include "platform/AllocatorLimits.h"

#include "platform/SerialQueue.h"

#include <malloc.h>

#include <atomic>

namespace orvelo {

namespace {
// Two cores' worth: the main thread, the receive threads and the streaming threads share them.
constexpr int arenaCount = 4;
} // namespace

void limitAllocatorArenas()
{
    mallopt(M_ARENA_MAX, arenaCount);
}

void trimAllocatorSoon()
{
    static std::atomic<bool> waiting{false};
    static SerialQueue queue("org.orvelo.allocator-trim");
    if (waiting.exchange(true))
        return;
    queue.post([] {
        waiting = false;
        malloc_trim(0);
    });
}

} // namespace orvelo

#include "platform/media/FrameTap.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace orvelo {

namespace {

struct TapFile {
    std::mutex mutex;
    std::FILE* file = nullptr;

    TapFile()
    {
        if (const char* path = std::getenv("ORVELO_FRAME_TAP"); path && *path)
            file = std::fopen(path, "a");
    }
};

TapFile& tap()
{
    static TapFile instance;
    return instance;
}

} // namespace

bool FrameTap::enabled()
{
    return tap().file != nullptr;
}

void FrameTap::shown(std::uint64_t positionNs, std::uint64_t clockNs)
{
    TapFile& t = tap();
    if (!t.file)
        return;
    std::lock_guard lock(t.mutex);
    std::fprintf(t.file, "%llu %llu\n", static_cast<unsigned long long>(positionNs),
                 static_cast<unsigned long long>(clockNs));
    // Each line whole on disk: the test reads the file while the player still runs.
    std::fflush(t.file);
}

} // namespace orvelo

// How test binaries run under AddressSanitizer with GStreamer, whose libraries are built
// without frame pointers and keep a few allocations and threads for the process's lifetime.
#include <gst/gst.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <thread>

// LeakSanitizer stops every thread at exit to scan it, and crashes on the dynamic TLS of the
// idle GStreamer worker threads still parked then. This handler, registered after
// LeakSanitizer's own and so run before it, dismisses those threads and waits (briefly, and
// bounded) until they are gone.
static const bool dismissGStreamerThreadsAtExit = [] {
    std::atexit([] {
        if (!gst_is_initialized())
            return;
        gst_task_cleanup_all();
        g_thread_pool_set_max_unused_threads(0);
        g_thread_pool_stop_unused_threads();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        std::error_code error;
        while (std::chrono::steady_clock::now() < deadline &&
               std::distance(std::filesystem::directory_iterator("/proc/self/task", error),
                             std::filesystem::directory_iterator()) > 1)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    return true;
}();

// Leak stacks through GLib are only complete with slow unwinding.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

// With complete stacks the allocations to leave alone are named precisely: GLib never frees an
// outgrown quark table (readers may still hold it; the first is made by its library
// constructor), and the x265 encoder and gst-libav's option reading keep small blocks. The
// tests use those two to make media; playback does not. Qt Quick's image cache and the
// textures made from it are not torn down when a window test's engine goes at exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:_dl_init\n"
           "leak:g_intern_string\n"
           "leak:g_intern_static_string\n"
           "leak:g_quark_from_string\n"
           "leak:g_quark_from_static_string\n"
           "leak:libx265.so\n"
           "leak:av_opt_get\n"
           "leak:QQuickPixmap::load\n"
           "leak:QQuickPixmap::setImage\n"
           "leak:QSGRenderContext::textureForFactory\n";
}

#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef ORVELO_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace orvelo {

namespace {

// Qt's event queue synchronises through futexes in uninstrumented code, so ThreadSanitizer
// would see every hand-off as a race. This file is built without instrumentation under
// ThreadSanitizer and states the hand-off itself: what the poster wrote before the post
// happens before the job runs.
void announceHandOff([[maybe_unused]] void* job)
{
#ifdef ORVELO_TSAN
    __tsan_release(job);
#endif
}

void acceptHandOff([[maybe_unused]] void* job)
{
#ifdef ORVELO_TSAN
    __tsan_acquire(job);
#endif
}

} // namespace

void postToMain(QObject* context, std::function<void()> fn)
{
    auto job = std::make_unique<std::function<void()>>(std::move(fn));
    announceHandOff(job.get());
    QMetaObject::invokeMethod(
        context,
        [job = std::move(job)]() mutable {
            acceptHandOff(job.get());
            (*job)();
            // Qt may drop its last reference to this call on the posting thread; what the job
            // captured is released here, on the main thread that ran it.
            job.reset();
        },
        Qt::QueuedConnection);
}

bool isMainThread()
{
    const auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

#ifdef ORVELO_CHECKS
void assertMainThread(std::source_location caller)
{
    if (!QCoreApplication::instance() || isMainThread())
        return;
    // Not through the log: the log may be what the wrong thread was in the middle of.
    std::fprintf(stderr, "%s:%u: %s called off the main thread\n", caller.file_name(), caller.line(),
                 caller.function_name());
    std::abort();
}
#endif

} // namespace orvelo

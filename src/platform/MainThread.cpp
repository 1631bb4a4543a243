#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace orvelo {

void postToMain(QObject* context, std::function<void()> fn)
{
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
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

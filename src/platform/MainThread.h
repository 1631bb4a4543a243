#pragma once

#include <functional>
#include <source_location>

class QObject;

namespace orvelo {

// The one way work reaches the main thread: runs `fn` later on the thread that owns `context`
// (the main thread for every service). If `context` is destroyed first, `fn` never runs: this
// is how a background thread keeps a weak reference to the service it reports to. On the main
// thread itself it defers `fn` until the current handler has returned; say why where that is
// what a caller wants.
void postToMain(QObject* context, std::function<void()> fn);

bool isMainThread();

// Stops a debug or sanitizer build at once, naming the caller, when a main-thread-only method
// runs on another thread: such a call is a data race that would otherwise show only as a rare
// fault on stage. Release builds check nothing. Before the application object exists there is
// no main thread to compare with, so nothing is checked either.
#ifdef ORVELO_CHECKS
void assertMainThread(std::source_location caller = std::source_location::current());
#else
inline void assertMainThread()
{
}
#endif

} // namespace orvelo

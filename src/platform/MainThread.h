#pragma once

#include <functional>

class QObject;

namespace orvelo {

// Runs `fn` later on the thread that owns `context` (the main thread for every service).
// If `context` is destroyed first, `fn` never runs: this is how a background thread keeps a
// weak reference to the service it reports to.
void postToMain(QObject* context, std::function<void()> fn);

bool isMainThread();

} // namespace orvelo

#pragma once

#include "web/HttpResponder.h"
#include "web/HttpResponse.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

namespace orvelo {

// The requests for one API document that wait for the main thread together: the first one
// queues a single build, those that arrive before it runs join it, and all get the same
// answer. Under a burst of polling clients the main thread builds a document once per turn
// of its loop instead of once per request, so DMX decoding and playback keep their rhythm.
//
// A request joins a waiting build only if no action has been queued to the main thread since
// that build was: a client that reads after its own POST was answered sees what it changed.
class DocumentBatch {
public:
    // Any thread. `actionsQueued` counts the actions queued so far. `build` runs later on the
    // thread of `context` (the main thread); if the context is gone by then, nothing is built
    // or sent.
    void add(const HttpResponder& responder, std::uint64_t actionsQueued, QObject* context,
             std::function<HttpResponse()> build);

private:
    struct Waiting {
        std::uint64_t actionsQueued;
        std::vector<HttpResponder> responders;
    };

    std::mutex mutex_;
    std::shared_ptr<Waiting> open_;
};

} // namespace orvelo

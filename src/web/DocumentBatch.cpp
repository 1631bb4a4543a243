#include "web/DocumentBatch.h"

#include "platform/MainThread.h"

namespace orvelo {

void DocumentBatch::add(const HttpResponder& responder, std::uint64_t actionsQueued, QObject* context,
                        std::function<HttpResponse()> build)
{
    std::shared_ptr<Waiting> batch;
    {
        std::lock_guard lock(mutex_);
        if (open_ && open_->actionsQueued == actionsQueued) {
            open_->responders.push_back(responder);
            return;
        }
        open_ = std::make_shared<Waiting>(Waiting{actionsQueued, {responder}});
        batch = open_;
    }
    postToMain(context, [this, batch, build = std::move(build)] {
        {
            std::lock_guard lock(mutex_);
            if (open_ == batch)
                open_.reset();
        }
        // Built after every request in the batch arrived, so none is answered with older state.
        const HttpResponse response = build();
        for (const HttpResponder& responder : batch->responders)
            responder.send(response);
    });
}

} // namespace orvelo

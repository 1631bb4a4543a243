#include "core/TimecodeSender.h"

#include <pthread.h>

namespace orvelo {

TimecodeSender::TimecodeSender(bool ownThread)
{
    if (ownThread)
        thread_ = std::thread([this] { run(); });
}

TimecodeSender::~TimecodeSender()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void TimecodeSender::update(std::optional<Frame> now, std::optional<Pending> ahead)
{
    {
        std::lock_guard lock(mutex_);
        // A frame sent now (a seek, a restart) takes the place of one still waiting.
        if (pending_ && pending_->due <= Clock::now() && !now)
            pending_->frame.send();
        pending_.reset();
        if (now && now->number != sentAhead_)
            now->send();
        sentAhead_.reset();
        pending_ = std::move(ahead);
    }
    wake_.notify_one();
}

void TimecodeSender::run()
{
    pthread_setname_np(pthread_self(), "TimecodeSender");
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!pending_) {
            wake_.wait(lock);
            continue;
        }
        if (Clock::now() < pending_->due) {
            wake_.wait_until(lock, pending_->due);
            continue;
        }
        const Frame frame = std::move(pending_->frame);
        pending_.reset();
        frame.send();
        sentAhead_ = frame.number;
    }
}

} // namespace orvelo

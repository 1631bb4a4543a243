#include "platform/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <pthread.h>

namespace orvelo {

// Shared with the worker, so a queue destroyed from one of its own tasks leaves the worker
// something valid to look at while it winds down.
struct SerialQueue::State {
    std::string label;
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool running = false;
    bool stopping = false;
    std::thread worker;
};

void SerialQueue::runWorker(const std::shared_ptr<State>& state)
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(state->mutex);
            state->running = false;
            state->wake.wait(lock, [&] { return state->stopping || !state->tasks.empty(); });
            if (state->stopping)
                return;
            task = std::move(state->tasks.front());
            state->tasks.pop_front();
            state->running = true;
        }
        task();
    }
}

SerialQueue::SerialQueue(std::string label) : state_(std::make_shared<State>())
{
    state_->label = std::move(label);
    state_->worker = std::thread([state = state_] {
        pthread_setname_np(pthread_self(), state->label.substr(0, 15).c_str());
        runWorker(state);
    });
}

SerialQueue::~SerialQueue()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->tasks);
    }
    state_->wake.notify_all();
    if (state_->worker.get_id() == std::this_thread::get_id())
        state_->worker.detach();
    else
        state_->worker.join();
}

void SerialQueue::post(std::function<void()> task)
{
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping)
            return;
        state_->tasks.push_back(std::move(task));
    }
    state_->wake.notify_one();
}

const std::string& SerialQueue::label() const
{
    return state_->label;
}

std::size_t SerialQueue::pendingCount() const
{
    std::lock_guard lock(state_->mutex);
    return state_->tasks.size() + (state_->running ? 1 : 0);
}

bool SerialQueue::isCurrentThread() const
{
    return state_->worker.get_id() == std::this_thread::get_id();
}

} // namespace orvelo

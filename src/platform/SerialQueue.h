#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace orvelo {

// A serial work queue on a thread of its own: tasks run one at a time in the order they were
// posted, and post() returns at once, so a streaming thread can hand work off without waiting.
// Destroying the queue lets the running task finish and drops the tasks still waiting.
class SerialQueue {
public:
    // `label` names the queue (reverse-DNS); the system thread name keeps its first 15 bytes.
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(std::function<void()> task);

    const std::string& label() const;
    // Tasks posted and not yet finished, the running one included.
    std::size_t pendingCount() const;
    bool isCurrentThread() const;

private:
    struct State;
    static void runWorker(const std::shared_ptr<State>& state);
    std::shared_ptr<State> state_;
};

} // namespace orvelo

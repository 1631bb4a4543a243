#include "net/ForeignUniverses.h"

namespace orvelo {

void ForeignUniverses::count(int universe)
{
    std::lock_guard lock(mutex_);
    ++counted_[universe];
}

void ForeignUniverses::look(int own, Clock::time_point now)
{
    std::map<int, std::uint64_t> counted;
    {
        std::lock_guard lock(mutex_);
        counted.swap(counted_);
    }
    if (heard_.empty())
        frames_ = 0;
    for (const auto& [universe, frames] : counted) {
        lastHeard_[universe] = now;
        frames_ += frames;
    }
    std::vector<int> heard;
    for (auto it = lastHeard_.begin(); it != lastHeard_.end();) {
        if (now - it->second >= forgetAfter) {
            it = lastHeard_.erase(it);
            continue;
        }
        // Frames counted just before the input moved to this universe are its own now.
        if (it->first != own)
            heard.push_back(it->first);
        ++it;
    }
    heard_ = std::move(heard);
}

void ForeignUniverses::forget()
{
    std::lock_guard lock(mutex_);
    counted_.clear();
    lastHeard_.clear();
    heard_.clear();
    frames_ = 0;
}

} // namespace orvelo

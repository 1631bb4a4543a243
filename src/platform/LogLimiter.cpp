#include "platform/LogLimiter.h"

namespace orvelo {

std::vector<std::string> LogLimiter::offer(std::string_view line, std::string_view key, Clock::time_point now)
{
    std::vector<std::string> out;
    closeDue(now, out);
    // A flood is counted as one, whatever its lines repeat.
    Window* kind = nullptr;
    if (!key.empty()) {
        if (!keys_.contains(key))
            open(true, key, now);
        kind = &keys_.find(key)->second;
        if (kind->written >= linesPerKey) {
            ++kind->held;
            return out;
        }
    }
    if (const auto repeat = lines_.find(line); repeat != lines_.end()) {
        ++repeat->second.held;
        return out;
    }
    if (kind)
        ++kind->written;
    open(false, line, now);
    out.emplace_back(line);
    return out;
}

void LogLimiter::open(bool isKey, std::string_view name, Clock::time_point now)
{
    (isKey ? keys_ : lines_).emplace(std::string(name), Window{});
    closing_.push_back({now + window, isKey, std::string(name)});
}

void LogLimiter::closeDue(Clock::time_point now, std::vector<std::string>& out)
{
    while (!closing_.empty() && closing_.front().at <= now) {
        const Closing& due = closing_.front();
        Windows& windows = due.isKey ? keys_ : lines_;
        const auto entry = windows.find(due.name);
        if (const long held = entry->second.held; held > 0) {
            out.push_back(!due.isKey
                              ? due.name + " (repeated " + std::to_string(held) + (held == 1 ? " time)" : " times)")
                              : due.name + " (" + std::to_string(held) + (held == 1 ? " more line" : " more lines") +
                                    " not shown)");
        }
        windows.erase(entry);
        closing_.pop_front();
    }
}

} // namespace orvelo

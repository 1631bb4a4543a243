#include "platform/LogPriority.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string>

namespace orvelo {

namespace {
bool mentionsAny(const std::string& lowered, const auto& words)
{
    return std::any_of(words.begin(), words.end(),
                       [&](std::string_view word) { return lowered.find(word) != std::string::npos; });
}
} // namespace

LogPriority priorityOf(std::string_view line)
{
    std::string lowered(line);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static constexpr std::array<std::string_view, 1> saysWarning{"warning"};
    // "reading on after a passing receive failure" is the receiver carrying on: a warning.
    static constexpr std::array<std::string_view, 3> carriesOn{"reading on", "ignor", "not taken by every branch"};
    static constexpr std::array<std::string_view, 6> failed{"error", "failed", "cannot", "can't", "could not", "unable"};
    static constexpr std::array<std::string_view, 9> doubtful{"refused", "dropp",   "not found", "stalled",        "ended early",
                                                              "unknown", "lost",    "missing",   "not implemented"};
    if (mentionsAny(lowered, saysWarning) || mentionsAny(lowered, carriesOn))
        return LogPriority::Warning;
    if (mentionsAny(lowered, failed))
        return LogPriority::Error;
    if (mentionsAny(lowered, doubtful))
        return LogPriority::Warning;
    return LogPriority::Info;
}

bool isJournalStream(const char* journalStream, unsigned long long device, unsigned long long inode)
{
    if (!journalStream)
        return false;
    const std::string_view text(journalStream);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    unsigned long long namedDevice = 0, namedInode = 0;
    const auto parse = [](std::string_view part, unsigned long long& value) {
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        return error == std::errc{} && end == part.data() + part.size() && !part.empty();
    };
    return parse(text.substr(0, colon), namedDevice) && parse(text.substr(colon + 1), namedInode) &&
           namedDevice == device && namedInode == inode;
}

} // namespace orvelo

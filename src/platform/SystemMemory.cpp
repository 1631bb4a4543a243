#include "platform/SystemMemory.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

namespace orvelo {

std::optional<std::int64_t> availableMemoryBytes()
{
    std::ifstream file("/proc/meminfo");
    if (!file)
        return std::nullopt;
    std::stringstream text;
    text << file.rdbuf();
    return memAvailableFrom(text.str());
}

std::optional<std::int64_t> memAvailableFrom(std::string_view meminfo)
{
    constexpr std::string_view key = "MemAvailable:";
    const auto at = meminfo.find(key);
    if (at == std::string_view::npos || (at > 0 && meminfo[at - 1] != '\n'))
        return std::nullopt;
    std::string_view rest = meminfo.substr(at + key.size());
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    std::int64_t kibibytes = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), kibibytes);
    if (error != std::errc{} || kibibytes < 0 || std::string_view(end, rest.data() + rest.size()).substr(0, 3) != " kB")
        return std::nullopt;
    return kibibytes * 1024;
}

} // namespace orvelo

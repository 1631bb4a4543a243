#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvelo {

// What the kernel reckons can still be allocated without swapping (MemAvailable), in bytes;
// nothing when /proc/meminfo cannot be read.
std::optional<std::int64_t> availableMemoryBytes();

// The MemAvailable line of a /proc/meminfo text, in bytes.
std::optional<std::int64_t> memAvailableFrom(std::string_view meminfo);

} // namespace orvelo

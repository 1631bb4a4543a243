#pragma once

#include <string_view>

namespace orvelo {

// The two CITP header forms. `standard` is the compact 12-byte form the service builds; the
// full form (`extended`) carries the message size and part numbers.
enum class CITPHeaderType { standard, extended };

inline std::string_view headerTypeName(CITPHeaderType type)
{
    return type == CITPHeaderType::standard ? "standard" : "extended";
}

} // namespace orvelo

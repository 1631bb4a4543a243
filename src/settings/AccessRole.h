#pragma once

#include <optional>
#include <string_view>

namespace orvelo {

// What a web client may do once it is known: operate the show, or only look at it (pages and
// documents). The raw values are the API's and the store's.
enum class AccessRole { operate, view };

constexpr std::string_view rawValue(AccessRole role)
{
    return role == AccessRole::operate ? "operator" : "viewer";
}

constexpr std::optional<AccessRole> accessRoleFromRawValue(std::string_view text)
{
    if (text == "operator")
        return AccessRole::operate;
    if (text == "viewer")
        return AccessRole::view;
    return std::nullopt;
}

} // namespace orvelo

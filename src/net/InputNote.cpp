#include "net/InputNote.h"

#include "net/ArtNetPacket.h"

#include <algorithm>
#include <functional>

namespace orvelo::inputnote {

namespace {

constexpr std::size_t namedAtMost = 3;

// "a", "a and b", "a, b and c", "a, b, c and 2 more".
std::string listed(const std::vector<int>& universes, const std::function<std::string(int)>& name)
{
    const std::size_t named = std::min(universes.size(), namedAtMost);
    std::string text;
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0)
            text += i + 1 == named && universes.size() == named ? " and " : ", ";
        text += name(universes[i]);
    }
    if (universes.size() > named)
        text += " and " + std::to_string(universes.size() - named) + " more";
    return text;
}

} // namespace

std::string artNet(const std::vector<int>& heard, int ownPortAddress)
{
    if (heard.empty())
        return {};
    return "Art-Net seen on " + listed(heard, artnet::portAddressText) + ", listening on " +
           artnet::portAddressText(ownPortAddress);
}

std::string sACN(const std::vector<int>& heard, int ownUniverse)
{
    if (heard.empty())
        return {};
    const auto number = [](int universe) { return std::to_string(universe); };
    return std::string(heard.size() == 1 ? "sACN seen on universe " : "sACN seen on universes ") +
           listed(heard, number) + ", set for universe " + std::to_string(ownUniverse) +
           " (the sACN input takes every universe)";
}

} // namespace orvelo::inputnote

#pragma once

#include <string>
#include <vector>

namespace orvelo::inputnote {

// The one line the window, the web remote and the log show when a DMX input hears universes
// other than its own (in ascending order); empty when it hears none. At most three are named.

// "Art-Net seen on 0:0:1, listening on 0:0:0": Port-Addresses as net:sub-net:universe.
std::string artNet(const std::vector<int>& heard, int ownPortAddress);

// "sACN seen on universe 7, set for universe 1 (...)": the sACN input takes every universe, so
// the note says that the console and the player's address disagree, not that frames are lost.
std::string sACN(const std::vector<int>& heard, int ownUniverse);

} // namespace orvelo::inputnote

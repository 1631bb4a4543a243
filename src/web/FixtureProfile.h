#pragma once

#include <QJsonObject>

namespace orvelo::FixtureProfile {

// The player as an Open Fixture Library fixture, for consoles and visualisers that import that
// format: one mode per footprint (1, 2 and 18 channels), every channel's value bands taken
// from the DMX reference, so from the controller's own decoding.
QJsonObject openFixtureLibrary();

// Where the web remote offers it.
inline constexpr const char* downloadPath = "/fixtures/orvelo.json";

} // namespace orvelo::FixtureProfile

#pragma once

#include <QUuid>

#include <cstdint>
#include <string>

namespace orvelo {

// One fixture of a patch received from a console (FPTC "Ptch").
struct CITPFixture {
    QUuid id = QUuid::createUuid();
    std::uint16_t fixtureId = 0;
    std::uint16_t universe = 0;
    std::uint16_t channel = 0;
    std::string extraInfo;

    friend bool operator==(const CITPFixture&, const CITPFixture&) = default;
};

} // namespace orvelo

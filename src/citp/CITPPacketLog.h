#pragma once

#include <QDateTime>
#include <QUuid>

#include <cstdint>
#include <string>
#include <vector>

namespace orvelo {

// One entry of the CITP traffic log shown by the diagnostic view.
struct CITPPacketLog {
    QUuid id = QUuid::createUuid();
    QDateTime timestamp;
    std::string direction; // "Rx", "Tx", "Rx/TCP" or "Tx/TCP"
    std::string source;
    std::string description;
    std::vector<std::uint8_t> data;

    friend bool operator==(const CITPPacketLog&, const CITPPacketLog&) = default;
};

} // namespace orvelo

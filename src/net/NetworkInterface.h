#pragma once

#include <QUuid>

#include <string>

namespace orvelo {

// One host IPv4 interface address. A value: every enumeration makes a fresh `id`, so two
// enumerations of the same interface give records that are not equal; the settings therefore
// remember the address texts, not the record.
struct NetworkInterface {
    QUuid id = QUuid::createUuid();
    std::string name;
    std::string ipAddress;
    std::string netmask;          // empty when the system reports none
    std::string broadcastAddress; // as reported by the system, empty when none

    friend bool operator==(const NetworkInterface&, const NetworkInterface&) = default;
};

} // namespace orvelo

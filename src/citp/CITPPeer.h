#pragma once

#include <QDateTime>

#include <string>

namespace orvelo {

// Another CITP peer, heard through its PLoc announcement; known by its sender address.
struct CITPPeer {
    std::string id; // the sender's IPv4 address, dotted
    std::string name;
    std::string type;
    std::string ip;
    QDateTime lastSeen;

    friend bool operator==(const CITPPeer&, const CITPPeer&) = default;
};

} // namespace orvelo

#pragma once

#include "net/NetworkInterface.h"

#include <QStringList>

#include <vector>

namespace orvelo {

// The addresses a phone on the show network can open the web remote at: one per interface,
// in the system's order, or localhost when the machine has none.
QStringList accessibleURLs(const std::vector<NetworkInterface>& interfaces, int port = 8080);

} // namespace orvelo

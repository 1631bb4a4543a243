#pragma once

#include "support/TestSupport.h"

#include <cstdlib>
#include <string>

namespace orvelo::test {

// Tests that run the whole application on its own ports take turns, across processes: its
// Art-Net start clears port 6454 of other holders, which would kill another such test.
class DefaultPortsTurn : FileLock {
public:
    DefaultPortsTurn() : FileLock(std::string(std::getenv("ORVELO_BUILD_DIR")) + "/default-ports.lock") {}
};

} // namespace orvelo::test

#pragma once

#include <string>

namespace orvelo::test {

// A folder of this process's own below `home`, so tests that ctest runs in parallel never
// share a store, a data folder or a temporary file.
std::string makeRunFolder(const std::string& home);

// Points the per-user folders at `run`, silences audio and tells the media generators where
// the build folder is. The platform (offscreen or a display) is the caller's choice.
void setUpTestEnvironment(const std::string& run, const std::string& buildDir);

// Removes the run folder; a leftover is harmless, so errors are ignored.
void removeRunFolder(const std::string& run);

} // namespace orvelo::test

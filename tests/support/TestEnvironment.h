#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace orvelo::test {

// A folder of this process's own below `home`, so tests that ctest runs in parallel never
// share a store, a data folder or a temporary file.
inline std::string makeRunFolder(const std::string& home)
{
    std::filesystem::create_directories(home);
    std::string pattern = home + "/run-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

// Points the per-user folders at `run`, silences audio and tells the media generators where
// the build folder is. The platform (offscreen or a display) is the caller's choice.
inline void setUpTestEnvironment(const std::string& run, const std::string& buildDir)
{
    for (const char* folder : {"/config", "/data"})
        std::filesystem::create_directories(run + folder);
    setenv("XDG_CONFIG_HOME", (run + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (run + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    setenv("ORVELO_TEST_TMP", run.c_str(), 1);
    setenv("ORVELO_BUILD_DIR", buildDir.c_str(), 1);
    setenv("GST_AUDIO_SINK", "fakesink", 1);
}

// Removes the run folder; a leftover is harmless, so errors are ignored.
inline void removeRunFolder(const std::string& run)
{
    std::error_code ignored;
    std::filesystem::remove_all(run, ignored);
}

} // namespace orvelo::test

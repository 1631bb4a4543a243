#include "support/TestEnvironment.h"

#include <cstdlib>
#include <filesystem>

namespace orvelo::test {

std::string makeRunFolder(const std::string& home)
{
    std::filesystem::create_directories(home);
    std::string pattern = home + "/run-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

void setUpTestEnvironment(const std::string& run, const std::string& buildDir)
{
    std::filesystem::create_directories(run + "/config");
    std::filesystem::create_directories(run + "/data");
    setenv("XDG_CONFIG_HOME", (run + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (run + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    setenv("ORVELO_TEST_TMP", run.c_str(), 1);
    setenv("ORVELO_BUILD_DIR", buildDir.c_str(), 1);
    setenv("GST_AUDIO_SINK", "fakesink", 1);
}

void removeRunFolder(const std::string& run)
{
    std::error_code ignored;
    std::filesystem::remove_all(run, ignored);
}

} // namespace orvelo::test

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A folder of this process's own, so tests that ctest runs in parallel never share a store.
std::string makeRunFolder()
{
    std::filesystem::create_directories(ORVELO_TEST_HOME);
    std::string pattern = std::string(ORVELO_TEST_HOME) + "/run-XXXXXX";
    if (!mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

void setUpEnvironment(const std::string& run)
{
    std::filesystem::create_directories(run + "/config");
    std::filesystem::create_directories(run + "/data");
    setenv("XDG_CONFIG_HOME", (run + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (run + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    setenv("ORVELO_TEST_TMP", run.c_str(), 1);
    setenv("ORVELO_BUILD_DIR", ORVELO_BUILD_DIR, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("GST_AUDIO_SINK", "fakesink", 1);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string run = makeRunFolder();
    setUpEnvironment(run);
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setOrganizationName("Orvelo");
        QCoreApplication::setApplicationName("Orvelo");
        result = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(run, ignored);
    return result;
}

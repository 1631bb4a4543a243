#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    const std::string run = orvelo::test::makeRunFolder(ORVELO_TEST_HOME);
    orvelo::test::setUpTestEnvironment(run, ORVELO_BUILD_DIR);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setOrganizationName("Orvelo");
        QCoreApplication::setApplicationName("Orvelo");
        result = RUN_ALL_TESTS();
    }
    orvelo::test::removeRunFolder(run);
    return result;
}

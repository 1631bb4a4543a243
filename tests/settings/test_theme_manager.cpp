// Protects the colour theme choice: switching by id only, notified once, kept across a restart.
#include "settings/ThemeManager.h"

#include <gtest/gtest.h>

using namespace orvelo;

TEST(ThemeManager, StartsWithOnyxDarkAndSwitchesByIdOnly)
{
    ThemeManager themes;
    EXPECT_EQ(themes.currentTheme().id, "onyx_dark");
    int notifications = 0;
    QObject::connect(&themes, &ThemeManager::currentThemeChanged, &themes, [&] { ++notifications; });

    themes.setTheme("midnight");
    EXPECT_EQ(themes.currentTheme().name, "Midnight");
    themes.setTheme("Daylight");
    themes.setTheme("");
    EXPECT_EQ(themes.currentTheme().id, "midnight");
    EXPECT_EQ(notifications, 1);

    EXPECT_EQ(ThemeManager().currentTheme().id, "midnight"); // kept across a restart
}

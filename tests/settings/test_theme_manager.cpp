// Protects the colour themes: the fixed list and its order, switching by id only, and the
// light or dark scheme each theme asks of the window.
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

TEST(ThemeManager, FixedListInPickerOrderWithItsSchemes)
{
    const auto& all = Theme::allThemes();
    ASSERT_EQ(all.size(), 4);
    EXPECT_EQ(all[0].id, "onyx_dark");
    EXPECT_EQ(all[1].id, "midnight");
    EXPECT_EQ(all[2].id, "daylight");
    EXPECT_EQ(all[3].id, "soft_white");
    EXPECT_EQ(all[3].name, "Soft White");
    EXPECT_FALSE(all[0].isLight());
    EXPECT_FALSE(all[1].isLight());
    EXPECT_TRUE(all[2].isLight());
    EXPECT_TRUE(all[3].isLight());
    for (const Theme& theme : all)
        EXPECT_EQ(theme.background.alphaF(), 1.0f) << theme.id.toStdString();
}

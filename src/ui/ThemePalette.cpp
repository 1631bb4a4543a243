#include "ui/ThemePalette.h"

#include "platform/MainThread.h"

#include "settings/ThemeManager.h"

namespace orvelo {

ThemePalette::ThemePalette(ThemeManager& themes, QObject* parent) : QObject(parent), themes_(themes)
{
    connect(&themes_, &ThemeManager::currentThemeChanged, this, &ThemePalette::changed);
}

QColor ThemePalette::background() const
{
    return themes_.currentTheme().background;
}
QColor ThemePalette::panelBackground() const
{
    return themes_.currentTheme().panelBackground;
}
QColor ThemePalette::accent() const
{
    return themes_.currentTheme().accent;
}
QColor ThemePalette::textPrimary() const
{
    return themes_.currentTheme().textPrimary;
}
QColor ThemePalette::textSecondary() const
{
    return themes_.currentTheme().textSecondary;
}
QColor ThemePalette::border() const
{
    return themes_.currentTheme().border;
}
QString ThemePalette::themeId() const
{
    return themes_.currentTheme().id;
}
bool ThemePalette::isLight() const
{
    return themes_.currentTheme().isLight();
}

int ThemePalette::themeIndex() const
{
    const auto& all = Theme::allThemes();
    for (qsizetype i = 0; i < all.size(); ++i)
        if (all[i].id == themes_.currentTheme().id)
            return static_cast<int>(i);
    return 0;
}

void ThemePalette::setThemeIndex(int index)
{
    assertMainThread();
    const auto& all = Theme::allThemes();
    if (index >= 0 && index < all.size())
        themes_.setTheme(all[index].id);
}

void ThemePalette::setTheme(const QString& id)
{
    assertMainThread();
    themes_.setTheme(id);
}

QStringList ThemePalette::themeNames() const
{
    QStringList names;
    for (const auto& theme : Theme::allThemes())
        names << theme.name;
    return names;
}

} // namespace orvelo

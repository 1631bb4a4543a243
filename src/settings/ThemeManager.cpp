#include "settings/ThemeManager.h"

namespace orvelo {

ThemeManager::ThemeManager(QObject* parent)
    : QObject(parent)
    , currentTheme_(Theme::allThemes().constFirst())
{
}

void ThemeManager::setTheme(const QString& id)
{
    for (const Theme& theme : Theme::allThemes()) {
        if (theme.id == id) {
            currentTheme_ = theme;
            emit currentThemeChanged(currentTheme_);
            return;
        }
    }
}

} // namespace orvelo

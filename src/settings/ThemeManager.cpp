#include "settings/ThemeManager.h"

#include "platform/MainThread.h"

namespace orvelo {

ThemeManager::ThemeManager(QObject* parent) : QObject(parent), currentTheme_(Theme::allThemes().constFirst())
{
    const QString stored = store_.text(themeKey).value_or(QString());
    for (const Theme& theme : Theme::allThemes())
        if (theme.id == stored)
            currentTheme_ = theme;
}

void ThemeManager::setTheme(const QString& id)
{
    assertMainThread();
    for (const Theme& theme : Theme::allThemes()) {
        if (theme.id == id) {
            currentTheme_ = theme;
            emit currentThemeChanged(currentTheme_);
            store_.setText(themeKey, id);
            store_.sync();
            return;
        }
    }
}

} // namespace orvelo

#pragma once

#include "platform/SettingsStore.h"
#include "settings/Theme.h"

#include <QObject>

namespace orvelo {

// Holds the current colour theme for every view and the web API. Not persisted: every run
// starts with "onyx_dark". Main thread only.
class ThemeManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(orvelo::Theme currentTheme READ currentTheme NOTIFY currentThemeChanged)
public:
    static inline const QString themeKey = QStringLiteral("theme");

    explicit ThemeManager(QObject* parent = nullptr);

    const Theme& currentTheme() const { return currentTheme_; }
    // Exact match on the id; an unknown id (a name, say) changes nothing.
    void setTheme(const QString& id);

signals:
    void currentThemeChanged(const orvelo::Theme& theme);

private:
    Theme currentTheme_;
    // The theme survives a restart.
    SettingsStore store_;
};

} // namespace orvelo

#pragma once

#include <QColor>
#include <QObject>
#include <QStringList>

namespace orvelo {

class ThemeManager;

// The current theme as the views read it: six colours, the window's colour scheme, and the
// picker over every theme. Follows the theme manager. Main thread.
class ThemePalette : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor background READ background NOTIFY changed)
    Q_PROPERTY(QColor panelBackground READ panelBackground NOTIFY changed)
    Q_PROPERTY(QColor accent READ accent NOTIFY changed)
    Q_PROPERTY(QColor textPrimary READ textPrimary NOTIFY changed)
    Q_PROPERTY(QColor textSecondary READ textSecondary NOTIFY changed)
    Q_PROPERTY(QColor border READ border NOTIFY changed)
    Q_PROPERTY(QString themeId READ themeId NOTIFY changed)
    Q_PROPERTY(bool isLight READ isLight NOTIFY changed)
    Q_PROPERTY(int themeIndex READ themeIndex WRITE setThemeIndex NOTIFY changed)
    Q_PROPERTY(QStringList themeNames READ themeNames CONSTANT)
public:
    explicit ThemePalette(ThemeManager& themes, QObject* parent = nullptr);

    QColor background() const;
    QColor panelBackground() const;
    QColor accent() const;
    QColor textPrimary() const;
    QColor textSecondary() const;
    QColor border() const;
    QString themeId() const;
    // Light for "daylight" and "soft" themes, dark otherwise.
    bool isLight() const;
    int themeIndex() const;
    void setThemeIndex(int index);
    Q_INVOKABLE void setTheme(const QString& id);
    QStringList themeNames() const;

signals:
    void changed();

private:
    ThemeManager& themes_;
};

} // namespace orvelo

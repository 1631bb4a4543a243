#pragma once

#include <QColor>
#include <QList>
#include <QString>

namespace orvelo {

// A colour theme of the operator's window: opaque RGB colours for six roles.
struct Theme {
    QString id;
    QString name;
    QColor background;
    QColor panelBackground;
    QColor accent;
    QColor textPrimary;
    QColor textSecondary;
    QColor border;

    friend bool operator==(const Theme&, const Theme&) = default;

    // The window uses a light colour scheme for the light themes, a dark one otherwise.
    bool isLight() const { return id.contains(QLatin1String("daylight")) || id.contains(QLatin1String("soft")); }

    // The fixed list, in picker order; the first is the theme every run starts with.
    static const QList<Theme>& allThemes()
    {
        static const QList<Theme> themes = [] {
            const auto rgb = [](double r, double g, double b) { return QColor::fromRgbF(r, g, b); };
            // The named colours white, gray, blue and black are the toolkit's (SVG) ones.
            const QColor white(0xFF, 0xFF, 0xFF);
            const QColor gray(0x80, 0x80, 0x80);
            const QColor blue(0x00, 0x00, 0xFF);
            const QColor black(0x00, 0x00, 0x00);
            return QList<Theme>{
                {QStringLiteral("onyx_dark"), QStringLiteral("Onyx Dark"), rgb(0.05, 0.05, 0.05), rgb(0.12, 0.12, 0.12),
                 rgb(0.8, 0, 0), white, gray, rgb(0.2, 0.2, 0.2)},
                {QStringLiteral("midnight"), QStringLiteral("Midnight"), rgb(0.02, 0.02, 0.05), rgb(0.08, 0.08, 0.15),
                 rgb(0.4, 0.6, 1.0), white, rgb(0.6, 0.6, 0.7), rgb(0.15, 0.15, 0.3)},
                {QStringLiteral("daylight"), QStringLiteral("Daylight"), rgb(0.95, 0.95, 0.95), white, blue, black,
                 gray, rgb(0.85, 0.85, 0.85)},
                {QStringLiteral("soft_white"), QStringLiteral("Soft White"), rgb(0.92, 0.91, 0.9),
                 rgb(0.98, 0.97, 0.96), rgb(0.8, 0.5, 0.2), rgb(0.2, 0.2, 0.2), rgb(0.5, 0.5, 0.5),
                 rgb(0.85, 0.84, 0.82)},
            };
        }();
        return themes;
    }
};

} // namespace orvelo

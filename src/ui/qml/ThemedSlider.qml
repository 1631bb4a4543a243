import QtQuick
import QtQuick.Controls

// A slider with an accent-filled track and a handle that shows in every theme.
Slider {
    palette.dark: theme.accent
    palette.midlight: theme.isLight ? "#c4c4c4" : "#4a4a4a"
    palette.window: theme.isLight ? "white" : "#dcdcdc"
    palette.light: theme.isLight ? "#eeeeee" : "white"
}

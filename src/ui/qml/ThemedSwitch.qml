import QtQuick
import QtQuick.Controls

// A switch whose on and off states read clearly in every theme: accent track when on.
Switch {
    palette.dark: theme.accent
    palette.midlight: theme.isLight ? "#c4c4c4" : "#4a4a4a"
    palette.window: theme.isLight ? "white" : "#dcdcdc"
    palette.light: theme.isLight ? "#eeeeee" : "white"
    palette.mid: theme.border
}

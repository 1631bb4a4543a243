import QtQuick
import QtQuick.Controls
import QtQuick.Window

ApplicationWindow {
    id: window
    objectName: "mainWindow"
    width: 1280
    height: 800
    minimumWidth: 1000
    minimumHeight: 680
    visible: false
    title: "Orvelo"
    color: theme.background

    // Controls of the basic style take their colours from the palette: derive it from the
    // theme, so the light themes get a light scheme and the dark ones a dark scheme.
    palette.window: theme.background
    palette.windowText: theme.textPrimary
    palette.base: theme.panelBackground
    palette.alternateBase: theme.background
    palette.text: theme.textPrimary
    palette.button: theme.panelBackground
    palette.buttonText: theme.textPrimary
    palette.brightText: theme.isLight ? "black" : "white"
    palette.highlight: theme.accent
    palette.highlightedText: "white"
    palette.light: theme.isLight ? "white" : Qt.lighter(theme.panelBackground, 1.6)
    palette.midlight: Qt.lighter(theme.border, 1.2)
    palette.mid: theme.border
    palette.dark: theme.isLight ? Qt.darker(theme.border, 1.4) : Qt.lighter(theme.border, 1.6)
    palette.shadow: "black"
    palette.placeholderText: theme.textSecondary
    palette.toolTipBase: theme.panelBackground
    palette.toolTipText: theme.textPrimary
    palette.disabled.buttonText: theme.textSecondary
    palette.disabled.windowText: theme.textSecondary
    palette.disabled.text: theme.textSecondary

    ContentView {
        id: content
        objectName: "contentView"
        anchors.fill: parent
    }
}

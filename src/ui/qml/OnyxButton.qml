import QtQuick
import QtQuick.Controls

// The window's button look: the theme's panel colour with an accent border; `tint` colours
// the label (the accent when none is given).
Button {
    id: control
    property color tint: theme.textPrimary
    property bool active: false
    property string helpText: ""

    hoverEnabled: true
    ToolTip.visible: helpText.length > 0 && hovered
    ToolTip.text: helpText
    ToolTip.delay: 400
    padding: 8
    leftPadding: 12
    rightPadding: 12
    font.pixelSize: 13

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.enabled ? (control.active ? "white" : control.tint) : theme.textSecondary
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        implicitWidth: 64
        implicitHeight: 32
        radius: 6
        color: control.active ? theme.accent
                              : (control.down ? Qt.darker(theme.panelBackground, 1.2) : theme.panelBackground)
        border.color: control.enabled ? (control.hovered || control.active ? theme.accent : theme.border) : theme.border
        border.width: 1
        opacity: control.enabled ? 1 : 0.6
    }
}

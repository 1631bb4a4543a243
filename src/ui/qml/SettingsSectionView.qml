import QtQuick
import QtQuick.Layouts

// A titled settings panel.
Rectangle {
    id: section
    property string title: ""
    property string icon: ""
    property color iconColor: theme.accent
    default property alias content: body.data

    Layout.fillWidth: true
    implicitHeight: column.implicitHeight + 28
    radius: 8
    color: theme.panelBackground
    border.color: theme.border

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 14
        spacing: 10
        RowLayout {
            spacing: 8
            Symbol { name: section.icon; color: section.iconColor; size: 16 }
            Text {
                text: section.title
                color: theme.textPrimary
                font.pixelSize: 15
                font.bold: true
            }
        }
        ColumnLayout {
            id: body
            Layout.fillWidth: true
            spacing: 8
        }
    }
}

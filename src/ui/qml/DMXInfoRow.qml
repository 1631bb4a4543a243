import QtQuick
import QtQuick.Layouts

// One row of the DMX reference: value range, action and what it does.
RowLayout {
    id: infoRow
    property string range: ""
    property string action: ""
    property string description: ""
    property string color: "gray"
    Layout.fillWidth: true
    spacing: 12

    readonly property var swatches: ({ "red": "#e04040", "orange": "#e09020", "green": "#30b040",
                                       "blue": "#4080f0", "gray": "#909090" })

    Rectangle {
        width: 10; height: 10; radius: 5
        color: swatches[infoRow.color] !== undefined ? swatches[infoRow.color] : "#909090"
    }
    Text {
        text: range
        color: theme.textPrimary
        font.family: "monospace"
        font.pixelSize: 13
        Layout.preferredWidth: 90
    }
    Text {
        text: action
        color: theme.textPrimary
        font.bold: true
        font.pixelSize: 13
        Layout.preferredWidth: 110
    }
    Text {
        text: description
        color: theme.textSecondary
        font.pixelSize: 13
        Layout.fillWidth: true
        wrapMode: Text.WordWrap
    }
}

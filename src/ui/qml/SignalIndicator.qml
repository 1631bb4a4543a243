import QtQuick
import QtQuick.Layouts

// One protocol's signal lamp: lit (alternating with the blink) while packets arrive, red
// otherwise.
RowLayout {
    property string name: ""
    property bool lit: false
    property bool blinkPhase: false
    spacing: 6

    Rectangle {
        objectName: "lamp"
        width: 12
        height: 12
        radius: 6
        color: lit ? (blinkPhase ? "#30e030" : "#149014") : "#d02020"
        border.color: Qt.darker(color, 1.5)
    }
    Text {
        text: name
        color: theme.textPrimary
        font.pixelSize: 13
        font.bold: true
    }
}

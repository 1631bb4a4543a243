import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The CITP traffic log, newest first, over the player.
Popup {
    id: sheet
    signal done()
    parent: Overlay.overlay
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 80 : 900, 980)
    height: Math.min(parent ? parent.height - 80 : 600, 680)
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape
    onClosed: sheet.done()
    background: Rectangle {
        radius: 10
        color: theme.background
        border.color: theme.border
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 10
        RowLayout {
            Layout.fillWidth: true
            Text {
                text: "CITP Traffic Monitor"
                color: theme.textPrimary
                font.pixelSize: 20
                font.bold: true
            }
            Item { Layout.fillWidth: true }
            OnyxButton { text: "Clear"; onClicked: citp.clearLogs() }
            OnyxButton { text: "Done"; tint: theme.accent; onClicked: sheet.close() }
        }
        ListView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 6
            model: citp.logs
            ScrollBar.vertical: ScrollBar {}
            delegate: Rectangle {
                required property var modelData
                width: ListView.view.width
                height: logColumn.implicitHeight + 14
                radius: 6
                color: theme.panelBackground
                border.color: theme.border
                ColumnLayout {
                    id: logColumn
                    anchors.fill: parent
                    anchors.margins: 7
                    spacing: 2
                    RowLayout {
                        spacing: 10
                        Text { text: modelData.time; color: theme.textSecondary; font.family: "monospace"; font.pixelSize: 12 }
                        Text {
                            text: modelData.direction
                            color: modelData.direction.startsWith("Rx") ? "#30a0e0" : "#e09020"
                            font.bold: true
                            font.pixelSize: 12
                        }
                        Text { text: modelData.source; color: theme.textPrimary; font.pixelSize: 12 }
                        Text { text: "Type: " + modelData.type; color: theme.textSecondary; font.pixelSize: 12 }
                    }
                    Text { text: modelData.description; color: theme.textPrimary; font.pixelSize: 13 }
                    Text {
                        visible: modelData.marker.length > 0
                        text: modelData.marker
                        color: theme.accent
                        font.pixelSize: 12
                        font.bold: true
                    }
                }
            }
        }
        Text {
            visible: citp.logs.length === 0
            text: "No packets yet"
            color: theme.textSecondary
            font.pixelSize: 13
        }
    }
}

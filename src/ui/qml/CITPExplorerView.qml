import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The CITP presence: this node's identity and the peers it has heard.
Item {
    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 16

        RowLayout {
            Layout.fillWidth: true
            Text {
                text: "CITP Network"
                color: theme.textPrimary
                font.pixelSize: 24
                font.bold: true
            }
            Rectangle {
                width: 10; height: 10; radius: 5
                color: citp.isListening ? "#30c040" : "#d02020"
                Layout.leftMargin: 12
            }
            Text {
                objectName: "citpState"
                text: citp.isListening ? "Listening" : "Offline"
                color: theme.textSecondary
                font.pixelSize: 14
            }
            Item { Layout.fillWidth: true }
            OnyxButton { text: "Refresh"; onClicked: citp.refresh() }
            OnyxButton { text: "Clear"; onClicked: citp.clearPeers() }
        }

        SettingsSectionView {
            title: "My Identity"
            icon: "play.rectangle.fill"
            GridLayout {
                columns: 2
                columnSpacing: 24
                rowSpacing: 4
                Text { text: "ORVELONODE V.2.0"; color: theme.textPrimary; font.bold: true; font.pixelSize: 14 }
                Text { text: "Type: MediaServer"; color: theme.textSecondary; font.pixelSize: 13 }
                Text { text: "Port: 4809"; color: theme.textSecondary; font.pixelSize: 13 }
                Text { text: "Multicast: 224.0.0.180"; color: theme.textSecondary; font.pixelSize: 13 }
            }
        }

        Text {
            objectName: "peerCount"
            text: citp.peers.length > 0 ? citp.peers.length + " found" : "Scanning for devices..."
            color: theme.textSecondary
            font.pixelSize: 14
        }

        ListView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 8
            model: citp.peers
            ScrollBar.vertical: ScrollBar {}
            delegate: Rectangle {
                required property var modelData
                width: ListView.view.width
                height: 56
                radius: 8
                color: theme.panelBackground
                border.color: theme.border
                RowLayout {
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 12
                    Symbol { name: modelData.symbol; color: theme.accent; size: 22; Layout.preferredWidth: 30 }
                    ColumnLayout {
                        spacing: 2
                        Layout.fillWidth: true
                        Text { text: modelData.name; color: theme.textPrimary; font.pixelSize: 14; font.bold: true }
                        Text {
                            text: modelData.type + " · " + modelData.ip
                            color: theme.textSecondary
                            font.pixelSize: 12
                        }
                    }
                    Text { text: "Last seen " + modelData.lastSeen; color: theme.textSecondary; font.pixelSize: 12 }
                }
            }
        }
    }
}

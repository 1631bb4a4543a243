import QtQuick
import QtQuick.Layouts

// The application's name and version.
Item {
    ColumnLayout {
        anchors.centerIn: parent
        spacing: 12
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            width: 96; height: 96; radius: 22
            color: theme.accent
            Text {
                anchors.centerIn: parent
                text: "▶"
                color: "white"
                font.pixelSize: 44
            }
        }
        Text {
            text: "Orvelo"
            color: theme.textPrimary
            font.pixelSize: 30
            font.bold: true
            Layout.alignment: Qt.AlignHCenter
        }
        Text {
            objectName: "versionText"
            text: "Version " + appVersion
            color: theme.textSecondary
            font.pixelSize: 14
            Layout.alignment: Qt.AlignHCenter
        }
        Text {
            text: "Show-control media player for DMX over Art-Net and sACN"
            color: theme.textSecondary
            font.pixelSize: 13
            Layout.alignment: Qt.AlignHCenter
        }
    }
}

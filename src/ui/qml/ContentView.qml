import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The sidebar of seven entries and the selected entry's view.
Item {
    id: root
    property string selection: "player"
    property bool showSettings: false
    property bool showCITPDebug: false

    readonly property var entries: [
        { label: "Player", tag: "player", symbol: "play.fill" },
        { label: "Playlist", tag: "playlist", symbol: "list.bullet" },
        { label: "Settings", tag: "settings", symbol: "gearshape" },
        { label: "DMX Info", tag: "dmx-info", symbol: "info.circle" },
        { label: "Video Output", tag: "video-output", symbol: "display" },
        { label: "About", tag: "about", symbol: "star" },
        { label: "CITP Explorer", tag: "citp-explorer", symbol: "network" }
    ]
    onShowCITPDebugChanged: if (showCITPDebug) citpSheet.open()

    function indexOf(tag) {
        for (let i = 0; i < entries.length; ++i)
            if (entries[i].tag === tag)
                return i
        return 0
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.preferredWidth: 210
            Layout.fillHeight: true
            color: theme.panelBackground
            Rectangle { anchors.right: parent.right; width: 1; height: parent.height; color: theme.border }

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 12
                spacing: 4
                Text {
                    text: "Orvelonode"
                    color: theme.textPrimary
                    font.pixelSize: 20
                    font.bold: true
                    Layout.bottomMargin: 12
                    Layout.topMargin: 6
                    Layout.leftMargin: 6
                }
                Repeater {
                    model: root.entries
                    delegate: ItemDelegate {
                        required property var modelData
                        objectName: "sidebar_" + modelData.tag
                        Layout.fillWidth: true
                        height: 38
                        highlighted: root.selection === modelData.tag
                        onClicked: root.selection = modelData.tag
                        contentItem: RowLayout {
                            spacing: 10
                            Symbol {
                                name: modelData.symbol
                                size: 15
                                Layout.preferredWidth: 22
                                color: root.selection === modelData.tag ? "white" : theme.accent
                            }
                            Text {
                                text: modelData.label
                                color: root.selection === modelData.tag ? "white" : theme.textPrimary
                                font.pixelSize: 14
                                Layout.fillWidth: true
                            }
                        }
                        background: Rectangle {
                            radius: 6
                            color: root.selection === modelData.tag ? theme.accent
                                 : (parent.hovered ? Qt.rgba(0.5, 0.5, 0.5, 0.15) : "transparent")
                        }
                    }
                }
                Item { Layout.fillHeight: true }
            }
        }

        StackLayout {
            id: stack
            objectName: "contentStack"
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: root.indexOf(root.selection)

            PlayerDetailView { onOpenCITPDebug: root.showCITPDebug = true }
            PlaylistView {}
            SettingsView {}
            DMXInfoView {}
            VideoOutputView { active: root.selection === "video-output" }
            AboutView {}
            CITPExplorerView {}
        }
    }

    CITPDebuggerView {
        id: citpSheet
        objectName: "citpDebugger"
        onDone: root.showCITPDebug = false
    }
}

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Dialogs

// The playlist in order: numbers, titles, durations and loop settings, with reordering,
// removal, importing, saving and loading.
Item {
    id: view

    // The proposed name is set once the dialog is in save mode, in the folder it shows.
    function openSaveDialog() {
        saveDialog.selectedFile = saveDialog.currentFolder + "/playlist.json"
        saveDialog.open()
    }

    FileDialog {
        id: addDialog
        title: "Add Media"
        fileMode: FileDialog.OpenFiles
        nameFilters: ["Media files (*.mp4 *.mov *.m4v *.mkv *.avi *.webm *.mp3 *.wav *.aif *.aiff *.flac *.m4a *.ogg)", "All files (*)"]
        onAccepted: playlistModel.addFiles(selectedFiles)
    }
    FileDialog {
        id: saveDialog
        title: "Choose a location and name for your playlist"
        fileMode: FileDialog.SaveFile
        defaultSuffix: "json"
        nameFilters: ["JSON files (*.json)"]
        onAccepted: playlistModel.savePlaylist(selectedFile)
    }
    FileDialog {
        id: loadDialog
        title: "Load Playlist"
        fileMode: FileDialog.OpenFile
        nameFilters: ["JSON files (*.json)"]
        onAccepted: playlistModel.loadPlaylist(selectedFile)
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 12

        RowLayout {
            Layout.fillWidth: true
            spacing: 10
            Text {
                text: "Playlist"
                color: theme.textPrimary
                font.pixelSize: 24
                font.bold: true
            }
            Text {
                text: playlistModel.count + (playlistModel.count === 1 ? " track" : " tracks")
                color: theme.textSecondary
                font.pixelSize: 14
            }
            Item { Layout.fillWidth: true }
            ThemedSwitch {
                objectName: "autoPlaySwitch"
                text: "Auto-play next"
                checked: playlistModel.autoPlayNext
                onToggled: playlistModel.autoPlayNext = checked
            }
            OnyxButton { objectName: "addMediaButton"; text: "+ Add Media"; enabled: fileDialogsAvailable; onClicked: addDialog.open() }
            OnyxButton { objectName: "savePlaylistButton"; text: "Save Playlist"; enabled: fileDialogsAvailable; onClicked: view.openSaveDialog() }
            OnyxButton { objectName: "loadPlaylistButton"; text: "Load Playlist"; enabled: fileDialogsAvailable; onClicked: loadDialog.open() }
        }

        Text {
            objectName: "playlistStatus"
            visible: playlistModel.status.length > 0
            text: playlistModel.status
            color: playlistModel.statusIsError ? "#e04040" : theme.textSecondary
            font.pixelSize: 13
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.fillHeight: true
            radius: 8
            color: theme.panelBackground
            border.color: drop.containsDrag ? theme.accent : theme.border
            border.width: drop.containsDrag ? 2 : 1

            Text {
                anchors.centerIn: parent
                z: 1
                visible: list.count === 0 || drop.containsDrag
                text: "Drop Media Files Here"
                color: drop.containsDrag ? theme.accent : theme.textSecondary
                font.pixelSize: 18
            }

            DropArea {
                id: drop
                anchors.fill: parent
                keys: ["text/uri-list"]
                onDropped: function (event) {
                    if (event.hasUrls)
                        playlistModel.addFiles(event.urls)
                    event.acceptProposedAction()
                }
            }

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 1
                spacing: 0

                // Column heads.
                RowLayout {
                    Layout.fillWidth: true
                    Layout.leftMargin: 14
                    Layout.rightMargin: 14
                    Layout.topMargin: 8
                    Layout.bottomMargin: 6
                    spacing: 12
                    Text { text: "#"; color: theme.textSecondary; font.pixelSize: 12; Layout.preferredWidth: 28 }
                    Text { text: "Title"; color: theme.textSecondary; font.pixelSize: 12; Layout.fillWidth: true }
                    Text { text: "Duration"; color: theme.textSecondary; font.pixelSize: 12; Layout.preferredWidth: 70 }
                    Text { text: "Loop"; color: theme.textSecondary; font.pixelSize: 12; Layout.preferredWidth: 200 }
                    Item { Layout.preferredWidth: 118 }
                }
                Rectangle { Layout.fillWidth: true; height: 1; color: theme.border }

                ListView {
                    id: list
                    objectName: "playlistList"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: playlistModel
                    ScrollBar.vertical: ScrollBar {}
                    delegate: Rectangle {
                        id: rowItem
                        required property int index
                        required property int number
                        required property string name
                        required property string duration
                        required property string loopText
                        required property int repeatCount
                        required property bool isCurrent
                        required property string problem
                        width: list.width
                        height: 44
                        color: isCurrent ? Qt.rgba(theme.accent.r, theme.accent.g, theme.accent.b, 0.18)
                                         : (index % 2 ? Qt.rgba(0.5, 0.5, 0.5, 0.06) : "transparent")
                        TapHandler { onDoubleTapped: playlistModel.play(rowItem.index) }
                        RowLayout {
                            anchors.fill: parent
                            anchors.leftMargin: 14
                            anchors.rightMargin: 14
                            spacing: 12
                            Text {
                                text: rowItem.number
                                color: theme.textSecondary
                                font.pixelSize: 13
                                Layout.preferredWidth: 28
                            }
                            Text {
                                // A missing file keeps its cue; it shows in red with the reason.
                                text: rowItem.problem.length > 0 ? rowItem.name + "  —  " + rowItem.problem : rowItem.name
                                color: rowItem.problem.length > 0 ? "#ff3b30" : theme.textPrimary
                                font.pixelSize: 14
                                font.bold: rowItem.isCurrent
                                elide: Text.ElideMiddle
                                Layout.fillWidth: true
                            }
                            Text {
                                text: rowItem.duration
                                color: theme.textSecondary
                                font.family: "monospace"
                                font.pixelSize: 13
                                Layout.preferredWidth: 70
                            }
                            RowLayout {
                                Layout.preferredWidth: 200
                                spacing: 6
                                CheckBox {
                                    text: "Infinite"
                                    checked: rowItem.repeatCount === 0
                                    onToggled: playlistModel.setRepeatCount(rowItem.index, checked ? 0 : 1)
                                }
                                SpinBox {
                                    visible: rowItem.repeatCount !== 0
                                    from: 1
                                    to: 99
                                    value: Math.max(1, rowItem.repeatCount)
                                    implicitWidth: 104
                                    onValueModified: playlistModel.setRepeatCount(rowItem.index, value)
                                }
                            }
                            OnyxButton {
                                text: "▲"; implicitWidth: 34; padding: 4
                                enabled: rowItem.index > 0
                                helpText: "Move up"
                                onClicked: playlistModel.moveUp(rowItem.index)
                            }
                            OnyxButton {
                                text: "▼"; implicitWidth: 34; padding: 4
                                enabled: rowItem.index < list.count - 1
                                helpText: "Move down"
                                onClicked: playlistModel.moveDown(rowItem.index)
                            }
                            OnyxButton {
                                text: "✕"; implicitWidth: 34; padding: 4
                                tint: "#e04040"
                                helpText: "Remove"
                                onClicked: playlistModel.remove(rowItem.index)
                            }
                        }
                    }
                }

            }
        }
    }
}

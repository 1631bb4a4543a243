import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// What plays now: title, timecode, the signal lamps, loop badge, the "Next:" line, transport
// and mode buttons.
Item {
    id: view
    signal openCITPDebug()

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 18

        // Track header.
        RowLayout {
            Layout.fillWidth: true
            spacing: 12
            Text {
                objectName: "trackTitle"
                text: player.title
                color: theme.textPrimary
                font.pixelSize: 26
                font.bold: true
                elide: Text.ElideRight
                Layout.fillWidth: true
            }
            Rectangle {
                visible: player.audioOnly
                radius: 10
                color: theme.accent
                implicitWidth: audioRow.implicitWidth + 18
                implicitHeight: 26
                RowLayout {
                    id: audioRow
                    anchors.centerIn: parent
                    Symbol { name: "waveform"; color: "white"; size: 14 }
                    Text { text: "Audio Only"; color: "white"; font.pixelSize: 13; font.bold: true }
                }
            }
        }

        // Timecode and remaining time.
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 150
            radius: 10
            color: theme.panelBackground
            border.color: theme.border
            RowLayout {
                anchors.fill: parent
                anchors.margins: 20
                spacing: 24
                Text {
                    objectName: "timecode"
                    text: player.timecode
                    color: theme.accent
                    font.family: timecodeFontFamily
                    font.pixelSize: 64
                    Layout.alignment: Qt.AlignVCenter
                }
                ColumnLayout {
                    Layout.alignment: Qt.AlignVCenter
                    Text { text: "Remaining"; color: theme.textSecondary; font.pixelSize: 12 }
                    Text {
                        text: player.remaining
                        color: theme.textPrimary
                        font.family: timecodeFontFamily
                        font.pixelSize: 26
                    }
                }
                Item { Layout.fillWidth: true }
                Text {
                    objectName: "loopBadge"
                    text: player.loopBadge
                    color: theme.textPrimary
                    font.pixelSize: 18
                    font.bold: true
                    Layout.alignment: Qt.AlignVCenter
                }
            }
        }

        // Signal row.
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 52
            radius: 10
            color: theme.panelBackground
            border.color: theme.border
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 18
                anchors.rightMargin: 18
                spacing: 22
                SignalIndicator { name: "Art-Net"; lit: player.artNetLit; blinkPhase: player.blinkPhase }
                SignalIndicator { name: "sACN"; lit: player.sACNLit; blinkPhase: player.blinkPhase }
                AbstractButton {
                    objectName: "citpIndicator"
                    implicitWidth: citpLamp.implicitWidth
                    implicitHeight: citpLamp.implicitHeight
                    hoverEnabled: true
                    ToolTip.visible: hovered
                    ToolTip.text: "CITP Traffic Monitor"
                    onClicked: view.openCITPDebug()
                    contentItem: SignalIndicator {
                        id: citpLamp
                        name: "CITP"
                        lit: player.citpLit
                        blinkPhase: player.blinkPhase
                    }
                }
                Item { Layout.fillWidth: true }
                Text {
                    text: "DMX CH: " + player.controlChannel
                    color: theme.textPrimary
                    font.family: "monospace"
                    font.pixelSize: 14
                }
                Text {
                    text: "VAL: " + player.controlValue
                    color: theme.accent
                    font.family: "monospace"
                    font.pixelSize: 14
                    font.bold: true
                }
            }
        }

        // Frames for another universe: the console is on, but not on this player's address.
        Text {
            objectName: "inputNote"
            visible: player.inputNote !== ""
            text: player.inputNote
            color: "#ff9500"
            font.pixelSize: 14
            font.bold: true
            wrapMode: Text.WordWrap
            Layout.fillWidth: true
        }

        // Next line.
        RowLayout {
            spacing: 8
            Text { text: "Next: "; color: theme.textSecondary; font.pixelSize: 15 }
            Symbol { name: player.nextSymbol; color: theme.accent; size: 15 }
            Text {
                objectName: "nextLine"
                text: player.nextText
                color: theme.textPrimary
                font.pixelSize: 15
                elide: Text.ElideRight
                Layout.maximumWidth: 700
            }
        }

        // Transport.
        RowLayout {
            spacing: 14
            OnyxButton {
                objectName: "playPauseButton"
                text: player.isPlaying ? "❚❚" : "▶"
                font.pixelSize: 22
                implicitWidth: 72
                implicitHeight: 52
                tint: theme.accent
                helpText: player.isPlaying ? "Pause" : "Play"
                onClicked: player.playPause()
            }
            OnyxButton {
                objectName: "stopButton"
                text: "■"
                font.pixelSize: 22
                implicitWidth: 72
                implicitHeight: 52
                tint: theme.accent
                helpText: "Stop"
                onClicked: player.stop()
            }
        }

        // Mode buttons.
        Flow {
            Layout.fillWidth: true
            spacing: 10
            ModeButton {
                objectName: "loopTrackButton"
                symbol: "repeat.circle"; label: "Loop Track"
                on: player.loopTrack
                enabled: player.hasTrack
                helpText: "Playlist Loop Mode (Saved per track)"
                onClicked: player.toggleLoopTrack()
            }
            ModeButton {
                objectName: "loopAllButton"
                symbol: "repeat"; label: "Loop All"
                on: player.loopAll
                enabled: player.loopAllEnabled
                helpText: player.loopAllHelp
                onClicked: player.toggleLoopAll()
            }
            ModeButton {
                objectName: "autoButton"
                symbol: player.autoPlay ? "forward.fill" : "forward"; label: "Auto"
                on: player.autoPlay
                enabled: player.autoPlayEnabled
                helpText: player.autoPlayHelp
                onClicked: player.toggleAutoPlay()
            }
            ModeButton {
                objectName: "dmxButton"
                symbol: player.manualMode ? "hand.raised" : "antenna"
                label: player.manualMode ? "Manual" : "DMX"
                on: !player.manualMode
                helpText: player.dmxHelp
                onClicked: player.toggleDMX()
            }
            ModeButton {
                objectName: "muteButton"
                symbol: player.muted ? "speaker.slash.fill" : "speaker.wave.2.fill"
                label: player.muted ? "Muted" : "Sound"
                on: player.muted
                helpText: player.muted ? "Unmute" : "Mute"
                onClicked: player.toggleMute()
            }
            ModeButton {
                objectName: "backgroundVideoButton"
                symbol: "rectangle.on.rectangle"; label: "BG Video"
                on: player.showBackgroundVideo
                helpText: "Toggle background video for audio tracks"
                onClicked: player.toggleBackgroundVideo()
            }
        }

        Text {
            objectName: "modeHelp"
            text: player.loopAllEnabled ? "" : player.loopAllHelp + " · " + player.autoPlayHelp
            visible: text.length > 0
            color: theme.textSecondary
            font.pixelSize: 12
        }

        Item { Layout.fillHeight: true }
    }

    component ModeButton: OnyxButton {
        id: modeButton
        property string symbol: ""
        property string label: ""
        property bool on: false
        active: on
        implicitWidth: 104
        implicitHeight: 64
        contentItem: ColumnLayout {
            spacing: 2
            Symbol {
                name: modeButton.symbol
                size: 18
                color: modeButton.enabled ? (modeButton.on ? "white" : theme.accent) : theme.textSecondary
                Layout.alignment: Qt.AlignHCenter
            }
            Text {
                text: modeButton.label
                font.pixelSize: 12
                color: modeButton.enabled ? (modeButton.on ? "white" : theme.textPrimary) : theme.textSecondary
                Layout.alignment: Qt.AlignHCenter
            }
        }
    }
}

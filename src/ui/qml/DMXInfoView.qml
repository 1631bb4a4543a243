import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// The channel layout of the current configuration, as the controller decodes it.
Item {
    ScrollView {
        id: scroll
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        ColumnLayout {
            width: scroll.availableWidth - 48
            x: 24
            y: 24
            spacing: 16

            Text {
                text: "DMX Info"
                color: theme.textPrimary
                font.pixelSize: 24
                font.bold: true
            }

            SettingsSectionView {
                title: "Control Channel (Ch " + dmxReference.controlChannel + ")"
                icon: "slider.horizontal.3"
                objectName: "controlSection"
                Repeater {
                    model: dmxReference.controlRows
                    delegate: DMXInfoRow {
                        required property var modelData
                        range: modelData.range
                        action: modelData.action
                        description: modelData.description
                        color: modelData.color
                    }
                }
            }

            SettingsSectionView {
                title: "Track Selection (DMX 11-245)"
                icon: "list.bullet"
                Repeater {
                    model: ["Track Index = (DMX Value - 11) / 10", "Each track has a 10-value range",
                            "Maximum 24 tracks (11-245)", "Any value in the range triggers the track",
                            "Track plays only if it exists in playlist"]
                    delegate: Text {
                        required property string modelData
                        text: "• " + modelData
                        color: theme.textPrimary
                        font.pixelSize: 13
                    }
                }
                Text {
                    text: "Track 1 = 11-20, Track 2 = 21-30, Track 3 = 31-40 ... Track 24 = 241-245"
                    color: theme.textSecondary
                    font.pixelSize: 12
                }
            }

            SettingsSectionView {
                visible: dmxReference.hasLoopChannel
                title: "Loop Channel (Ch " + dmxReference.loopChannel + ")"
                icon: "repeat"
                Text {
                    text: "Current Loop DMX Value: " + dmxReference.currentLoopDMXValue
                    color: theme.accent
                    font.pixelSize: 13
                    font.bold: true
                }
                Text {
                    text: "Each +10 = +1 loop"
                    color: theme.textSecondary
                    font.pixelSize: 12
                }
                Text {
                    visible: !dmxReference.loopChannelReceived
                    text: "Channel " + dmxReference.loopChannel + " lies past 512: the loop channel is never received."
                    color: "#e09020"
                    font.pixelSize: 12
                }
                Flow {
                    Layout.fillWidth: true
                    spacing: 6
                    Repeater {
                        model: dmxReference.loopRows
                        delegate: Rectangle {
                            required property var modelData
                            radius: 4
                            color: theme.background
                            border.color: theme.border
                            implicitWidth: loopText.implicitWidth + 16
                            implicitHeight: loopText.implicitHeight + 10
                            Text {
                                id: loopText
                                anchors.centerIn: parent
                                text: modelData.range + ": " + modelData.description
                                color: theme.textPrimary
                                font.pixelSize: 12
                            }
                        }
                    }
                }
            }

            SettingsSectionView {
                visible: dmxReference.hasEffectChannels
                title: "Video Effects (Ch " + dmxReference.effectChannels + ")"
                icon: "slider.horizontal.3"
                Text {
                    text: "0-4: no change · 5-9: reset · 10-255: set"
                    color: theme.textSecondary
                    font.pixelSize: 12
                }
                Text {
                    visible: !dmxReference.effectChannelsReceived
                    text: "The footprint runs past channel 512: the effect channels only act when all sixteen are received, so they do nothing at this start channel."
                    color: "#e09020"
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    Layout.fillWidth: true
                }
                Repeater {
                    model: dmxReference.effectRows
                    delegate: RowLayout {
                        required property var modelData
                        Layout.fillWidth: true
                        spacing: 12
                        Text {
                            text: "Ch " + modelData.channel
                            color: theme.textSecondary
                            font.family: "monospace"
                            font.pixelSize: 13
                            Layout.preferredWidth: 70
                        }
                        Text {
                            text: modelData.parameter
                            color: theme.textPrimary
                            font.bold: true
                            font.pixelSize: 13
                            Layout.preferredWidth: 140
                        }
                        Text {
                            text: modelData.mapped
                            color: theme.textPrimary
                            font.pixelSize: 13
                            wrapMode: Text.WordWrap
                            Layout.fillWidth: true
                        }
                        Text {
                            text: modelData.reset
                            color: theme.textSecondary
                            font.pixelSize: 12
                            Layout.preferredWidth: 110
                        }
                    }
                }
            }
            Item { implicitHeight: 24 }
        }
    }
}

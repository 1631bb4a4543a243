import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Dialogs
import Orvelo

// The output: a monitor of the picture, the output screen, the patterns for audio tracks and
// the live effects.
Item {
    id: view
    property bool active: false
    onActiveChanged: active ? outputModel.appear() : outputModel.disappear()

    ColorDialog {
        id: colour1Dialog
        title: "Pattern Color 1"
        selectedColor: patternSettings.patternColor1
        onAccepted: patternSettings.patternColor1 = selectedColor
    }
    ColorDialog {
        id: colour2Dialog
        title: "Pattern Color 2"
        selectedColor: patternSettings.patternColor2
        onAccepted: patternSettings.patternColor2 = selectedColor
    }

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

            RowLayout {
                Layout.fillWidth: true
                spacing: 16

                // Monitor.
                Rectangle {
                    Layout.preferredWidth: 480
                    Layout.preferredHeight: 270
                    color: "black"
                    border.color: theme.border
                    OutputPreview {
                        objectName: "outputPreview"
                        anchors.fill: parent
                        anchors.margins: 1
                        output: outputModel
                        visible: view.active
                    }
                }

                // Screen.
                SettingsSectionView {
                    title: "Output Screen"
                    icon: "display"
                    Layout.alignment: Qt.AlignTop
                    ComboBox {
                        objectName: "screenPicker"
                        model: outputModel.screenNames
                        currentIndex: outputModel.selectedScreen
                        onActivated: function (index) { outputModel.selectedScreen = index }
                        Layout.fillWidth: true
                    }
                    RowLayout {
                        spacing: 8
                        OnyxButton { text: "Open Fullscreen"; tint: theme.accent; onClicked: outputModel.openFullscreen() }
                        OnyxButton {
                            text: "Close External"
                            enabled: outputModel.externalOpen
                            onClicked: outputModel.closeExternal()
                        }
                    }
                    Text {
                        text: outputModel.externalOpen ? "Output window open (Esc or double click closes it)" : "No output window"
                        color: theme.textSecondary
                        font.pixelSize: 12
                        wrapMode: Text.WordWrap
                        Layout.fillWidth: true
                    }
                }
            }

            SettingsSectionView {
                title: "Pattern (audio tracks)"
                icon: "waveform"
                GridLayout {
                    columns: 4
                    columnSpacing: 14
                    rowSpacing: 8
                    Layout.fillWidth: true

                    Label { text: "Pattern" }
                    ComboBox {
                        objectName: "patternPicker"
                        model: outputModel.patternNames
                        currentIndex: outputModel.selectedPattern
                        onActivated: function (index) { outputModel.selectedPattern = index }
                        Layout.fillWidth: true
                    }
                    ThemedSwitch {
                        text: "Auto-Rotate"
                        checked: patternSettings.patternAutoRotate
                        onToggled: patternSettings.patternAutoRotate = checked
                    }
                    RowLayout {
                        Label { text: "Interval" }
                        SpinBox {
                            from: 1; to: 600
                            value: patternSettings.patternRotateInterval
                            onValueModified: patternSettings.patternRotateInterval = value
                        }
                        Label { text: "s" }
                    }

                    ThemedSwitch {
                        Layout.columnSpan: 2
                        text: "Audio Reactive"
                        checked: patternSettings.audioReactiveEnabled
                        onToggled: patternSettings.audioReactiveEnabled = checked
                    }
                    RowLayout {
                        Layout.columnSpan: 2
                        spacing: 8
                        Label { text: "Colors" }
                        ColourSwatch { colour: patternSettings.patternColor1; onClicked: colour1Dialog.open() }
                        ColourSwatch { colour: patternSettings.patternColor2; onClicked: colour2Dialog.open() }
                    }

                    Label { text: "Speed: " + patternSettings.patternSpeed.toFixed(1) + "x" }
                    ThemedSlider {
                        from: 0.1; to: 3.0
                        value: patternSettings.patternSpeed
                        onMoved: patternSettings.patternSpeed = value
                        Layout.fillWidth: true
                    }
                    Label { text: "Size: " + patternSettings.patternSize.toFixed(0) }
                    ThemedSlider {
                        from: 1; to: 100
                        value: patternSettings.patternSize
                        onMoved: patternSettings.patternSize = value
                        Layout.fillWidth: true
                    }
                    Label { text: "Gap: " + patternSettings.patternGap.toFixed(0) }
                    ThemedSlider {
                        from: 0; to: 100
                        value: patternSettings.patternGap
                        onMoved: patternSettings.patternGap = value
                        Layout.fillWidth: true
                    }
                }
            }

            RowLayout {
                OnyxButton {
                    objectName: "effectsToggle"
                    text: outputModel.showEffects ? "Hide Effects" : "Show Effects"
                    onClicked: outputModel.showEffects = !outputModel.showEffects
                }
            }

            SettingsSectionView {
                visible: outputModel.showEffects
                title: "Video Effects"
                icon: "slider.horizontal.3"
                GridLayout {
                    columns: 4
                    columnSpacing: 14
                    rowSpacing: 6
                    Layout.fillWidth: true

                    Label { text: "Speed"; Layout.preferredWidth: 50 }
                    ThemedSlider {
                        from: 0.5; to: 2.0; value: effects.playbackSpeed
                        onMoved: effects.playbackSpeed = value
                        Layout.fillWidth: true
                    }
                    Label { text: effects.playbackSpeed.toFixed(1) + "x"; Layout.preferredWidth: 50 }
                    Item { Layout.fillWidth: true }

                    Label { text: "Bright" }
                    ThemedSlider {
                        from: -1; to: 1; value: effects.brightness
                        onMoved: effects.brightness = value
                        Layout.fillWidth: true
                    }
                    Label { text: (effects.brightness >= 0 ? "+" : "") + effects.brightness.toFixed(1) }
                    Item {}

                    Label { text: "Satur" }
                    ThemedSlider {
                        from: 0; to: 2; value: effects.saturation
                        onMoved: effects.saturation = value
                        Layout.fillWidth: true
                    }
                    Label { text: effects.saturation.toFixed(1) }
                    Item {}

                    Label { text: "Alpha" }
                    ThemedSlider {
                        from: 0; to: 1; value: effects.alpha
                        onMoved: effects.alpha = value
                        Layout.fillWidth: true
                    }
                    Label { text: (effects.alpha * 100).toFixed(0) + "%" }
                    Item {}
                }
                RowLayout {
                    spacing: 12
                    ThemedSwitch { text: "Invert"; checked: effects.isInverted; onToggled: effects.isInverted = checked }
                    CheckBox { text: "R"; checked: effects.redEnabled; onToggled: effects.redEnabled = checked }
                    CheckBox { text: "G"; checked: effects.greenEnabled; onToggled: effects.greenEnabled = checked }
                    CheckBox { text: "B"; checked: effects.blueEnabled; onToggled: effects.blueEnabled = checked }
                    Item { Layout.fillWidth: true }
                    OnyxButton { text: "Reset"; onClicked: outputModel.resetEffects() }
                }
                Label { text: "Time Shift (Frames)"; font.bold: true }
                RowLayout {
                    spacing: 12
                    ShiftBox { label: "R"; value: effects.redTimeShift; onEdited: function (v) { effects.redTimeShift = v } }
                    ShiftBox { label: "G"; value: effects.greenTimeShift; onEdited: function (v) { effects.greenTimeShift = v } }
                    ShiftBox { label: "B"; value: effects.blueTimeShift; onEdited: function (v) { effects.blueTimeShift = v } }
                }
                Label { text: "Offsets (X/Y)"; font.bold: true }
                GridLayout {
                    columns: 3
                    columnSpacing: 12
                    Layout.fillWidth: true
                    OffsetSlider { label: "R X"; value: effects.redHorizontalOffset; onMoved: function (v) { effects.redHorizontalOffset = v } }
                    OffsetSlider { label: "G X"; value: effects.greenHorizontalOffset; onMoved: function (v) { effects.greenHorizontalOffset = v } }
                    OffsetSlider { label: "B X"; value: effects.blueHorizontalOffset; onMoved: function (v) { effects.blueHorizontalOffset = v } }
                    OffsetSlider { label: "R Y"; value: effects.redVerticalOffset; onMoved: function (v) { effects.redVerticalOffset = v } }
                    OffsetSlider { label: "G Y"; value: effects.greenVerticalOffset; onMoved: function (v) { effects.greenVerticalOffset = v } }
                    OffsetSlider { label: "B Y"; value: effects.blueVerticalOffset; onMoved: function (v) { effects.blueVerticalOffset = v } }
                }
            }
            Item { implicitHeight: 24 }
        }
    }

    component ColourSwatch: Rectangle {
        id: swatch
        property color colour: "black"
        signal clicked()
        width: 28; height: 20; radius: 4
        color: colour
        border.color: theme.border
        TapHandler { onTapped: swatch.clicked() }
    }

    component ShiftBox: RowLayout {
        id: shift
        property string label: ""
        property int value: 0
        signal edited(int value)
        Label { text: shift.label }
        SpinBox {
            from: 0; to: 59
            value: shift.value
            onValueModified: shift.edited(value)
        }
    }

    component OffsetSlider: RowLayout {
        id: offset
        property string label: ""
        property real value: 0
        signal moved(real value)
        Layout.fillWidth: true
        Label { text: offset.label; Layout.preferredWidth: 28 }
        ThemedSlider {
            from: -50; to: 50
            value: offset.value
            onMoved: offset.moved(value)
            Layout.fillWidth: true
        }
        Label { text: offset.value.toFixed(0); Layout.preferredWidth: 28 }
    }
}

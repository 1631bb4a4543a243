import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Dialogs

// Every setting, one titled panel per subject.
Item {
    id: view

    FileDialog {
        id: videoDialog
        title: "Select Video"
        fileMode: FileDialog.OpenFile
        nameFilters: ["Video files (*.mp4 *.mov *.m4v *.mkv *.avi *.webm)", "All files (*)"]
        onAccepted: settingsModel.selectDefaultVideo(selectedFile)
    }
    FolderDialog {
        id: rootDialog
        title: "Library Root"
        onAccepted: webAccessModel.addLibraryRoot(selectedFolder)
    }
    FolderDialog {
        id: folderDialog
        title: "Media Library Folder"
        onAccepted: settingsModel.mediaFolder = decodeURIComponent(selectedFolder.toString().replace(/^file:\/\//, ""))
    }

    ScrollView {
        id: scroll
        objectName: "settingsScroll"
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true

        GridLayout {
            width: scroll.availableWidth - 48
            x: 24
            y: 24
            columns: 2
            columnSpacing: 16
            rowSpacing: 16

            SettingsSectionView {
                title: "Theme"
                icon: "paintpalette"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                ComboBox {
                    objectName: "themePicker"
                    model: theme.themeNames
                    currentIndex: theme.themeIndex
                    onActivated: function (index) { theme.themeIndex = index }
                    Layout.fillWidth: true
                }
            }

            SettingsSectionView {
                title: "Protocol Selection"
                icon: "antenna"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                LabeledRow {
                    label: "Input Protocol"
                    ComboBox {
                        model: settingsModel.protocolNames
                        currentIndex: settingsModel.inputProtocol
                        onActivated: function (index) { settingsModel.inputProtocol = index }
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "Output Protocol"
                    ComboBox {
                        model: settingsModel.protocolNames
                        currentIndex: settingsModel.outputProtocol
                        onActivated: function (index) { settingsModel.outputProtocol = index }
                        Layout.fillWidth: true
                    }
                }
            }

            SettingsSectionView {
                title: "DMX Configuration"
                icon: "slider.horizontal.3"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                Layout.rowSpan: 2
                DMXStepperRow {
                    label: "Universe"; from: 0; to: 15
                    value: settingsModel.universe
                    onEdited: function (v) { settingsModel.universe = v }
                }
                DMXStepperRow {
                    label: "Subnet"; from: 0; to: 15
                    value: settingsModel.subnet
                    onEdited: function (v) { settingsModel.subnet = v }
                }
                DMXStepperRow {
                    label: "Start Channel"; from: 1; to: 512
                    value: settingsModel.startChannel
                    onEdited: function (v) { settingsModel.startChannel = v }
                }
                LabeledRow {
                    label: "Mode"
                    ComboBox {
                        objectName: "modePicker"
                        model: settingsModel.modeNames
                        currentIndex: settingsModel.mode
                        onActivated: function (index) { settingsModel.mode = index }
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "Channels Used:"
                    Text {
                        objectName: "channelsUsed"
                        text: settingsModel.channelsUsed
                        color: theme.accent
                        font.bold: true
                        font.pixelSize: 14
                    }
                }
                LabeledRow {
                    label: "Frame Rate"
                    ComboBox {
                        model: settingsModel.frameRateNames
                        currentIndex: settingsModel.frameRate
                        onActivated: function (index) { settingsModel.frameRate = index }
                        Layout.fillWidth: true
                    }
                }
            }

            SettingsSectionView {
                title: "Default Video for Audio"
                icon: "tv"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                RowLayout {
                    spacing: 8
                    Text {
                        visible: settingsModel.hasDefaultVideo
                        text: settingsModel.defaultVideoName
                        color: theme.textPrimary
                        font.pixelSize: 13
                        elide: Text.ElideMiddle
                        Layout.fillWidth: true
                    }
                    OnyxButton {
                        text: settingsModel.hasDefaultVideo ? "Change Video" : "Select Video..."
                        enabled: fileDialogsAvailable
                        onClicked: videoDialog.open()
                    }
                    OnyxButton {
                        visible: settingsModel.hasDefaultVideo
                        text: "Remove"
                        tint: "#e04040"
                        onClicked: settingsModel.removeDefaultVideo()
                    }
                }
                ThemedSwitch {
                    text: "Show default video in player"
                    checked: settingsModel.showDefaultVideoInPlayer
                    onToggled: settingsModel.showDefaultVideoInPlayer = checked
                }
                Text {
                    visible: !settingsModel.hasDefaultVideo
                    text: "No video selected. Audio files will show patterns instead."
                    color: theme.textSecondary
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    Layout.fillWidth: true
                }
            }

            SettingsSectionView {
                title: "Prevent Display Sleep"
                icon: "display"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                ThemedSwitch {
                    text: "Keep the display awake"
                    checked: settingsModel.preventSleep
                    onToggled: settingsModel.preventSleep = checked
                }
            }

            SettingsSectionView {
                title: "Web Remote"
                icon: "network"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                RowLayout {
                    spacing: 8
                    Rectangle {
                        width: 10; height: 10; radius: 5
                        color: settingsModel.webRunning ? "#30c040" : "#d02020"
                    }
                    Text {
                        objectName: "webRemoteState"
                        text: settingsModel.webRunning ? "Web Remote Active" : "Web Remote Stopped"
                        color: theme.textPrimary
                        font.pixelSize: 14
                        font.bold: true
                    }
                }
                Text {
                    text: settingsModel.webRunning ? "Listening on " + settingsModel.webURL : "Not Listening"
                    color: theme.textSecondary
                    font.pixelSize: 13
                }
                Text {
                    objectName: "openDoorWarning"
                    visible: !webAccessModel.passwordSet
                    text: "Anyone on this network can control this player: set a password below"
                    color: "#ff9500"
                    font.pixelSize: 13
                    font.bold: true
                    wrapMode: Text.WordWrap
                    Layout.fillWidth: true
                }
                Text {
                    text: "Open in browser on any device in the same network"
                    color: theme.textSecondary
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    Layout.fillWidth: true
                }
                RowLayout {
                    spacing: 14
                    ColumnLayout {
                        Layout.alignment: Qt.AlignTop
                        Layout.fillWidth: true
                        Repeater {
                            model: settingsModel.accessibleURLs
                            delegate: TextEdit {
                                required property string modelData
                                text: modelData
                                readOnly: true
                                selectByMouse: true
                                color: theme.accent
                                font.pixelSize: 14
                                font.family: "monospace"
                            }
                        }
                        OnyxButton {
                            text: "Copy URL"
                            onClicked: settingsModel.copyToClipboard(settingsModel.accessibleURLs[0])
                        }
                    }
                    ColumnLayout {
                        spacing: 4
                        Image {
                            objectName: "qrCode"
                            source: "image://qr/" + encodeURIComponent(settingsModel.accessibleURLs[0])
                            sourceSize.width: 120
                            sourceSize.height: 120
                            Layout.preferredWidth: 120
                            Layout.preferredHeight: 120
                            smooth: false
                        }
                        Text {
                            text: "Scan with phone"
                            color: theme.textSecondary
                            font.pixelSize: 11
                            Layout.alignment: Qt.AlignHCenter
                        }
                    }
                }
            }

            SettingsSectionView {
                title: "NDI Output"
                icon: "tv"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                ThemedSwitch {
                    objectName: "ndiSwitch"
                    text: "Enable NDI Output"
                    checked: settingsModel.ndiEnabled
                    onToggled: settingsModel.ndiEnabled = checked
                }
                LabeledRow {
                    label: "Frame Rate"
                    ComboBox {
                        model: settingsModel.ndiFpsNames
                        currentIndex: settingsModel.ndiFps
                        onActivated: function (index) { settingsModel.ndiFps = index }
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "Resolution Scale"
                    ComboBox {
                        model: settingsModel.ndiScaleNames
                        currentIndex: settingsModel.ndiScale
                        onActivated: function (index) { settingsModel.ndiScale = index }
                        Layout.fillWidth: true
                    }
                }
                Text {
                    visible: settingsModel.ndiEnabled
                    text: "Broadcasting as 'Orvelo'"
                    color: "#30c040"
                    font.pixelSize: 13
                }
            }

            SettingsSectionView {
                title: "Network Interface"
                icon: "network"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                ComboBox {
                    model: settingsModel.interfaceNames
                    currentIndex: settingsModel.interfaceIndex
                    onActivated: function (index) { settingsModel.interfaceIndex = index }
                    Layout.fillWidth: true
                }
                OnyxButton {
                    text: "Restart Network"
                    onClicked: settingsModel.restartNetwork()
                }
            }

            SettingsSectionView {
                title: "Timecode Source"
                icon: "clock"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                ComboBox {
                    objectName: "timecodeSource"
                    model: timecodeModel.sourceNames
                    currentIndex: timecodeModel.sourceIndex
                    onActivated: function (index) { timecodeModel.sourceIndex = index }
                    Layout.fillWidth: true
                }
                LabeledRow {
                    label: "Offset"
                    TextField {
                        text: timecodeModel.offset
                        inputMethodHints: Qt.ImhPreferNumbers
                        onEditingFinished: if (!timecodeModel.setOffset(text)) text = timecodeModel.offset
                        Layout.fillWidth: true
                    }
                }
                ThemedSwitch {
                    text: "Selected track follows (hour ignored)"
                    checked: timecodeModel.followSelectedTrack
                    onToggled: timecodeModel.followSelectedTrack = checked
                }
                LabeledRow {
                    label: "Freewheel Frames"
                    SpinBox {
                        from: 0
                        to: timecodeModel.maximumFreewheelFrames
                        value: timecodeModel.freewheelFrames
                        onValueModified: timecodeModel.freewheelFrames = value
                    }
                }
                LabeledRow {
                    label: "LTC In Device"
                    TextField {
                        objectName: "ltcInDevice"
                        text: timecodeModel.ltcInDevice
                        placeholderText: "default"
                        onEditingFinished: timecodeModel.ltcInDevice = text
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "LTC In Channel"
                    SpinBox {
                        from: 1
                        to: timecodeModel.maximumLtcChannel
                        value: timecodeModel.ltcInChannel
                        onValueModified: timecodeModel.ltcInChannel = value
                    }
                }
                Text {
                    text: timecodeModel.status
                    color: theme.textSecondary
                    font.pixelSize: 13
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
                ThemedSwitch {
                    objectName: "ltcOutEnabled"
                    text: "Send LTC"
                    checked: timecodeModel.ltcOutEnabled
                    onToggled: timecodeModel.ltcOutEnabled = checked
                }
                LabeledRow {
                    label: "LTC Out Device"
                    TextField {
                        text: timecodeModel.ltcOutDevice
                        placeholderText: "default"
                        onEditingFinished: timecodeModel.ltcOutDevice = text
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "LTC Out Channel"
                    SpinBox {
                        from: 1
                        to: timecodeModel.maximumLtcChannel
                        value: timecodeModel.ltcOutChannel
                        onValueModified: timecodeModel.ltcOutChannel = value
                    }
                }
                Text {
                    text: timecodeModel.ltcOutStatus
                    color: theme.textSecondary
                    font.pixelSize: 13
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }

            SettingsSectionView {
                title: "Sync Group"
                icon: "clock"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                ComboBox {
                    objectName: "syncRole"
                    model: syncModel.roleNames
                    currentIndex: syncModel.roleIndex
                    onActivated: function (index) { syncModel.roleIndex = index }
                    Layout.fillWidth: true
                }
                LabeledRow {
                    label: "Leader"
                    TextField {
                        text: syncModel.leader
                        placeholderText: "10.0.0.5"
                        onEditingFinished: if (!syncModel.setLeader(text)) text = syncModel.leader
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "Group"
                    TextField {
                        text: syncModel.group
                        onEditingFinished: if (!syncModel.setGroup(text)) text = syncModel.group
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "Key"
                    TextField {
                        echoMode: TextInput.Password
                        placeholderText: syncModel.keySet ? "set (type to replace)" : "not set"
                        onEditingFinished: if (text.length > 0) { syncModel.setKey(text); text = "" }
                        Layout.fillWidth: true
                    }
                }
                LabeledRow {
                    label: "Lead Time (ms)"
                    SpinBox {
                        from: syncModel.minimumLeadTimeMs
                        to: syncModel.maximumLeadTimeMs
                        stepSize: 10
                        value: syncModel.leadTimeMs
                        onValueModified: syncModel.leadTimeMs = value
                    }
                }
                Text {
                    text: syncModel.status
                    color: theme.textSecondary
                    font.pixelSize: 13
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }

            SettingsSectionView {
                title: "Media Library"
                icon: "folder"
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 1
                RowLayout {
                    spacing: 8
                    TextField {
                        objectName: "mediaFolderField"
                        text: settingsModel.mediaFolder
                        selectByMouse: true
                        Layout.fillWidth: true
                        onEditingFinished: settingsModel.mediaFolder = text
                    }
                    OnyxButton { text: "Choose..."; enabled: fileDialogsAvailable; onClicked: folderDialog.open() }
                }
                Text {
                    text: "Where uploads from the web remote are stored."
                    color: theme.textSecondary
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                    Layout.fillWidth: true
                }
            }

            SettingsSectionView {
                objectName: "webAccessSection"
                title: "Web Remote Access"
                icon: "hand.raised"
                Layout.columnSpan: 2
                Layout.alignment: Qt.AlignTop
                GridLayout {
                    columns: 2
                    columnSpacing: 24
                    rowSpacing: 10
                    Layout.fillWidth: true

                    ColumnLayout {
                        Layout.alignment: Qt.AlignTop
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        Text {
                            objectName: "passwordState"
                            text: webAccessModel.passwordSet ? "Password set: phones log in first"
                                                             : "No password: anyone on this network can control this player"
                            color: webAccessModel.passwordSet ? theme.textPrimary : "#ff9500"
                            font.pixelSize: 13
                            font.bold: true
                            wrapMode: Text.WordWrap
                            Layout.fillWidth: true
                        }
                        RowLayout {
                            TextField {
                                id: newPassword
                                placeholderText: "New password"
                                echoMode: TextInput.Password
                                Layout.fillWidth: true
                            }
                            TextField {
                                id: confirmPassword
                                placeholderText: "Repeat it"
                                echoMode: TextInput.Password
                                Layout.fillWidth: true
                            }
                        }
                        RowLayout {
                            OnyxButton {
                                text: webAccessModel.passwordSet ? "Change Password" : "Set Password"
                                enabled: !webAccessModel.busy && newPassword.text.length > 0
                                onClicked: {
                                    webAccessModel.setPassword(newPassword.text, confirmPassword.text)
                                    newPassword.text = ""
                                    confirmPassword.text = ""
                                }
                            }
                            OnyxButton {
                                text: "Remove Password"
                                visible: webAccessModel.passwordSet
                                onClicked: webAccessModel.removePassword()
                            }
                        }
                        Text {
                            objectName: "webAccessMessage"
                            text: webAccessModel.message
                            visible: text.length > 0
                            color: theme.accent
                            font.pixelSize: 12
                            wrapMode: Text.WordWrap
                            Layout.fillWidth: true
                        }
                        LabeledRow {
                            label: "Listen on"
                            ComboBox {
                                model: webAccessModel.interfaceNames
                                currentIndex: webAccessModel.interfaceIndex
                                onActivated: function (index) { webAccessModel.interfaceIndex = index }
                                Layout.fillWidth: true
                            }
                        }
                        LabeledRow {
                            label: "Transport pause (s)"
                            SpinBox {
                                from: 0; to: 100; stepSize: 1
                                value: Math.round(webAccessModel.transportMinInterval * 10)
                                textFromValue: function (v) { return (v / 10).toFixed(1) }
                                valueFromText: function (t) { return Math.round(parseFloat(t) * 10) }
                                onValueModified: webAccessModel.transportMinInterval = value / 10
                            }
                        }
                        LabeledRow {
                            label: "Session idle (h)"
                            SpinBox {
                                from: 1; to: 2160
                                value: Math.max(1, Math.round(webAccessModel.sessionIdleHours))
                                onValueModified: webAccessModel.sessionIdleHours = value
                            }
                        }
                    }

                    ColumnLayout {
                        Layout.alignment: Qt.AlignTop
                        Layout.fillWidth: true
                        Layout.preferredWidth: 1
                        RowLayout {
                            spacing: 14
                            Image {
                                objectName: "viewerQrCode"
                                source: "image://qr/" + encodeURIComponent(webAccessModel.viewerLink)
                                sourceSize.width: 110
                                sourceSize.height: 110
                                Layout.preferredWidth: 110
                                Layout.preferredHeight: 110
                                smooth: false
                            }
                            ColumnLayout {
                                Layout.fillWidth: true
                                Text {
                                    text: "Viewer link: pages only, no control (a stage manager, a director)"
                                    color: theme.textSecondary
                                    font.pixelSize: 12
                                    wrapMode: Text.WordWrap
                                    Layout.fillWidth: true
                                }
                                TextEdit {
                                    text: webAccessModel.viewerLink
                                    readOnly: true
                                    selectByMouse: true
                                    color: theme.accent
                                    font.pixelSize: 12
                                    font.family: "monospace"
                                    wrapMode: TextEdit.WrapAnywhere
                                    Layout.fillWidth: true
                                }
                                RowLayout {
                                    OnyxButton { text: "Copy"; onClicked: settingsModel.copyToClipboard(webAccessModel.viewerLink) }
                                    OnyxButton { text: "New Link"; onClicked: webAccessModel.renewViewerLink() }
                                }
                            }
                        }
                        Text {
                            text: "Tokens for scripts and show control (Authorization: Bearer)"
                            color: theme.textSecondary
                            font.pixelSize: 12
                        }
                        Repeater {
                            model: webAccessModel.tokens
                            delegate: RowLayout {
                                required property string modelData
                                required property int index
                                Text { text: modelData; color: theme.textPrimary; font.pixelSize: 13; Layout.fillWidth: true }
                                OnyxButton { text: "Revoke"; onClicked: webAccessModel.revokeToken(index) }
                            }
                        }
                        RowLayout {
                            TextField { id: tokenName; placeholderText: "Token name"; Layout.fillWidth: true }
                            CheckBox { id: tokenViewer; text: "View only" }
                            OnyxButton {
                                text: "Create"
                                enabled: tokenName.text.length > 0
                                onClicked: { webAccessModel.createToken(tokenName.text, tokenViewer.checked); tokenName.text = "" }
                            }
                        }
                        TextEdit {
                            objectName: "newToken"
                            visible: webAccessModel.newToken.length > 0
                            text: webAccessModel.newToken
                            readOnly: true
                            selectByMouse: true
                            color: theme.accent
                            font.family: "monospace"
                            font.pixelSize: 12
                        }
                        Text {
                            text: "Library roots: the web remote may move the media folder only inside these"
                            color: theme.textSecondary
                            font.pixelSize: 12
                            wrapMode: Text.WordWrap
                            Layout.fillWidth: true
                        }
                        Repeater {
                            model: webAccessModel.libraryRoots
                            delegate: RowLayout {
                                required property string modelData
                                required property int index
                                Text { text: modelData; color: theme.textPrimary; font.pixelSize: 13; elide: Text.ElideMiddle; Layout.fillWidth: true }
                                OnyxButton { text: "Remove"; visible: index > 0; onClicked: webAccessModel.removeLibraryRoot(index) }
                            }
                        }
                        OnyxButton { text: "Add Root..."; enabled: fileDialogsAvailable; onClicked: rootDialog.open() }
                    }
                }
            }

            Item { Layout.columnSpan: 2; implicitHeight: 24 }
        }
    }

    component LabeledRow: RowLayout {
        id: labeled
        property string label: ""
        default property alias body: holder.data
        Layout.fillWidth: true
        spacing: 10
        Text {
            text: labeled.label
            color: theme.textPrimary
            font.pixelSize: 13
            Layout.preferredWidth: 120
        }
        RowLayout {
            id: holder
            Layout.fillWidth: true
        }
    }
}

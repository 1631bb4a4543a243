import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A labelled stepper over a closed range of one configuration field.
RowLayout {
    id: row
    property string label: ""
    property int value: 0
    property int from: 0
    property int to: 0
    signal edited(int value)
    Layout.fillWidth: true

    Text {
        text: row.label
        color: theme.textPrimary
        font.pixelSize: 13
        Layout.preferredWidth: 120
    }
    SpinBox {
        objectName: "stepper_" + row.label
        from: row.from
        to: row.to
        value: row.value
        editable: true
        onValueModified: row.edited(value)
        Layout.preferredWidth: 140
    }
    Text {
        text: "(" + row.from + "-" + row.to + ")"
        color: theme.textSecondary
        font.pixelSize: 12
    }
    Item { Layout.fillWidth: true }
}

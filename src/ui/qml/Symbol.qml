import QtQuick

// A symbol by its name, drawn as a text glyph in the theme's colours.
Text {
    property string name: ""
    property real size: 16

    readonly property var glyphs: ({
        "play.fill": "▶", "pause.fill": "❚❚", "stop.fill": "■", "stop": "■",
        "repeat": "⟳", "repeat.circle": "↻", "forward": "»", "forward.fill": "▶▶",
        "questionmark": "?", "questionmark.circle": "?",
        "speaker.slash.fill": "🔇", "speaker.wave.2.fill": "🔊",
        "rectangle.on.rectangle": "❐", "waveform": "∿", "hand.raised": "✋", "antenna": "⚡",
        "play.rectangle.fill": "▶", "cube.transparent": "⬚", "slider.horizontal.3": "☰",
        "list.bullet": "☰", "gearshape": "⚙", "info.circle": "◉", "display": "▭",
        "network": "⌬", "star": "★", "music.note": "♪", "trash": "✕", "chevron.up": "▲",
        "chevron.down": "▼", "plus": "+", "folder": "📂", "square.and.arrow.down": "⤓",
        "paintpalette": "◐", "tv": "▭", "qrcode": "▦", "checkmark": "✓", "clock": "◷"
    })
    text: glyphs[name] !== undefined ? glyphs[name] : "•"
    font.pixelSize: size
    color: theme.textPrimary
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
}

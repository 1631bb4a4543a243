#include "core/DMXReference.h"

#include "core/DMXDecoding.h"

#include <functional>

namespace orvelo {

namespace {

constexpr int universeSlots = 512;

QString rangeText(int low, int high)
{
    return low == high ? QString::number(low) : QStringLiteral("%1 - %2").arg(low).arg(high);
}

// Runs of equal keys over 0..255, in value order.
template <typename Key>
void forEachBand(int from, int to, const std::function<Key(int)>& key, const std::function<void(int, int, Key)>& band)
{
    int start = from;
    for (int v = from + 1; v <= to + 1; ++v) {
        if (v > to || !(key(v) == key(start))) {
            band(start, v - 1, key(start));
            start = v;
        }
    }
}

QVector<DMXReferenceRow> controlRows()
{
    QVector<DMXReferenceRow> rows;
    using dmx::ControlKind;
    forEachBand<ControlKind>(
        0, 255, [](int v) { return dmx::decodeControl(static_cast<std::uint8_t>(v)).kind; },
        [&rows](int low, int high, ControlKind kind) {
            DMXReferenceRow row{low, high, rangeText(low, high), {}, {}, {}};
            switch (kind) {
            case ControlKind::stop:
                row.action = QStringLiteral("Stop");
                row.description = QStringLiteral("Stop playback and return to the start");
                row.color = QStringLiteral("red");
                break;
            case ControlKind::pause:
                row.action = QStringLiteral("Pause");
                row.description = QStringLiteral("Hold the current frame");
                row.color = QStringLiteral("orange");
                break;
            case ControlKind::selectTrack:
                row.action = QStringLiteral("Play Track");
                row.description = QStringLiteral("Select and play a track (10 values per track)");
                row.color = QStringLiteral("green");
                break;
            case ControlKind::stopQuietly:
                row.action = QStringLiteral("Stop");
                row.description = QStringLiteral("Stop playback");
                row.color = QStringLiteral("red");
                break;
            }
            rows.push_back(row);
        });
    return rows;
}

QVector<DMXReferenceRow> trackRows()
{
    QVector<DMXReferenceRow> rows;
    forEachBand<int>(
        0, 255, [](int v) { return dmx::decodeControl(static_cast<std::uint8_t>(v)).trackIndex; },
        [&rows](int low, int high, int index) {
            if (index < 0)
                return;
            rows.push_back({low, high, rangeText(low, high), QStringLiteral("Track %1").arg(index + 1),
                            QStringLiteral("Playlist entry %1").arg(index + 1), QStringLiteral("green")});
        });
    return rows;
}

QVector<DMXReferenceRow> loopRows()
{
    QVector<DMXReferenceRow> rows;
    forEachBand<std::optional<int>>(
        0, 255, [](int v) { return dmx::decodeLoopOverride(static_cast<std::uint8_t>(v)); },
        [&rows](int low, int high, std::optional<int> count) {
            DMXReferenceRow row{low, high, rangeText(low, high), {}, {}, {}};
            if (!count) {
                row.action = QStringLiteral("Program");
                row.description = QStringLiteral("No override (use program settings)");
                row.color = QStringLiteral("gray");
            } else if (*count == 0) {
                row.action = QStringLiteral("Loop ∞");
                row.description = QStringLiteral("Loop without end");
                row.color = QStringLiteral("blue");
            } else {
                row.action = *count == 1 ? QStringLiteral("Play 1x") : QStringLiteral("Play %1x").arg(*count);
                row.description =
                    *count == 1 ? QStringLiteral("Play once") : QStringLiteral("Play %1 times").arg(*count);
                row.color = QStringLiteral("orange");
            }
            rows.push_back(row);
        });
    return rows;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString colourMaskText(const dmx::ColourMask& mask)
{
    QStringList on;
    if (mask.red)
        on << QStringLiteral("R");
    if (mask.green)
        on << QStringLiteral("G");
    if (mask.blue)
        on << QStringLiteral("B");
    return on.isEmpty() ? QStringLiteral("none") : on.join(QLatin1Char('+'));
}

QString signedText(double value, int decimals)
{
    const QString text = number(value, decimals);
    return value > 0.0 ? QStringLiteral("+") + text : text;
}

QVector<DMXReferenceRow> effectBands(const QString& mapped, const QString& reset)
{
    QVector<DMXReferenceRow> rows;
    using dmx::EffectBand;
    forEachBand<EffectBand>(
        0, 255, [](int v) { return dmx::effectBand(static_cast<std::uint8_t>(v)); },
        [&](int low, int high, EffectBand band) {
            DMXReferenceRow row{low, high, rangeText(low, high), {}, {}, {}};
            switch (band) {
            case EffectBand::unchanged:
                row.action = QStringLiteral("No change");
                row.description = QStringLiteral("Keep the current value");
                row.color = QStringLiteral("gray");
                break;
            case EffectBand::reset:
                row.action = QStringLiteral("Reset");
                row.description = reset;
                row.color = QStringLiteral("orange");
                break;
            case EffectBand::mapped:
                row.action = QStringLiteral("Set");
                row.description = mapped;
                row.color = QStringLiteral("blue");
                break;
            }
            rows.push_back(row);
        });
    return rows;
}

QVector<DMXEffectRow> effectRows(int firstChannel)
{
    using dmx::EffectChannel;
    constexpr std::uint8_t lo = 10;
    constexpr std::uint8_t hi = 255;
    QVector<DMXEffectRow> rows;
    const auto add = [&](EffectChannel channel, QString parameter, QString mapped, QString reset) {
        const int relative = static_cast<int>(channel);
        rows.push_back({firstChannel + relative - 3, relative, std::move(parameter),
                        QStringLiteral("10-255: ") + mapped, QStringLiteral("5-9: ") + reset,
                        effectBands(mapped, reset)});
    };
    QStringList patterns;
    for (int v = lo; v <= hi; v += 25)
        patterns << QString::fromUtf8(rawValue(dmx::mappedPattern(static_cast<std::uint8_t>(v))).data());
    add(EffectChannel::pattern, QStringLiteral("Pattern"),
        QStringLiteral("25 values each: ") + patterns.join(QStringLiteral(", ")), QStringLiteral("Black Screen"));
    add(EffectChannel::patternSpeed, QStringLiteral("Pattern Speed"),
        number(dmx::mappedPatternSpeed(lo), 1) + QStringLiteral("x-") + number(dmx::mappedPatternSpeed(hi), 1) +
            QStringLiteral("x"),
        QStringLiteral("1.0x"));
    add(EffectChannel::brightness, QStringLiteral("Brightness"),
        signedText(dmx::mappedBrightness(lo), 0) + QStringLiteral(" to ") + signedText(dmx::mappedBrightness(hi), 0),
        QStringLiteral("0"));
    add(EffectChannel::saturation, QStringLiteral("Saturation"),
        number(dmx::mappedSaturation(lo), 0) + QStringLiteral("-") + number(dmx::mappedSaturation(hi), 0),
        QStringLiteral("1"));
    add(EffectChannel::alpha, QStringLiteral("Opacity"),
        number(dmx::mappedAlpha(lo) * 100.0, 0) + QStringLiteral("%-") + number(dmx::mappedAlpha(hi) * 100.0, 0) +
            QStringLiteral("%"),
        QStringLiteral("100%"));
    add(EffectChannel::playbackSpeed, QStringLiteral("Playback Speed"),
        number(dmx::mappedPlaybackSpeed(lo), 1) + QStringLiteral("x-") + number(dmx::mappedPlaybackSpeed(hi), 1) +
            QStringLiteral("x"),
        QStringLiteral("1.0x"));
    {
        // The mask as the console sees it: the bit values, and where every colour is on.
        int allOn = lo;
        for (int v = hi; v >= lo; --v) {
            if (!(dmx::mappedColourMask(static_cast<std::uint8_t>(v)) == dmx::ColourMask{})) {
                allOn = v + 1;
                break;
            }
        }
        const QString mapped = QStringLiteral("R=1, G=2, B=4 (value - 10; %1 = %2, %3+ = all on)")
                                   .arg(lo)
                                   .arg(colourMaskText(dmx::mappedColourMask(lo)))
                                   .arg(allOn);
        rows.push_back({firstChannel + static_cast<int>(EffectChannel::colourMask) - 3,
                        static_cast<int>(EffectChannel::colourMask), QStringLiteral("RGB Enable"),
                        QStringLiteral("10+: ") + mapped, QStringLiteral("5-9: all on"),
                        effectBands(mapped, QStringLiteral("all on"))});
    }
    const QString shift = QString::number(dmx::mappedTimeShift(lo)) + QStringLiteral("-") +
                          QString::number(dmx::mappedTimeShift(hi)) + QStringLiteral(" frames");
    add(EffectChannel::redTimeShift, QStringLiteral("Red Time Shift"), shift, QStringLiteral("0"));
    add(EffectChannel::greenTimeShift, QStringLiteral("Green Time Shift"), shift, QStringLiteral("0"));
    add(EffectChannel::blueTimeShift, QStringLiteral("Blue Time Shift"), shift, QStringLiteral("0"));
    int centre = lo;
    while (centre < hi && dmx::mappedOffset(static_cast<std::uint8_t>(centre)) < 0.0)
        ++centre;
    const QString offset = number(dmx::mappedOffset(lo), 0) + QStringLiteral(" to +") +
                           number(dmx::mappedOffset(hi), 1) + QStringLiteral(" (centre %1)").arg(centre);
    add(EffectChannel::redHorizontalOffset, QStringLiteral("Red Offset X"), offset, QStringLiteral("0"));
    add(EffectChannel::redVerticalOffset, QStringLiteral("Red Offset Y"), offset, QStringLiteral("0"));
    add(EffectChannel::greenHorizontalOffset, QStringLiteral("Green Offset X"), offset, QStringLiteral("0"));
    add(EffectChannel::greenVerticalOffset, QStringLiteral("Green Offset Y"), offset, QStringLiteral("0"));
    add(EffectChannel::blueHorizontalOffset, QStringLiteral("Blue Offset X"), offset, QStringLiteral("0"));
    add(EffectChannel::blueVerticalOffset, QStringLiteral("Blue Offset Y"), offset, QStringLiteral("0"));
    return rows;
}

} // namespace

DMXReference makeDMXReference(const DMXConfig& config)
{
    DMXReference ref;
    const int start = static_cast<int>(config.startChannel);
    ref.controlChannel = start;
    ref.lastChannel = start + channelCount(config.mode) - 1;
    ref.controlRows = controlRows();
    ref.trackRows = trackRows();
    if (config.mode != DMXMode::standard) {
        ref.loopChannel = start + 1;
        ref.loopChannelReceived = start + 1 <= universeSlots;
        ref.loopRows = loopRows();
    }
    if (config.mode == DMXMode::extended) {
        ref.firstEffectChannel = start + 2;
        ref.effectChannelsReceived = start + 17 <= universeSlots;
        ref.effectRows = effectRows(start + 2);
    }
    return ref;
}

QVector<DMXReferenceRow> controlRowsByTrack(const DMXReference& reference)
{
    QVector<DMXReferenceRow> rows;
    for (const DMXReferenceRow& band : reference.controlRows) {
        if (dmx::decodeControl(static_cast<std::uint8_t>(band.low)).kind == dmx::ControlKind::selectTrack)
            rows += reference.trackRows;
        else
            rows.push_back(band);
    }
    return rows;
}

} // namespace orvelo

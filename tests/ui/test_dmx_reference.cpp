// Protects the DMX reference a console is programmed from: every channel and band it shows is
// what the controller reads and does, for every mode and start channel.
#include "core/ConsoleTestSupport.h"

#include "core/DMXDecoding.h"
#include "core/DMXReference.h"

#include <gtest/gtest.h>

using namespace orvelo;
using namespace orvelo::test;

namespace {

struct Rig : ControllerRig {
    void feed(const std::vector<std::uint8_t>& frame)
    {
        controller.handleDMXInput(frame);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    float brightness() const { return VideoEffectsManager::shared().brightness(); }
};

} // namespace

TEST(DMXReference, ChannelsShownAreTheChannelsTheControllerReadsForEveryModeAndStart)
{
    Rig rig;
    rig.controller.setIgnoreDMX(true); // no playback commands, the channels are still read
    constexpr int brightnessChannel = static_cast<int>(dmx::EffectChannel::brightness);
    // Both ends, and each side of where the loop channel (512) and the effect channels (496)
    // stop fitting into the universe.
    for (const DMXMode mode : allDMXModes) {
        for (const int start : {1, 2, 3, 100, 256, 480, 493, 494, 495, 496, 497, 510, 511, 512}) {
            SCOPED_TRACE(std::string(rawValue(mode)) + " from channel " + std::to_string(start));
            // A known starting point: loop value 0, an unusual brightness.
            rig.controller.setDmxConfig(dmxConfig(DMXMode::loop, 1));
            rig.feed(std::vector<std::uint8_t>(512, 0));
            VideoEffectsManager::shared().setBrightness(0.123f);

            const auto ref = makeDMXReference(dmxConfig(mode, start));
            rig.controller.setDmxConfig(dmxConfig(mode, start));
            std::vector<std::uint8_t> frame(512, 0);
            frame[static_cast<std::size_t>(ref.controlChannel - 1)] = 77;
            if (ref.loopChannel && *ref.loopChannel <= 512)
                frame[static_cast<std::size_t>(*ref.loopChannel - 1)] = 42;
            const int brightness = ref.firstEffectChannel + brightnessChannel - 3;
            if (ref.firstEffectChannel > 0 && brightness <= 512)
                frame[static_cast<std::size_t>(brightness - 1)] = 255;
            rig.feed(frame);

            EXPECT_EQ(rig.controller.currentDMXValue(), 77);
            EXPECT_EQ(ref.loopChannel.has_value(), mode != DMXMode::standard);
            EXPECT_EQ(rig.controller.currentLoopDMXValue() == 42, ref.loopChannelReceived);
            EXPECT_EQ(rig.brightness() == 1.0f, ref.effectChannelsReceived);
            EXPECT_EQ(ref.lastChannel, start + channelCount(mode) - 1);
        }
    }
}

TEST(DMXReference, LoopBandsSayWhatTheControllerSetsForEveryValue)
{
    Rig rig;
    rig.controller.setDmxConfig(dmxConfig(DMXMode::loop, 1));
    const auto ref = makeDMXReference(rig.controller.dmxConfig());
    int covered = 0;
    for (const auto& row : ref.loopRows) {
        for (int v = row.low; v <= row.high; ++v, ++covered) {
            rig.feed({0, static_cast<std::uint8_t>(v)});
            const std::optional<int> times = rig.controller.dmxLoopOverride();
            const QString did = !times ? "Program" : *times == 0 ? "Loop ∞" : QString("Play %1x").arg(*times);
            EXPECT_EQ(did, row.action) << "loop value " << v;
        }
    }
    EXPECT_EQ(covered, 256);
}

TEST(DMXReference, ControlAndTrackBandsCoverEveryValueInTheDocumentedRanges)
{
    const auto ref = makeDMXReference(DMXConfig{});
    QStringList ranges;
    int next = 0;
    for (const auto& row : ref.controlRows) {
        EXPECT_EQ(row.low, next);
        next = row.high + 1;
        ranges << row.range;
    }
    EXPECT_EQ(ranges, (QStringList{"0 - 5", "6 - 10", "11 - 245", "246 - 255"}));
    // Each track row is the band the decoder reads for that track.
    ASSERT_EQ(ref.trackRows.size(), 24);
    for (int index = 0; index < 24; ++index) {
        const auto [low, high] = dmx::trackBand(index);
        EXPECT_EQ(ref.trackRows[index].range, QStringLiteral("%1 - %2").arg(low).arg(high));
    }
    EXPECT_TRUE(ref.loopRows.isEmpty());
}

TEST(DMXReference, EffectRowsShowTheMappedEndsTheControllerApplies)
{
    Rig rig;
    rig.controller.setDmxConfig(dmxConfig(DMXMode::extended, 1));
    const auto ref = makeDMXReference(rig.controller.dmxConfig());
    const auto rowFor = [&](dmx::EffectChannel channel) {
        for (const auto& row : ref.effectRows)
            if (row.relativeChannel == static_cast<int>(channel))
                return row;
        return DMXEffectRow{};
    };
    const auto mapped = [&](dmx::EffectChannel channel) { return rowFor(channel).mapped; };
    EXPECT_EQ(mapped(dmx::EffectChannel::brightness), "10-255: -1 to +1");
    EXPECT_EQ(rowFor(dmx::EffectChannel::blueVerticalOffset).channel, 18) << "the last channel of the mode";

    // The ends as the controller sets them from a frame.
    std::vector<std::uint8_t> low(18, 10), high(18, 255);
    low[0] = high[0] = low[1] = high[1] = 0;
    rig.feed(low);
    EXPECT_EQ(QString::number(SettingsManager::shared().patternSpeed(), 'f', 1) + "x",
              mapped(dmx::EffectChannel::patternSpeed).mid(8, 4));
    EXPECT_EQ(rig.brightness(), -1.0f);
    EXPECT_FALSE(VideoEffectsManager::shared().redEnabled());
    EXPECT_TRUE(mapped(dmx::EffectChannel::colourMask).contains("10 = none"));
    rig.feed(high);
    EXPECT_EQ(VideoEffectsManager::shared().redTimeShift(), 25);
    EXPECT_TRUE(mapped(dmx::EffectChannel::redTimeShift).endsWith("0-25 frames"));
}

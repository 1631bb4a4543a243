// Protects the DMX reference the operator programs a console from: every channel and band it
// shows must be what the controller actually reads and does, for every mode and start channel.
#include "core/ConsoleTestSupport.h"

#include "core/DMXController.h"
#include "core/DMXDecoding.h"
#include "net/ProtocolManager.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "ui/DMXReference.h"

#include <QCoreApplication>
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
};

DMXConfig configFor(DMXMode mode, int start)
{
    DMXConfig config;
    config.mode = mode;
    config.startChannel = start;
    return config;
}

} // namespace

TEST(DMXReference, ChannelsShownAreTheChannelsTheControllerReadsForEveryModeAndStart)
{
    Rig rig;
    rig.controller.setIgnoreDMX(true); // no playback commands, the channels are still read
    constexpr int brightnessChannel = static_cast<int>(dmx::EffectChannel::brightness);
    for (const DMXMode mode : allDMXModes) {
        for (int start = 1; start <= 512; ++start) {
            SCOPED_TRACE(std::string(rawValue(mode)) + " from channel " + std::to_string(start));
            // A known starting point: loop value 0, an unusual brightness.
            rig.controller.setDmxConfig(configFor(DMXMode::loop, 1));
            rig.feed(std::vector<std::uint8_t>(512, 0));
            VideoEffectsManager::shared().setBrightness(0.123f);

            const auto ref = ui::makeDMXReference(configFor(mode, start));
            rig.controller.setDmxConfig(configFor(mode, start));
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
            EXPECT_EQ(VideoEffectsManager::shared().brightness() == 1.0f, ref.effectChannelsReceived);
            EXPECT_EQ(ref.lastChannel, start + channelCount(mode) - 1);
        }
    }
}

TEST(DMXReference, ExtendedFootprintPastTheUniverseShowsItsChannelsAsNotReceived)
{
    const auto ref = ui::makeDMXReference(configFor(DMXMode::extended, 500));
    EXPECT_EQ(ref.controlChannel, 500);
    EXPECT_EQ(ref.loopChannel, 501);
    EXPECT_TRUE(ref.loopChannelReceived);
    EXPECT_EQ(ref.firstEffectChannel, 502);
    EXPECT_EQ(ref.lastChannel, 517);
    EXPECT_FALSE(ref.effectChannelsReceived);
    ASSERT_EQ(ref.effectRows.size(), 16);
    EXPECT_EQ(ref.effectRows.front().channel, 502);
    EXPECT_EQ(ref.effectRows.back().channel, 517);
    EXPECT_TRUE(ui::makeDMXReference(configFor(DMXMode::extended, 495)).effectChannelsReceived);
}

TEST(DMXReference, LoopBandsSayWhatTheControllerSetsForEveryValue)
{
    Rig rig;
    rig.controller.setDmxConfig(configFor(DMXMode::loop, 1));
    const auto ref = ui::makeDMXReference(rig.controller.dmxConfig());
    int covered = 0;
    for (const auto& row : ref.loopRows) {
        for (int v = row.low; v <= row.high; ++v, ++covered) {
            rig.feed({0, static_cast<std::uint8_t>(v)});
            const auto& override = rig.controller.dmxLoopOverride();
            SCOPED_TRACE("loop value " + std::to_string(v) + " row " + row.action.toStdString());
            if (row.action == "Program")
                EXPECT_FALSE(override.has_value());
            else if (row.action == "Loop ∞")
                EXPECT_EQ(override, 0);
            else
                EXPECT_EQ(QStringLiteral("Play %1x").arg(override.value_or(-1)), row.action);
        }
    }
    EXPECT_EQ(covered, 256);
    EXPECT_EQ(ref.loopRows.front().description, "No override (use program settings)");
    EXPECT_EQ(ref.loopRows.front().range, "0 - 9");
}

TEST(DMXReference, ControlAndTrackBandsCoverEveryValueInTheDocumentedRanges)
{
    const auto ref = ui::makeDMXReference(DMXConfig{});
    QStringList ranges;
    int next = 0;
    for (const auto& row : ref.controlRows) {
        EXPECT_EQ(row.low, next);
        next = row.high + 1;
        ranges << row.range;
    }
    EXPECT_EQ(next, 256);
    EXPECT_EQ(ranges, (QStringList{"0 - 5", "6 - 10", "11 - 245", "246 - 255"}));
    ASSERT_EQ(ref.trackRows.size(), 24);
    EXPECT_EQ(ref.trackRows.front().range, "11 - 20");
    EXPECT_EQ(ref.trackRows[1].range, "21 - 30");
    EXPECT_EQ(ref.trackRows.back().range, "241 - 245");
    EXPECT_TRUE(ref.loopRows.isEmpty());
    EXPECT_TRUE(ref.effectRows.isEmpty());
}

TEST(DMXReference, EffectRowsShowTheMappedEndsTheControllerApplies)
{
    Rig rig;
    rig.controller.setDmxConfig(configFor(DMXMode::extended, 1));
    const auto ref = ui::makeDMXReference(rig.controller.dmxConfig());
    const auto rowFor = [&](dmx::EffectChannel channel) {
        for (const auto& row : ref.effectRows)
            if (row.relativeChannel == static_cast<int>(channel))
                return row;
        return ui::DMXEffectRow{};
    };
    EXPECT_EQ(rowFor(dmx::EffectChannel::patternSpeed).mapped, "10-255: 0.1x-3.0x");
    EXPECT_EQ(rowFor(dmx::EffectChannel::brightness).mapped, "10-255: -1 to +1");
    EXPECT_TRUE(rowFor(dmx::EffectChannel::colourMask).mapped.startsWith("10+: R=1, G=2, B=4"));
    EXPECT_EQ(rowFor(dmx::EffectChannel::blueVerticalOffset).channel, 18);

    // The ends as the controller sets them from a frame.
    std::vector<std::uint8_t> low(18, 10), high(18, 255);
    low[0] = high[0] = 0;
    low[1] = high[1] = 0;
    rig.feed(low);
    EXPECT_EQ(QString::number(SettingsManager::shared().patternSpeed(), 'f', 1) + "x",
              rowFor(dmx::EffectChannel::patternSpeed).mapped.mid(8, 4));
    EXPECT_EQ(VideoEffectsManager::shared().brightness(), -1.0f);
    EXPECT_FALSE(VideoEffectsManager::shared().redEnabled()); // "10 = none" in the mask text
    EXPECT_TRUE(rowFor(dmx::EffectChannel::colourMask).mapped.contains("10 = none"));
    rig.feed(high);
    EXPECT_EQ(VideoEffectsManager::shared().brightness(), 1.0f);
    EXPECT_EQ(VideoEffectsManager::shared().redTimeShift(), 25);
    EXPECT_TRUE(rowFor(dmx::EffectChannel::redTimeShift).mapped.endsWith("0-25 frames"));
    EXPECT_TRUE(rowFor(dmx::EffectChannel::colourMask).mapped.contains("17+ = all on"));
}

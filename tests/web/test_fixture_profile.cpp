// Protects the fixture profile a console patches the player with: its three footprints, and
// that every value of every channel says what the controller does with it.
#include "core/DMXDecoding.h"
#include "web/FixtureProfile.h"

#include <QJsonArray>

#include <gtest/gtest.h>

using namespace orvelo;

namespace {

// The capability whose range holds `value`; a channel must cover 0-255 without gap or overlap.
QJsonObject capabilityFor(const QJsonObject& channel, int value)
{
    for (const auto& item : channel["capabilities"].toArray()) {
        const QJsonArray range = item.toObject()["dmxRange"].toArray();
        if (range[0].toInt() <= value && value <= range[1].toInt())
            return item.toObject();
    }
    return {};
}

} // namespace

TEST(FixtureProfile, ModesAndBandsFollowTheControllersDecoding)
{
    const QJsonObject profile = FixtureProfile::openFixtureLibrary();
    const QJsonObject channels = profile["availableChannels"].toObject();
    const QJsonArray modes = profile["modes"].toArray();
    ASSERT_EQ(modes.size(), 3);
    for (int m = 0; m < 3; ++m) {
        const int width = std::array{1, 2, 18}[m];
        EXPECT_EQ(modes[m]["channels"].toArray().size(), width);
        EXPECT_EQ(modes[m]["shortName"].toString(), QString::number(width) + "ch");
        EXPECT_FALSE(modes[m]["name"].toString().contains("ode")) << "the format refuses the word mode";
    }
    const QJsonArray extended = modes[2].toObject()["channels"].toArray();
    for (const auto& name : extended) {
        int next = 0;
        for (const auto& item : channels[name.toString()]["capabilities"].toArray()) {
            const QJsonArray range = item.toObject()["dmxRange"].toArray();
            EXPECT_EQ(range[0].toInt(), next) << name.toString().toStdString();
            next = range[1].toInt() + 1;
        }
        EXPECT_EQ(next, 256) << name.toString().toStdString();
    }

    const QJsonObject control = channels[extended[0].toString()].toObject();
    const QJsonObject loop = channels[extended[1].toString()].toObject();
    const QJsonObject effect = channels[extended[4].toString()].toObject();
    for (int v = 0; v <= 255; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        const QString said = capabilityFor(control, v)["comment"].toString();
        const dmx::ControlAction action = dmx::decodeControl(value);
        if (action.kind == dmx::ControlKind::selectTrack)
            EXPECT_EQ(said, QString("Track %1: Playlist entry %1").arg(action.trackIndex + 1)) << v;
        else
            EXPECT_EQ(said.startsWith("Stop"), action.kind != dmx::ControlKind::pause) << v;
        const auto times = dmx::decodeLoopOverride(value);
        EXPECT_EQ(capabilityFor(loop, v)["comment"].toString().startsWith(!times ? "Program"
                                                                          : *times == 0
                                                                              ? "Loop"
                                                                              : QString("Play %1x").arg(*times)),
                  true)
            << v;
        EXPECT_EQ(capabilityFor(effect, v)["type"].toString() == "NoFunction",
                  dmx::effectBand(value) == dmx::EffectBand::unchanged)
            << v;
    }
    EXPECT_EQ(capabilityFor(effect, 7)["comment"].toString(), "Reset: 0") << "brightness resets to 0";
}

// Protects what one console frame does to the player: the control, loop and effect channels,
// short frames, manual mode, the order of a frame's effects, what follows a track, and timecode.
#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <tuple>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

namespace {

const Lines stopped{"not playing", "position reset"};
const Lines paused{"not playing"};

// An extended frame at `start` whose sixteen effect channels all carry `v`.
Frame allEffects(int v, int start, int control = 0)
{
    Frame frame = dmxFrame({control, 0}, start);
    std::fill_n(frame.begin() + start + 1, 16, static_cast<std::uint8_t>(v));
    return frame;
}

class DMXControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        forgetLastPlaylist();
        VideoEffectsManager::shared().resetAll();
        SettingsManager::shared().setSelectedPattern(AudioVisualPattern::blackScreen);
        SettingsManager::shared().setPatternSpeed(1.0);
        rig = std::make_unique<ControllerRig>();
        log.clear(); // what the first use of the shared settings says
        // What the engine was told, as its signals show it: stop() resets the position, a pause
        // only clears the playing flag, a load raises the loading flag.
        const auto note = [this](const char* event, bool when) {
            if (when)
                journal.push_back(event);
        };
        QObject::connect(&engine(), &PlaybackEngine::isPlayingChanged, &controller(),
                         [=](bool p) { note(p ? "playing" : "not playing", true); });
        QObject::connect(&engine(), &PlaybackEngine::currentTimeChanged, &controller(),
                         [=](double t) { note("position reset", t == 0); });
        QObject::connect(&engine(), &PlaybackEngine::isLoadingChanged, &controller(),
                         [=](bool l) { note("loading", l); });
    }
    void TearDown() override
    {
        rig.reset();
        forgetLastPlaylist();
    }

    DMXController& controller() { return rig->controller; }
    PlaybackEngine& engine() { return rig->engine; }
    // One frame with its posted steps run, as the main loop would run them.
    void send(const Frame& frame)
    {
        controller().handleDMXInput(frame);
        runPostedSteps(controller());
    }
    void use(const QList<MediaTrack>& tracks) { controller().playlist().setPlaylist(tracks); }
    void configure(DMXMode mode, int start = 1, TimecodeFrameRate rate = TimecodeFrameRate::fps25)
    {
        controller().setDmxConfig(dmxConfig(mode, start, rate));
    }
    // Tracks whose files are missing: a load fails at once, and the track is still current.
    static QList<MediaTrack> missing(int count) { return makeTracks({"/nonexistent/a.mp4"}, count); }
    QString current() const { return rig->engine.currentTrack() ? rig->engine.currentTrack()->name : QString(); }

    Lines took() { return std::exchange(journal, {}); }

    std::unique_ptr<ControllerRig> rig;
    Lines journal;
    LogCapture log;
};

// Every band edge is pinned in the decoding test; here one value per band reaches the engine.
TEST_F(DMXControllerTest, ControlBandsActOnTheEngine)
{
    const auto tracks = missing(24);
    use(tracks);
    // The line is logged only while playing; held on an engine already stopped or paused, the
    // command changes nothing and publishes nothing.
    for (const auto& [value, events, line] : {std::tuple{5, stopped, "DMXController: Stopping via DMX (Val: 5)"},
                                              {6, paused, "DMXController: Pausing via DMX (Val: 6)"},
                                              {246, stopped, ""}}) {
        for (bool wasPlaying : {true, false}) {
            SCOPED_TRACE("value " + std::to_string(value) + (wasPlaying ? " playing" : " idle"));
            engine().setIsPlaying(wasPlaying);
            took();
            log.clear();
            send(dmxFrame({value}));
            EXPECT_EQ(took(), wasPlaying ? events : Lines{});
            EXPECT_EQ(log.lines(), wasPlaying && *line ? Lines{line} : Lines{});
            EXPECT_EQ(controller().currentDMXValue(), value);
        }
    }

    log.clear();
    send(dmxFrame({245}));
    EXPECT_EQ(log.indexOf("DMXController: Switching track via DMX (Val: 245) -> track24"), 0);
    EXPECT_EQ(log.indexOf("PlaybackEngine: loadAndPlay called for track24"), 1);
    // The failed track, held, is not loaded again within the second.
    const std::size_t lines = log.lines().size();
    send(dmxFrame({244}));
    EXPECT_EQ(log.lines().size(), lines);
    // A selection beyond the playlist stops, silently.
    use(missing(1));
    engine().setIsPlaying(true);
    took();
    log.clear();
    send(dmxFrame({21}));
    EXPECT_EQ(took(), stopped);
    EXPECT_TRUE(log.lines().empty());

    // Chasing timecode, the console's value is shown but moves nothing; said once.
    controller().setTransportFollowsTimecode(true);
    engine().setIsPlaying(true);
    took();
    log.clear();
    for (const int value : {5, 6, 5})
        send(dmxFrame({value}));
    EXPECT_TRUE(took().empty());
    EXPECT_EQ(controller().currentDMXValue(), 5);
    EXPECT_EQ(log.lines(), Lines{"DMXController: Transport from DMX ignored while following timecode"});

    // Following a sync group's leader, the web is refused too, each source said once.
    controller().setTransportFollowsTimecode(false);
    controller().setTransportFollowsLeader(true);
    log.clear();
    send(dmxFrame({6}));
    EXPECT_FALSE(controller().acceptsTransportFrom("the web"));
    EXPECT_FALSE(controller().acceptsTransportFrom("the web"));
    EXPECT_TRUE(took().empty());
    EXPECT_EQ(log.lines(), (Lines{"DMXController: Transport from DMX ignored while following the sync group's leader",
                                  "DMXController: Transport from the web ignored while following the sync group's "
                                  "leader"}));
    controller().setTransportFollowsLeader(false);
    EXPECT_TRUE(controller().acceptsTransportFrom("the web"));
}

// Pause and resume on a real engine are the end-to-end test's; here the loop channel.
TEST_F(DMXControllerTest, TheLoopChannelHoldsTheEndOfTheLastPlay)
{
    const auto tracks = makeTracks({clip(1.0, 4)}, 2);
    use(tracks);
    controller().setAutoPlayNext(true); // DMX mode: a track end starts nothing, whatever this says
    configure(DMXMode::loop);
    send(dmxFrame({11, 20}));
    ASSERT_TRUE(waitUntil([&] { return playing(engine(), tracks[0]); }, 5s));
    // Played twice by the loop channel, the track holds its end. The console still holds its
    // value: inside the ending window play() does nothing; afterwards it resumes at the end.
    ASSERT_TRUE(waitUntil([&] { return engine().currentLoopCount() == 2; }, 10s)) << "the track never played out";
    EXPECT_FALSE(engine().isPlaying());
    EXPECT_EQ(current(), "track01");
    log.clear();
    send(dmxFrame({11, 20}));
    EXPECT_EQ(log.lines(), Lines{"DMXController: Resuming track via DMX (Val: 11)"});
    EXPECT_FALSE(engine().isPlaying());
    ASSERT_TRUE(waitUntil([&] {
        send(dmxFrame({11, 20}));
        return engine().isPlaying();
    }));
    EXPECT_EQ(engine().currentLoopCount(), 2) << "no third play";
    EXPECT_EQ(log.indexOf("PlaybackEngine: loadAndPlay called for track02"), -1);
    // The timecode sent all along is the position on show, in the first track's hour (read a
    // moment later by the fake, so within a frame).
    ASSERT_FALSE(rig->artNet.sent.empty());
    for (const SentTimecode& s : rig->artNet.sent) {
        EXPECT_EQ(s.timecode.hours, 0);
        const double frames = (s.timecode.minutes * 60.0 + s.timecode.seconds) * 25 + s.timecode.frames;
        EXPECT_NEAR(frames, s.position * 25, 1.0) << "at " << s.position << " s";
    }
}

TEST_F(DMXControllerTest, LoopChannelBandsAndShortFrames)
{
    use(missing(1));
    // Every loop value and footprint is checked against the controller by the DMX reference test.
    configure(DMXMode::loop, 10);
    send(dmxFrame({0, 30}, 10));
    ASSERT_EQ(controller().dmxLoopOverride(), 3);
    took();
    // Exactly S slots: the control channel works, the loop channel is absent; shorter: nothing.
    engine().setIsPlaying(true);
    took();
    send(dmxFrame({6}, 10, 10));
    EXPECT_EQ(took(), paused);
    EXPECT_EQ(controller().dmxLoopOverride(), 3);
    send(dmxFrame({}, 10, 9));
    EXPECT_EQ(controller().currentDMXValue(), 6);
    EXPECT_TRUE(took().empty());
    // A start channel outside the frame, however large, reads nothing.
    for (std::int64_t start : {std::int64_t{0}, std::numeric_limits<std::int64_t>::max()}) {
        DMXConfig far = dmxConfig(DMXMode::extended);
        far.startChannel = start; // wider than the helper's int
        controller().setDmxConfig(far);
        send(allEffects(255, 1, 6));
        EXPECT_EQ(controller().currentDMXValue(), 6) << start;
        EXPECT_TRUE(took().empty()) << start;
    }

    // The standard footprint clears the override on every frame and leaves the shown loop value alone.
    configure(DMXMode::standard, 10);
    send(dmxFrame({0, 20}, 10));
    EXPECT_EQ(controller().dmxLoopOverride(), std::nullopt);
    EXPECT_EQ(controller().currentLoopDMXValue(), 30);
}

TEST_F(DMXControllerTest, RepeatCountComesFromTheConsoleUnlessInManualModeWhichOnlyShowsTheValues)
{
    auto tracks = missing(2);
    tracks[0].repeatCount = 3;
    tracks[1].repeatCount = 0;
    use(tracks);
    EXPECT_EQ(controller().getRepeatCount(tracks[1].id), 0);
    EXPECT_EQ(controller().getRepeatCount(QUuid::createUuid()), 1);
    configure(DMXMode::extended);
    send(dmxFrame({0, 20}));
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 2);
    // Manual mode ignores an override that is still set; its frames clear it, command nothing
    // and only show the values, while the effects still apply.
    controller().setIgnoreDMX(true);
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 3);
    engine().setIsPlaying(true);
    took();
    log.clear();
    Frame frame = allEffects(255, 1, 21);
    frame[1] = 20;
    send(frame);
    EXPECT_EQ(controller().currentDMXValue(), 21);
    EXPECT_TRUE(took().empty());
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(controller().dmxLoopOverride(), std::nullopt);
    EXPECT_EQ(controller().currentLoopDMXValue(), 20);
    EXPECT_EQ(EffectState::now().brightness, 1.0f);
    controller().setIgnoreDMX(false);
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 3);
}

// The mapping is pinned value by value in the decoding test; here the bands reach every
// parameter, each channel from its own slot, and only with the whole footprint in the frame.
TEST_F(DMXControllerTest, EffectChannelsAtTheirBandsFromTheirOwnSlotsAndOnlyWithTheWholeFootprint)
{
    constexpr int start = 100;
    configure(DMXMode::extended, start);
    std::mt19937 random(18);
    for (int i = 0; i < 40; ++i) {
        Frame frame(512);
        std::generate(frame.begin(), frame.end(), [&] { return static_cast<std::uint8_t>(random()); });
        frame[start - 1] = 0;
        const EffectState expected = EffectState::now().after(frame, start);
        send(frame);
        ASSERT_EQ(EffectState::now(), expected) << "frame " << i;
    }
    // Every channel in each band at once, so that no band is left to chance.
    for (int v : {4, 9, 10}) {
        const EffectState expected = EffectState::now().after(allEffects(v, start), start);
        send(allEffects(v, start));
        EXPECT_EQ(EffectState::now(), expected) << v;
    }

    // One effect slot missing from the frame: none is read.
    const EffectState bottom = EffectState::now();
    Frame frame = allEffects(255, start);
    frame.resize(start + 16);
    send(frame);
    EXPECT_EQ(EffectState::now(), bottom);
}

TEST_F(DMXControllerTest, CommandsComeFirstThenTheStepsInTheirOrder)
{
    configure(DMXMode::extended);
    engine().setIsPlaying(true); // so that the frame's stop is a command
    Lines order;
    QObject context;
    const auto note = [&](auto* sender, auto signal, const char* what) {
        QObject::connect(sender, signal, &context, [&order, what] { order.push_back(what); });
    };
    note(&engine(), &PlaybackEngine::isPlayingChanged, "command");
    note(&controller(), &DMXController::currentLoopDMXValueChanged, "loop value");
    note(&controller(), &DMXController::dmxLoopOverrideChanged, "loop override");
    note(&VideoEffectsManager::shared(), &VideoEffectsManager::blueVerticalOffsetChanged, "effects");
    note(&controller(), &DMXController::currentDMXValueChanged, "control value");

    controller().handleDMXInput(allEffects(100, 1, 3));
    EXPECT_EQ(order, Lines{"command"}) << "nothing else may run before the handler returns";
    EXPECT_EQ(controller().currentDMXValue(), 0);
    runPostedSteps(controller());
    EXPECT_EQ(order, (Lines{"command", "loop value", "loop override", "effects", "control value"}));

    order.clear();
    controller().setIgnoreDMX(true);
    send(allEffects(150, 1, 3)); // new effect values: the same ones again would not be news
    EXPECT_EQ(order, (Lines{"loop value", "loop override", "effects", "control value", "loop override"}));
}

TEST_F(DMXControllerTest, NextTrackFollowsThePlaylistAndATrackEndStartsItOnlyInManualModeWithAutoPlay)
{
    const auto tracks = missing(3);
    use(tracks);
    controller().playNextTrack();
    controller().playTrack(3);
    controller().playTrack(-1);
    EXPECT_TRUE(log.lines().empty()) << "no current track, or an index outside the list: nothing";

    controller().playTrack(0);
    for (const auto& [manual, autoPlay, then] :
         {std::tuple{false, true, "track01"}, {true, false, "track01"}, {true, true, "track02"}}) {
        controller().setIgnoreDMX(manual);
        controller().setAutoPlayNext(autoPlay);
        engine().onPlaybackEndedCallback();
        EXPECT_EQ(current(), then) << "manual " << manual << " auto-play " << autoPlay;
    }

    // At the end of the list: nothing, unless the playlist loops.
    controller().playTrack(2);
    log.clear();
    controller().playNextTrack();
    EXPECT_TRUE(log.lines().empty());
    controller().setLoopPlaylist(true);
    controller().playNextTrack();
    EXPECT_EQ(current(), "track01");
    // A current track that left the playlist has no successor.
    use({tracks[1], tracks[2]});
    log.clear();
    controller().playNextTrack();
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DMXControllerTest, TimecodeCarriesTheTrackHourAtTheRateWrapsTheDayAndSkipsNegatives)
{
    auto tracks = missing(3);
    tracks[0].timecodeOffset = 90000.0; // index 25 of some longer list: hour 1 of the next day
    tracks[1].timecodeOffset = -7200.0; // from a hand-edited playlist file
    tracks[2].timecodeOffset = 7261.5;
    use(tracks);
    auto& sent = rig->artNet.sent;
    controller().playTrack(1);
    EXPECT_TRUE(sent.empty()) << "a position before zero has no timecode";
    // A load first sends the position 0 of the track before it: the last one sent is the new track's.
    configure(DMXMode::standard, 1, TimecodeFrameRate::fps30);
    controller().playTrack(2);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().timecode, (dmx::Timecode{2, 1, 1, 15}));
    EXPECT_EQ(sent.back().type, 3);
    controller().playTrack(0);
    EXPECT_EQ(sent.back().timecode, (dmx::Timecode{1, 0, 0, 0}));
}

} // namespace

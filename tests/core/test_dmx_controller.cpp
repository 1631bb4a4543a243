// Protects what one console frame does to the player: the control and loop channels acting on a
// real engine, the effect channels' values, short frames, manual mode, the order of a frame's effects, timecode.
#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;

namespace {

// What the engine was told, as far as its signals show it: stop() resets the position, a pause
// only clears the playing flag, a load raises the loading flag.
class EngineJournal {
public:
    explicit EngineJournal(PlaybackEngine& engine)
    {
        QObject::connect(&engine, &PlaybackEngine::isPlayingChanged, &context_,
                         [this](bool p) { events.push_back(p ? "playing" : "not playing"); });
        QObject::connect(&engine, &PlaybackEngine::isLoadingChanged, &context_, [this](bool l) {
            if (l)
                events.push_back("loading");
        });
        QObject::connect(&engine, &PlaybackEngine::currentTimeChanged, &context_, [this](double t) {
            if (t == 0.0)
                events.push_back("position reset");
        });
    }
    std::vector<std::string> take() { return std::exchange(events, {}); }
    std::vector<std::string> events;

private:
    QObject context_;
};

const std::vector<std::string> kStopped{"not playing", "position reset"};
const std::vector<std::string> kPaused{"not playing"};

// An extended frame at `start` whose sixteen effect channels all carry `v`.
Frame allEffects(int v, int start, int control = 0)
{
    Frame frame = dmxFrame({control, 0}, start);
    for (int i = 0; i < 16; ++i)
        frame[static_cast<std::size_t>(start + 1 + i)] = static_cast<std::uint8_t>(v);
    return frame;
}

std::string switching(int value, const QString& name)
{
    return "DMXController: Switching track via DMX (Val: " + std::to_string(value) + ") -> " + name.toStdString();
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

    void usePlaylist(const QList<MediaTrack>& tracks) { controller().playlist().setPlaylist(tracks); }

    bool waitForPlaying(const MediaTrack& track, std::chrono::milliseconds timeout = 5s)
    {
        return waitUntil([&] { return playing(engine(), track); }, timeout);
    }

    std::unique_ptr<ControllerRig> rig;
};

// Every band edge is pinned in the decoding test; here one value per band reaches the engine.
TEST_F(DMXControllerTest, ControlBandsActOnTheEngine)
{
    const auto tracks = makeTracks({clip(1.0)}, 24);
    usePlaylist(tracks);
    EngineJournal journal(engine());
    LogCapture log;

    struct Case {
        int value;
        std::vector<std::string> events;
        std::string line; // logged only while playing
    };
    for (const Case& c : {Case{5, kStopped, "DMXController: Stopping via DMX (Val: 5)"},
                          Case{6, kPaused, "DMXController: Pausing via DMX (Val: 6)"}, Case{246, kStopped, ""}}) {
        for (bool wasPlaying : {true, false}) {
            SCOPED_TRACE("value " + std::to_string(c.value) + (wasPlaying ? " playing" : " idle"));
            engine().setIsPlaying(wasPlaying);
            journal.take();
            log.clear();
            send(dmxFrame({c.value}));
            EXPECT_EQ(journal.take(), c.events) << "the command is issued whether or not the engine plays";
            EXPECT_EQ(log.lines(), wasPlaying && !c.line.empty() ? std::vector<std::string>{c.line}
                                                                 : std::vector<std::string>{});
            EXPECT_EQ(controller().currentDMXValue(), c.value);
        }
    }

    // Each selection targets another track than the one before, so every one reaches the engine.
    for (const auto& [value, index] : {std::pair{20, 0}, {21, 1}, {245, 23}}) {
        SCOPED_TRACE("value " + std::to_string(value));
        log.clear();
        send(dmxFrame({value}));
        const auto name = tracks[index].name;
        EXPECT_EQ(log.lines(), (std::vector<std::string>{switching(value, name),
                                                         "PlaybackEngine: loadAndPlay called for " + name.toStdString()}));
    }

    // A selection beyond the playlist stops, silently.
    usePlaylist(makeTracks({"/nonexistent/a.mp4"}, 1));
    engine().setIsPlaying(true);
    journal.take();
    log.clear();
    send(dmxFrame({21}));
    EXPECT_EQ(journal.take(), kStopped);
    EXPECT_TRUE(log.lines().empty());
}

// Held values over real sockets are the end-to-end test's; here another value of the same band.
TEST_F(DMXControllerTest, TheCurrentTrackResumesOnlyWhenNotPlaying)
{
    const auto tracks = makeTracks({clip(4.0, 1)}, 1);
    usePlaylist(tracks);
    send(dmxFrame({11}));
    ASSERT_TRUE(waitForPlaying(tracks[0]));
    spinFor(200ms);

    LogCapture log;
    EngineJournal journal(engine());
    send(dmxFrame({15}));
    EXPECT_TRUE(log.lines().empty()) << "a playing track is left alone";
    EXPECT_TRUE(journal.take().empty());

    send(dmxFrame({6}));
    spinFor(100ms);
    const double pausedAt = engine().currentTime();
    EXPECT_GT(pausedAt, 0.0);
    log.clear();
    journal.take();
    send(dmxFrame({15}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"DMXController: Resuming track via DMX (Val: 15)"});
    EXPECT_EQ(journal.take(), std::vector<std::string>{"playing"});
    ASSERT_TRUE(waitUntil([&] { return engine().currentTime() > pausedAt + 0.1; }));
    EXPECT_TRUE(playing(engine(), tracks[0])) << "resumed where it stood, not reloaded";
}

TEST_F(DMXControllerTest, LoopChannelBandsAndShortFrames)
{
    usePlaylist(makeTracks({"/nonexistent/a.mp4"}, 1));
    // Every loop value is checked against the controller by the DMX reference test.
    rig->controller.setDmxConfig(dmxConfig(DMXMode::loop, 10));
    send(dmxFrame({0, 30}, 10));
    ASSERT_EQ(controller().dmxLoopOverride(), 3);
    // Exactly S slots: the control channel works, the loop channel is absent; shorter: nothing.
    EngineJournal journal(engine());
    send(dmxFrame({6}, 10, 10));
    EXPECT_EQ(controller().currentDMXValue(), 6);
    EXPECT_EQ(journal.take(), kPaused);
    EXPECT_EQ(controller().dmxLoopOverride(), 3);
    EXPECT_EQ(controller().currentLoopDMXValue(), 30);
    send(dmxFrame({}, 10, 9));
    EXPECT_EQ(controller().currentDMXValue(), 6);
    EXPECT_TRUE(journal.take().empty());

    // A start channel outside the frame, however large, reads nothing.
    for (std::int64_t start : {std::int64_t{0}, std::int64_t{-5}, std::int64_t{513}, std::numeric_limits<std::int64_t>::max()}) {
        DMXConfig far = dmxConfig(DMXMode::extended);
        far.startChannel = start; // wider than the helper's int
        rig->controller.setDmxConfig(far);
        send(allEffects(255, 1, 6));
        EXPECT_EQ(controller().currentDMXValue(), 6) << start;
        EXPECT_TRUE(journal.take().empty()) << start;
    }

    // The extended footprint has the loop channel too; the standard one clears the override
    // on every frame and leaves the shown loop value alone.
    rig->controller.setDmxConfig(dmxConfig(DMXMode::extended, 10));
    send(dmxFrame({0, 110}, 10));
    EXPECT_EQ(controller().dmxLoopOverride(), 0);
    rig->controller.setDmxConfig(dmxConfig(DMXMode::standard, 10));
    send(dmxFrame({0, 20}, 10));
    EXPECT_EQ(controller().dmxLoopOverride(), std::nullopt);
    EXPECT_EQ(controller().currentLoopDMXValue(), 110);
}

TEST_F(DMXControllerTest, RepeatCountComesFromTheConsoleThenThePlaylist)
{
    auto tracks = makeTracks({"/nonexistent/a.mp4"}, 2);
    tracks[0].repeatCount = 3;
    tracks[1].repeatCount = 0;
    usePlaylist(tracks);
    const QUuid unknown = QUuid::createUuid();
    EXPECT_EQ(controller().getRepeatCount(tracks[1].id), 0);
    EXPECT_EQ(controller().getRepeatCount(unknown), 1);

    rig->controller.setDmxConfig(dmxConfig(DMXMode::loop));
    send(dmxFrame({0, 20}));
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 2);
    EXPECT_EQ(controller().getRepeatCount(unknown), 2);
    send(dmxFrame({0, 200}));
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 0);

    // Manual mode ignores an override that is still set...
    controller().setIgnoreDMX(true);
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 3);
    // ...and its frames clear it.
    send(dmxFrame({0, 20}));
    EXPECT_EQ(controller().dmxLoopOverride(), std::nullopt);
    controller().setIgnoreDMX(false);
    EXPECT_EQ(controller().getRepeatCount(tracks[0].id), 3);
}

TEST_F(DMXControllerTest, TheLoopChannelPlaysATrackTwiceThenHoldsItsEnd)
{
    const auto tracks = makeTracks({clip(1.0, 4)}, 2);
    usePlaylist(tracks);
    controller().setAutoPlayNext(true); // DMX mode: a track end starts nothing, whatever this says
    rig->controller.setDmxConfig(dmxConfig(DMXMode::loop));
    int ends = 0;
    QObject::connect(&engine(), &PlaybackEngine::isPlayingChanged, &controller(), [&](bool p) {
        if (!p && engine().currentLoopCount() > 0)
            ++ends;
    });
    LogCapture log;
    send(dmxFrame({11, 20}));
    ASSERT_TRUE(waitForPlaying(tracks[0]));
    ASSERT_TRUE(waitUntil([&] { return ends > 0; }, 5s)) << "the track never played out";
    EXPECT_EQ(engine().currentLoopCount(), 2);
    EXPECT_FALSE(engine().isPlaying());
    EXPECT_EQ(engine().currentTrack()->id, tracks[0].id);

    // The console still holds the track's value: inside the 0.5 s ending window play() does
    // nothing; afterwards it resumes at the end, without rewinding.
    log.clear();
    send(dmxFrame({11, 20}));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"DMXController: Resuming track via DMX (Val: 11)"});
    EXPECT_FALSE(engine().isPlaying());
    spinFor(std::chrono::milliseconds(PlaybackEngine::kEndingWindowMs + 100));
    EXPECT_EQ(engine().currentLoopCount(), 2) << "no third play";
    EXPECT_EQ(log.indexOf("PlaybackEngine: loadAndPlay called for track02"), -1);
    send(dmxFrame({11, 20}));
    EXPECT_TRUE(engine().isPlaying());
    EXPECT_GT(engine().currentTime(), 0.8);
}

// The mapping is pinned value by value in the decoding test; here the bands reach every parameter.
TEST_F(DMXControllerTest, EffectChannelsAtTheirBandsAndOnlyWithTheWholeFootprint)
{
    constexpr int S = 100;
    rig->controller.setDmxConfig(dmxConfig(DMXMode::extended, S));

    EffectState::setUnusual();
    const EffectState unusual = EffectState::now();
    send(allEffects(4, S));
    EXPECT_EQ(EffectState::now(), unusual) << "0-4 leave every parameter alone";

    send(allEffects(9, S));
    EXPECT_EQ(EffectState::now(), (EffectState{AudioVisualPattern::blackScreen, 1.0, 0.0f, 1.0f, 1.0f, 1.0f, true, true,
                                               true, 0, 0, 0, {0, 0, 0, 0, 0, 0}}));
    send(allEffects(10, S));
    EXPECT_EQ(EffectState::now(), (EffectState{AudioVisualPattern::blackScreen, 0.1, -1.0f, 0.0f, 0.0f, 0.5f, false,
                                               false, false, 0, 0, 0, {-50, -50, -50, -50, -50, -50}}));
    send(allEffects(255, S));
    const double top = 123 * 0.4098360655737705;
    EXPECT_EQ(EffectState::now(), (EffectState{AudioVisualPattern::pulsingRing, 3.0, 1.0f, 2.0f, 1.0f, 2.0f, true, true,
                                               true, 25, 25, 25, {top, top, top, top, top, top}}));

    // One effect slot missing from the frame: none is read. The loop footprint has none at all.
    EffectState::setUnusual();
    Frame frame = allEffects(255, S);
    frame.resize(S + 16);
    send(frame);
    EXPECT_EQ(EffectState::now(), unusual);
    rig->controller.setDmxConfig(dmxConfig(DMXMode::loop, S));
    send(allEffects(255, S));
    EXPECT_EQ(EffectState::now(), unusual);
}

TEST_F(DMXControllerTest, EachEffectChannelReadsItsOwnSlot)
{
    constexpr int S = 40;
    rig->controller.setDmxConfig(dmxConfig(DMXMode::extended, S));
    EffectState::setUnusual();
    EffectState expected = EffectState::now();
    // Channels 3-18 in order; each value is told apart from its neighbours' effect.
    const int values[16] = {35, 7, 255, 4, 132, 10, 13, 255, 7, 4, 10, 132, 255, 7, 4, 11};
    Frame frame = dmxFrame({0, 0}, S);
    for (int i = 0; i < 16; ++i)
        frame[static_cast<std::size_t>(S + 1 + i)] = static_cast<std::uint8_t>(values[i]);
    send(frame);
    expected.pattern = AudioVisualPattern::colorfulAbstract;
    expected.patternSpeed = 1.0;
    expected.brightness = 1.0f; // saturation (4) unchanged
    expected.alpha = 122.0f / 245.0f;
    expected.speed = 0.5f;
    expected.red = expected.green = true; // 13: red and green
    expected.blue = false;
    expected.shifts[0] = 25;
    expected.shifts[1] = 0; // blue shift (4) unchanged
    expected.offsets[0] = -50.0;
    expected.offsets[1] = 0.0;
    expected.offsets[2] = 123 * 0.4098360655737705;
    expected.offsets[3] = 0.0; // offsets[4] (4) unchanged
    expected.offsets[5] = -121 * 0.4098360655737705;
    EXPECT_EQ(EffectState::now(), expected);
}

TEST_F(DMXControllerTest, ManualModeOnlyShowsTheControlValue)
{
    usePlaylist(makeTracks({"/nonexistent/a.mp4"}, 3));
    rig->controller.setDmxConfig(dmxConfig(DMXMode::extended));
    send(dmxFrame({0, 20}));
    ASSERT_EQ(controller().dmxLoopOverride(), 2);
    controller().setIgnoreDMX(true);

    EngineJournal journal(engine());
    LogCapture log;
    engine().setIsPlaying(true);
    journal.take();
    for (int value : {6, 21, 250}) {
        Frame frame = allEffects(255, 1, value);
        frame[1] = 20;
        send(frame);
        EXPECT_EQ(controller().currentDMXValue(), value);
    }
    EXPECT_TRUE(journal.take().empty()) << "no playback command in manual mode";
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(controller().dmxLoopOverride(), std::nullopt);
    EXPECT_EQ(controller().currentLoopDMXValue(), 20) << "the loop channel is still shown";
    EXPECT_EQ(EffectState::now().brightness, 1.0f) << "effects still apply";
}

TEST_F(DMXControllerTest, CommandsComeFirstThenTheStepsInTheirOrder)
{
    rig->controller.setDmxConfig(dmxConfig(DMXMode::extended));
    std::vector<std::string> order;
    QObject context;
    QObject::connect(&engine(), &PlaybackEngine::isPlayingChanged, &context, [&] { order.push_back("command"); });
    QObject::connect(&controller(), &DMXController::currentLoopDMXValueChanged, &context,
                     [&] { order.push_back("loop value"); });
    QObject::connect(&controller(), &DMXController::dmxLoopOverrideChanged, &context,
                     [&] { order.push_back("loop override"); });
    QObject::connect(&VideoEffectsManager::shared(), &VideoEffectsManager::blueVerticalOffsetChanged, &context,
                     [&] { order.push_back("effects"); });
    QObject::connect(&controller(), &DMXController::currentDMXValueChanged, &context,
                     [&] { order.push_back("control value"); });

    controller().handleDMXInput(allEffects(100, 1, 3));
    EXPECT_EQ(order, std::vector<std::string>{"command"}) << "nothing else may run before the handler returns";
    EXPECT_EQ(controller().currentDMXValue(), 0);
    runPostedSteps(controller());
    EXPECT_EQ(order, (std::vector<std::string>{"command", "loop value", "loop override", "effects", "control value"}));

    order.clear();
    controller().setIgnoreDMX(true);
    controller().handleDMXInput(allEffects(100, 1, 3));
    runPostedSteps(controller());
    EXPECT_EQ(order,
              (std::vector<std::string>{"loop value", "loop override", "effects", "control value", "loop override"}));
}

TEST_F(DMXControllerTest, PlayNextTrackFollowsThePlaylist)
{
    const auto tracks = makeTracks({clip(1.0, 5), clip(4.0, 6), clip(4.0, 7)}, 3);
    usePlaylist(tracks);
    LogCapture log;
    controller().playNextTrack();
    controller().playTrack(3);
    controller().playTrack(-1);
    EXPECT_TRUE(log.lines().empty()) << "no current track, or an index outside the list: nothing";

    // Manual mode with auto-play: the end of the first track starts the second.
    controller().setIgnoreDMX(true);
    controller().setAutoPlayNext(true);
    controller().playTrack(0);
    ASSERT_TRUE(waitForPlaying(tracks[0]));
    ASSERT_TRUE(waitForPlaying(tracks[1]));
    controller().setAutoPlayNext(false);

    // At the end of the list: nothing, unless the playlist loops.
    controller().playTrack(2);
    ASSERT_TRUE(waitForPlaying(tracks[2]));
    log.clear();
    controller().playNextTrack();
    EXPECT_TRUE(log.lines().empty());
    controller().setLoopPlaylist(true);
    controller().playNextTrack();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"PlaybackEngine: loadAndPlay called for track01"});
    ASSERT_TRUE(waitForPlaying(tracks[0]));

    // A current track that left the playlist has no successor.
    usePlaylist({tracks[1], tracks[2]});
    log.clear();
    controller().playNextTrack();
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DMXControllerTest, TimecodeCarriesTheTrackHourAndTheRateWrapsTheDayAndSkipsNegatives)
{
    auto tracks = makeTracks({clip(4.0, 7)}, 3);
    tracks[0].timecodeOffset = 90000.0; // index 25 of some longer list: hour 1 of the next day
    tracks[1].timecodeOffset = -7200.0; // from a hand-edited playlist file
    usePlaylist(tracks);
    auto& sent = rig->artNet.sent;
    controller().playTrack(2);
    ASSERT_TRUE(waitForPlaying(tracks[2]));

    for (const auto& [rate, fps, type] : {std::tuple{TimecodeFrameRate::fps25, 25, 1},
                                          {TimecodeFrameRate::fps30, 30, 3}, {TimecodeFrameRate::fps24, 24, 0}}) {
        SCOPED_TRACE(fps);
        rig->controller.setDmxConfig(dmxConfig(DMXMode::standard, 1, rate));
        sent.clear();
        ASSERT_TRUE(waitUntil([&] { return sent.size() >= 8; }));
        for (const SentTimecode& tc : sent) {
            const double t = tc.position + 7200.0; // the third track: hour 2
            EXPECT_EQ(std::tuple(tc.hours, tc.minutes, tc.type), std::tuple(2, 0, type));
            EXPECT_EQ(tc.seconds, static_cast<int>(std::fmod(t, 60.0)));
            EXPECT_EQ(tc.frames, static_cast<int>((t - std::floor(t)) * fps)) << "at " << tc.position << " s";
        }
    }

    controller().playTrack(0);
    ASSERT_TRUE(waitForPlaying(tracks[0]));
    sent.clear();
    ASSERT_TRUE(waitUntil([&] { return sent.size() >= 3; }));
    for (const SentTimecode& tc : sent)
        EXPECT_EQ(tc.hours, 1);

    controller().playTrack(1);
    ASSERT_TRUE(waitForPlaying(tracks[1]));
    sent.clear();
    spinFor(500ms);
    EXPECT_TRUE(sent.empty()) << "a position before zero has no timecode";
}

} // namespace

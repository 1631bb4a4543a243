// The controller on the real transports: Art-Net of its universe, or sACN after a switch, reaches
// it, and cues from the wire swap tracks (HAP among them) with no gap on the output.
#include "ConsoleTestSupport.h"

#include "net/ArtNetTestSupport.h"
#include "playback/TrackPreloader.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

using namespace orvelo;
using namespace orvelo::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct NetRig : WiredController {
    UdpPeer console;
    // Sends the datagram until the controller shows `value` (a datagram may be lost).
    bool reaches(std::uint16_t port, const Bytes& datagram, int value)
    {
        return waitUntil(
            [&] {
                console.sendTo(port, datagram);
                spinFor(10ms);
                return controller.currentDMXValue() == value;
            },
            1500ms);
    }
    bool artDmxReaches(std::array<int, 3> address, int value)
    {
        return reaches(artNetPort, artDmx(address[0], address[1], address[2], dmxFrame({value})), value);
    }
};

TEST(ControllerOnTheWire, ArtDmxOfTheConfiguredUniverseOnlyAndSACNOnceItIsTheInput)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    forgetLastPlaylist();
    LogCapture log;
    {
        NetRig rig;
        ASSERT_TRUE(waitUntil([&] { return rig.artNet.isListening(); }));
        std::vector<int> shown;
        QObject::connect(&rig.controller, &DMXController::currentDMXValueChanged, &rig.controller,
                         [&](int v) { shown.push_back(v); });
        // Datagrams of one sender arrive in order: once a later one of the accepted universe is
        // shown, the earlier ones were dropped or shown.
        const auto filteredOut = [&](std::array<int, 3> other, std::array<int, 3> accepted, int value) {
            for (int i = 0; i < 3; ++i)
                rig.console.sendTo(rig.artNetPort, artDmx(other[0], other[1], other[2], dmxFrame({value})));
            EXPECT_TRUE(rig.artDmxReaches(accepted, value + 1));
            return std::find(shown.begin(), shown.end(), value) == shown.end();
        };
        ASSERT_TRUE(rig.artDmxReaches({0, 0, 0}, 3));
        EXPECT_TRUE(filteredOut({2, 1, 3}, {0, 0, 0}, 4)) << "another universe is filtered out";
        DMXConfig config;
        std::tie(config.net, config.subnet, config.universe) = std::tuple(2, 1, 3);
        rig.controller.setDmxConfig(config);
        EXPECT_TRUE(filteredOut({0, 0, 0}, {2, 1, 3}, 7));
        rig.controller.playlist().setPlaylist(makeTracks({"/nonexistent/one.mp4"}, 2));
        rig.manager.setInputProtocol(DMXProtocolType::sACN);
        rig.manager.updateServices();
        ASSERT_TRUE(waitUntil([&] { return rig.sacn.isListening() && !rig.artNet.isListening(); }));
        // Any universe: the sACN receiver has no filter.
        EXPECT_TRUE(rig.reaches(rig.sacnPort, sacnDataPacket(7, dmxFrame({21})), 21));
        EXPECT_GE(log.indexOf("DMXController: Switching track via DMX (Val: 21) -> track02"), 0);
        // While sACN is the input a new address is not copied into the Art-Net filter; binding
        // to Art-Net again copies it.
        config = {};
        config.universe = 9;
        rig.controller.setDmxConfig(config);
        EXPECT_EQ(rig.artNet.filterUniverse, 3) << "the address from before the switch";
        rig.manager.setInputProtocol(DMXProtocolType::artNet);
        rig.manager.updateServices();
        EXPECT_EQ(rig.artNet.filterUniverse, 9);
        EXPECT_TRUE(rig.artDmxReaches({0, 0, 9}, 11));
        // Frames of the receiver that is no longer the input reach it but change nothing.
        rig.sacn.startListening();
        EXPECT_TRUE(waitUntil([&] {
            rig.console.sendTo(rig.sacnPort, sacnDataPacket(1, dmxFrame({250})));
            spinFor(10ms);
            return !rig.sacn.lastDMXValues().empty() && rig.sacn.lastDMXValues()[0] == 250;
        }));
        EXPECT_EQ(rig.controller.currentDMXValue(), 11);
    }
    forgetLastPlaylist();
}

// What the output shows, by the centre of the composed frame: a track's colour, 'k' for black
// or anything else, '-' for no frame at all.
char colourOnShow(const PlaybackEngine& engine)
{
    const MediaPlayer* player = engine.player();
    const VideoFramePtr frame = player ? player->latestFrame() : nullptr;
    if (!frame || !frame->hasValidLayout())
        return '-';
    int r = 0, g = 0, b = 0;
    const int x = frame->width / 2, y = frame->height / 2;
    if (frame->format == PixelFormat::bgra) {
        const auto bgra = MediaFiles::centrePixel(*frame);
        std::tie(b, g, r) = std::tuple(bgra[0], bgra[1], bgra[2]);
    } else {
        // Video-range BT.709, near enough to tell primaries apart.
        const double luma = (frame->plane(0)[y * frame->strides[0] + x] - 16) * 1.164;
        const double u = frame->plane(1)[y / 2 * frame->strides[1] + x / 2] - 128;
        const double v = frame->plane(2)[y / 2 * frame->strides[2] + x / 2] - 128;
        r = static_cast<int>(luma + 1.793 * v);
        g = static_cast<int>(luma - 0.213 * u - 0.533 * v);
        b = static_cast<int>(luma + 2.112 * u);
    }
    if (r > 150 && g < 90 && b < 90)
        return 'r';
    if (g > 100 && r < 90 && b < 90)
        return 'g';
    if (b > 150 && r < 90 && g < 90)
        return 'b';
    return 'k';
}

TEST(ControllerOnTheWire, CuesHoldTheLastFrameUntilTheNewTracksFirstPreparedOrNot)
{
    ORVELO_REQUIRE_ISOLATED_NETWORK();
    const auto h264 = [](const char* colour) {
        return MediaFiles::generate(std::string("cue-") + colour + ".mp4",
                                    std::string("videotestsrc num-buffers=75 pattern=") + colour +
                                        " ! video/x-raw,format=I420,width=160,height=120,framerate=25/1 ! x264enc "
                                        "speed-preset=ultrafast bframes=0 ! mp4mux ! filesink location={out}");
    };
    QTemporaryDir dir;
    const std::string hap = dir.filePath("blue.mov").toStdString();
    if (std::system(("ffmpeg -v error -y -f lavfi -i color=c=blue:s=160x120:r=25 -t 3 -c:v hap " + hap).c_str()) != 0)
        GTEST_SKIP() << "ffmpeg with its HAP encoder is needed";
    forgetLastPlaylist();
    LogCapture log;
    {
        NetRig rig;
        ASSERT_TRUE(waitUntil([&] { return rig.artNet.isListening(); }));
        const QList<MediaTrack> tracks = makeTracks({h264("red"), h264("green"), hap}, 3);
        rig.controller.playlist().setPlaylist(tracks);
        rig.engine.preloader().setCount(2);
        // Each cue: value, the track's colour, whether it was kept ready (the first cue has nothing
        // on show before it; the last comes with nothing kept ready, and loads).
        struct Cue {
            int value;
            char colour;
            bool prepared;
        };
        const Cue cues[] = {{11, 'r', false}, {21, 'g', true}, {31, 'b', true}, {11, 'r', true}, {21, 'g', false}};
        char before = '-';
        for (const Cue& cue : cues) {
            const MediaTrack& target = tracks[(cue.value - 11) / 10];
            if (!cue.prepared && before != '-')
                rig.engine.preloader().setCount(0);
            if (cue.prepared) {
                ASSERT_TRUE(waitUntil([&] { return rig.engine.preloader().isReady(target); })) << cue.colour;
            }
            std::string seen(1, colourOnShow(rig.engine));
            const auto sent = Clock::now();
            for (auto resend = sent; Clock::now() - sent < 3s;) {
                if (Clock::now() >= resend) {
                    rig.console.sendTo(rig.artNetPort, artDmx(0, 0, 0, dmxFrame({cue.value})));
                    resend += 100ms;
                }
                spinFor(1ms);
                if (seen.back() != colourOnShow(rig.engine))
                    seen += colourOnShow(rig.engine);
                if (seen.back() == cue.colour)
                    break;
            }
            // Nothing between the old track and the new one; the new one starts at its start.
            EXPECT_EQ(seen, (std::string{before, cue.colour}));
            const VideoFramePtr first = rig.engine.player()->latestFrame();
            EXPECT_LT(first->pts, 1.0 / MediaFiles::fps) << cue.colour;
            before = cue.colour;
            spinFor(400ms);
        }
        EXPECT_EQ(log.indexOf("TrackPreloader: Could not prepare"), -1);
    }
    forgetLastPlaylist();
}

} // namespace

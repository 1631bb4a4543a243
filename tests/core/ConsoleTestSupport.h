#pragma once

// Shared by the console tests: the controller among its collaborators, with stand-ins for the
// transports where no socket is wanted, DMX frames, and playlists of generated media.

#include "core/DMXController.h"
#include "core/DMXDecoding.h"
#include "core/Playlist.h"
#include "net/ArtNetService.h"
#include "net/DMXProtocolService.h"
#include "net/ListeningService.h"
#include "net/ProtocolManager.h"
#include "net/SACNService.h"
#include "platform/SettingsStore.h"
#include "playback/MediaTrack.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/SettingsManager.h"
#include "support/MediaFiles.h"
#include "support/TestSupport.h"
#include "support/UdpTestSupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace orvelo::test {

using Frame = std::vector<std::uint8_t>;

// A full 512-slot frame whose first slots, from `startChannel` on, carry `values`.
inline Frame dmxFrame(std::initializer_list<int> values, int startChannel = 1, std::size_t length = 512)
{
    Frame frame(length, 0);
    std::size_t slot = static_cast<std::size_t>(startChannel - 1);
    for (int v : values) {
        if (slot < frame.size())
            frame[slot] = static_cast<std::uint8_t>(v);
        ++slot;
    }
    return frame;
}

inline DMXConfig dmxConfig(DMXMode mode, int startChannel = 1, TimecodeFrameRate rate = TimecodeFrameRate::fps25)
{
    return {.startChannel = startChannel, .mode = mode, .frameRate = rate};
}

// The transports on ports of a test's choosing; Art-Net timecode goes to 127.0.0.1:`timecodePort`.
inline ArtNetService::Options artNetOn(std::uint16_t port, std::uint16_t timecodePort)
{
    return {.listenPort = port,
            .destinationPort = timecodePort,
            .destinationAddress = "127.0.0.1",
            .clearPort = false,
            .reading = {}};
}

inline SACNService::Options sacnOn(std::uint16_t port)
{
    return {.port = port, .reading = {}};
}

// Every effect parameter a console frame can reach, in the order of the effect channels.
struct EffectState {
    AudioVisualPattern pattern;
    double patternSpeed;
    float brightness, saturation, alpha, speed;
    bool red, green, blue;
    int shifts[3];
    double offsets[6];
    friend bool operator==(const EffectState&, const EffectState&) = default;

    static EffectState now()
    {
        const auto& fx = VideoEffectsManager::shared();
        const auto& s = SettingsManager::shared();
        return {s.selectedPattern(),
                s.patternSpeed(),
                fx.brightness(),
                fx.saturation(),
                fx.alpha(),
                fx.playbackSpeed(),
                fx.redEnabled(),
                fx.greenEnabled(),
                fx.blueEnabled(),
                {fx.redTimeShift(), fx.greenTimeShift(), fx.blueTimeShift()},
                {fx.redHorizontalOffset(), fx.redVerticalOffset(), fx.greenHorizontalOffset(), fx.greenVerticalOffset(),
                 fx.blueHorizontalOffset(), fx.blueVerticalOffset()}};
    }

    // This state after an extended frame starting at `start`, written out field by field, so
    // that a channel read from the wrong slot or applied to the wrong parameter shows.
    EffectState after(const Frame& frame, int start = 1) const
    {
        EffectState e = *this;
        const auto apply = [&](int channel, auto& field, auto reset, auto mapped) {
            const std::uint8_t v = frame[static_cast<std::size_t>(start + channel - 2)];
            if (dmx::effectBand(v) != dmx::EffectBand::unchanged)
                field = dmx::effectBand(v) == dmx::EffectBand::reset ? reset : mapped(v);
        };
        apply(3, e.pattern, AudioVisualPattern::blackScreen, dmx::mappedPattern);
        apply(4, e.patternSpeed, 1.0, dmx::mappedPatternSpeed);
        apply(5, e.brightness, 0.0f, dmx::mappedBrightness);
        apply(6, e.saturation, 1.0f, dmx::mappedSaturation);
        apply(7, e.alpha, 1.0f, dmx::mappedAlpha);
        apply(8, e.speed, 1.0f, dmx::mappedPlaybackSpeed);
        dmx::ColourMask mask{e.red, e.green, e.blue};
        apply(9, mask, dmx::ColourMask{}, dmx::mappedColourMask);
        std::tie(e.red, e.green, e.blue) = std::tuple(mask.red, mask.green, mask.blue);
        for (int i = 0; i < 3; ++i)
            apply(10 + i, e.shifts[i], 0, dmx::mappedTimeShift);
        for (int i = 0; i < 6; ++i)
            apply(13 + i, e.offsets[i], 0.0, dmx::mappedOffset);
        return e;
    }

    friend std::ostream& operator<<(std::ostream& os, const EffectState& e)
    {
        os << static_cast<int>(e.pattern) << " " << e.patternSpeed << " " << e.brightness << " " << e.saturation << " "
           << e.alpha << " " << e.speed << " rgb " << e.red << e.green << e.blue;
        for (double v : {e.shifts[0] * 1.0, e.shifts[1] * 1.0, e.shifts[2] * 1.0, e.offsets[0], e.offsets[1],
                         e.offsets[2], e.offsets[3], e.offsets[4], e.offsets[5]})
            os << " " << v;
        return os;
    }
};

// The timecode sent, with the engine's position at the time.
struct SentTimecode {
    dmx::Timecode timecode;
    int type;
    double position;
};

// A DMX transport without a socket: it counts its starts and records the timecode it is asked to
// send. Its last-frame time is the dynamic property the status document reads from the real services.
class FakeDMXService : public DMXProtocolService {
public:
    explicit FakeDMXService(QString name) : name_(std::move(name)) {}
    QString name() const override { return name_; }
    void startListening() override
    {
        ++starts;
        setListening(true);
    }
    void stopListening() override { setListening(false); }
    void sendTimecode(std::uint8_t h, std::uint8_t m, std::uint8_t s, std::uint8_t f, std::uint8_t type) override
    {
        sent.push_back({{h, m, s, f}, type, engine ? engine->positionOnShow() : -1.0});
    }
    void setLastPacketTime(const QDateTime& time) { setProperty("lastPacketTime", time); }

    const PlaybackEngine* engine = nullptr;
    std::vector<SentTimecode> sent;
    int starts = 0;

private:
    QString name_;
};

class NoCITP : public ListeningService {
public:
    void startListening() override { ++starts; }
    void stopListening() override {}
    int starts = 0;
};

// The controller wired as the application wires it, with transports that open no socket.
struct ControllerRig {
    ControllerRig() { artNet.engine = &engine; }
    FakeDMXService artNet{"Art-Net"};
    FakeDMXService sacn{"sACN"};
    NoCITP citp;
    ProtocolManager manager{artNet, sacn, citp};
    PlaybackEngine engine;
    DMXController controller{manager, engine, nullptr, DMXController::TimecodeTiming::mainThread};
};

// The application's assembly on ports of the test's choosing: a real Art-Net input (its
// timecode to `timecode`) and sACN input, no CITP.
struct WiredController {
    UdpPeer timecode;
    std::uint16_t artNetPort = freeUdpPort();
    std::uint16_t sacnPort = freeUdpPort();
    ArtNetService artNet{artNetOn(artNetPort, timecode.port())};
    SACNService sacn{sacnOn(sacnPort)};
    NoCITP citp;
    ProtocolManager manager{artNet, sacn, citp};
    PlaybackEngine engine;
    DMXController controller{manager, engine};
};

// Nothing of an earlier test's playlist may be restored into the next controller.
inline void forgetLastPlaylist()
{
    SettingsStore store;
    store.remove(Playlist::lastPlaylistKey);
    store.remove(Playlist::lastPlaylistBookmarksKey);
    store.sync();
}

// Tracks named track01, track02, ... on the given files (cycled), an hour apart.
inline QList<MediaTrack> makeTracks(const std::vector<std::string>& files, int count)
{
    QList<MediaTrack> tracks;
    for (int i = 0; i < count; ++i) {
        const std::string& file = files[static_cast<std::size_t>(i) % files.size()];
        tracks.push_back({QUuid::createUuid(), QUrl::fromLocalFile(QString::fromStdString(file)),
                          QString::asprintf("track%02d", i + 1), i * 3600.0, 1});
    }
    return tracks;
}

// A video-only H.264 clip of 160x120 at 25 fps; `variant` gives a different file.
inline std::string clip(double seconds, int variant = 0)
{
    const int frames = static_cast<int>(seconds * 25);
    return MediaFiles::generate(
        "console-clip-" + std::to_string(frames) + "f-" + std::to_string(variant) + ".mp4",
        "videotestsrc num-buffers=" + std::to_string(frames) + " pattern=" + std::to_string(variant % 20) +
            " ! video/x-raw,width=160,height=120,framerate=25/1 ! x264enc speed-preset=ultrafast "
            "key-int-max=25 bframes=0 ! mp4mux ! filesink location={out}");
}

// Runs the steps the controller posted for the frames handled so far, and nothing else.
inline void runPostedSteps(DMXController& controller)
{
    QCoreApplication::sendPostedEvents(&controller, QEvent::MetaCall);
}

inline bool playing(const PlaybackEngine& engine, const MediaTrack& track)
{
    return engine.isPlaying() && !engine.isLoading() && engine.currentTrack() && engine.currentTrack()->id == track.id;
}

} // namespace orvelo::test

#include "core/TimecodeFollower.h"

#include "core/DMXController.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/media/LtcInput.h"
#include "platform/media/MediaPlayer.h"
#include "playback/PlaybackEngine.h"
#include "playback/VideoEffectsManager.h"
#include "settings/TimecodeSettings.h"

#include <variant>

namespace orvelo {

namespace {

QString lockName(TimecodeChase::Lock lock)
{
    switch (lock) {
    case TimecodeChase::Lock::locked:
        return QStringLiteral("locked");
    case TimecodeChase::Lock::freewheel:
        return QStringLiteral("freewheel");
    case TimecodeChase::Lock::lost:
        break;
    }
    return QStringLiteral("lost");
}

} // namespace

TimecodeFollower::TimecodeFollower(DMXController& controller, PlaybackEngine& engine, TimecodeSettings& settings,
                                   QObject* parent)
    : QObject(parent), controller_(controller), engine_(&engine), settings_(settings)
{
    timer_.setInterval(lookInterval);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TimecodeFollower::look);
    connect(&settings_, &TimecodeSettings::changed, this, &TimecodeFollower::configure);
    configure();
}

TimecodeFollower::~TimecodeFollower()
{
    stopLtc();
}

bool TimecodeFollower::following() const
{
    return settings_.source() != TimecodeSettings::Source::console;
}

TimecodeChase::Settings TimecodeFollower::chaseSettings(double framesPerSecond) const
{
    return {settings_.offset().inFrames(framesPerSecond), settings_.followSelectedTrack(), settings_.freewheelFrames()};
}

void TimecodeFollower::configure()
{
    assertMainThread();
    const bool follow = following();
    controller_.setTimecodeOutputEnabled(settings_.source() != TimecodeSettings::Source::artNet);
    followLtc();
    if (follow == timer_.isActive()) {
        chase_.setSettings(chaseSettings(chase_.framesPerSecond()));
        return;
    }
    controller_.setTransportFollowsTimecode(follow);
    chase_.reset();
    chase_.setSettings(chaseSettings(chase_.framesPerSecond()));
    if (follow) {
        timer_.start();
        logLine(settings_.source() == TimecodeSettings::Source::ltc ? "TimecodeFollower: Following LTC"
                                                                    : "TimecodeFollower: Following Art-Net timecode");
    } else {
        timer_.stop();
        // The speed the console or the web set, not the chase's last nudge.
        if (engine_)
            engine_->setPlaybackRate(VideoEffectsManager::shared().playbackSpeed());
        logLine("TimecodeFollower: The console drives the transport");
    }
    emit statusChanged();
}

void TimecodeFollower::followLtc()
{
    const bool wanted = settings_.source() == TimecodeSettings::Source::ltc;
    const std::pair<QString, int> device{settings_.ltcInDevice(), settings_.ltcInChannel()};
    if (wanted && ltcOpenedFor_ == device)
        return;
    stopLtc();
    if (!wanted)
        return;
    ltcOpenedFor_ = device;
    const unsigned run = ++ltcRun_;
    LtcInput::Options options;
    if (!ltcRecording_.isEmpty()) {
        options.source = LtcInput::SourceKind::recording;
        options.location = ltcRecording_.toStdString();
    } else {
        options.source =
            device.first.isEmpty() ? LtcInput::SourceKind::defaultDevice : LtcInput::SourceKind::alsaDevice;
        options.location = device.first.toStdString();
    }
    options.channels = device.second;
    options.channel = device.second - 1;
    const double fps = rawValue(controller_.dmxConfig().frameRate);
    options.expectedFps = static_cast<int>(fps);
    LtcInput::FrameCallback onFrame = [this, run, fps](const LtcDecoder::Frame& frame,
                                                       std::chrono::steady_clock::time_point began) {
        const long long number = frame.timecode.toFrameCount(static_cast<int>(fps));
        postToMain(this, [this, run, number, fps, began] {
            if (run == ltcRun_ && settings_.source() == TimecodeSettings::Source::ltc) {
                chase_.setSettings(chaseSettings(fps));
                chase_.received(number, fps, began);
            }
        });
    };
    LtcInput::EndCallback onEnd = [this, run](const std::optional<LtcInput::Failure>& failure) {
        const QString problem = QString::fromStdString(failure ? failure->message : std::string("LTC input ended"));
        postToMain(this, [this, run, problem] {
            if (run == ltcRun_)
                ltcProblem(problem);
        });
    };
    // Starts wait their turn rather than the main thread: a device can take seconds to open.
    ltcStarts_.post([this, run, options, onFrame = std::move(onFrame), onEnd = std::move(onEnd)] {
        auto started = std::make_shared<std::variant<std::unique_ptr<LtcInput>, LtcInput::Failure>>(
            LtcInput::start(options, onFrame, onEnd));
        postToMain(this, [this, run, started] {
            if (run != ltcRun_)
                return; // a later choice; the input goes with `started`
            if (auto* input = std::get_if<std::unique_ptr<LtcInput>>(started.get())) {
                ltcInput_ = std::move(*input);
                ltcProblem_.clear();
                logLine("TimecodeFollower: Reading LTC");
                emit statusChanged();
            } else {
                ltcProblem(QString::fromStdString(std::get<LtcInput::Failure>(*started).message));
            }
        });
    });
}

void TimecodeFollower::readLtcFrom(const QString& recording)
{
    assertMainThread();
    ltcRecording_ = recording;
    stopLtc();
    followLtc();
}

void TimecodeFollower::stopLtc()
{
    ++ltcRun_;
    ltcOpenedFor_.reset();
    ltcInput_.reset();
    ltcProblem_.clear();
}

void TimecodeFollower::ltcProblem(const QString& problem)
{
    ltcInput_.reset();
    ltcProblem_ = problem;
    logLine("TimecodeFollower: LTC cannot be read: " + problem.toStdString());
    emit statusChanged();
}

void TimecodeFollower::artNetTimecode(const artnet::ArtTimeCode& code)
{
    if (settings_.source() != TimecodeSettings::Source::artNet)
        return;
    chase_.setSettings(chaseSettings(code.framesPerSecond()));
    chase_.received(code.frameOfDay(), code.framesPerSecond(), TimecodeChase::Clock::now());
}

void TimecodeFollower::look()
{
    if (!engine_)
        return;
    TimecodeChase::Player player;
    if (const auto& current = engine_->currentTrack())
        player.track = controller_.playlist().indexOf(current->id);
    // A jam's seek on its way counts as loading: the picture says nothing until it lands, and
    // the moment it lands is when the next decision can be made.
    const MediaPlayer* mediaPlayer = engine_->player();
    const MediaItem* item = mediaPlayer ? mediaPlayer->currentItem().get() : nullptr;
    player.loading = engine_->isLoading() || (item && item->isSeeking());
    player.position = engine_->positionOnShow();
    // The picture really on show is what must match: the pipeline's position runs ahead of it
    // by the frames queued for display. A frame stands for the middle of its time on screen.
    if (const VideoFramePtr frame = mediaPlayer ? mediaPlayer->latestFrame() : nullptr; frame && !player.loading)
        player.position = frame->pts + 0.5 / chase_.framesPerSecond();
    player.playing = engine_->isPlaying();
    apply(chase_.look(player, player.track.value_or(0), TimecodeChase::Clock::now()));
    if (chase_.lock() != lastLock_) {
        lastLock_ = chase_.lock();
        logLine(QStringLiteral("TimecodeFollower: %1 at %2 (error %3 frames)")
                    .arg(lockName(lastLock_), incomingText())
                    .arg(chase_.errorFrames(), 0, 'f', 1)
                    .toStdString());
        emit statusChanged();
    }
}

void TimecodeFollower::apply(const TimecodeChase::Command& command)
{
    PlaybackEngine& engine = *engine_;
    if (command.loadTrack)
        controller_.playTrack(*command.loadTrack);
    if (command.seekTo)
        engine.seek(*command.seekTo);
    if (command.play)
        *command.play ? engine.play() : engine.pause();
    if (command.rate)
        engine.setPlaybackRate(static_cast<float>(*command.rate));
}

QString TimecodeFollower::lockText() const
{
    return following() ? lockName(chase_.lock()) : QStringLiteral("off");
}

QString TimecodeFollower::incomingText() const
{
    const auto frame = chase_.incoming();
    if (!frame || *frame < 0)
        return {};
    const auto fps = static_cast<long long>(chase_.framesPerSecond());
    const long long seconds = *frame / fps;
    return QString::asprintf("%02lld:%02lld:%02lld:%02lld", seconds / 3600 % 24, seconds / 60 % 60, seconds % 60,
                             *frame % fps);
}

} // namespace orvelo

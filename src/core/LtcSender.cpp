#include "core/LtcSender.h"

#include "core/DMXController.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "settings/TimecodeSettings.h"

#include <cmath>
#include <variant>

namespace orvelo {

namespace {

// A new position closer than this to where the signal already is only restates it.
constexpr double sameFrameTolerance = 0.25;

} // namespace

LtcSender::LtcSender(DMXController& controller, TimecodeSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings), fps_(static_cast<int>(rawValue(controller.dmxConfig().frameRate)))
{
    connect(&settings_, &TimecodeSettings::changed, this, &LtcSender::configure);
    connect(&controller, &DMXController::timecodeMoved, this, &LtcSender::moved);
    configure();
}

LtcSender::~LtcSender()
{
    stop();
}

void LtcSender::writeTo(const QString& file)
{
    assertMainThread();
    file_ = file;
    configure();
}

void LtcSender::configure()
{
    assertMainThread();
    if (!settings_.ltcOutEnabled()) {
        const bool was = openedFor_.has_value() || !problem_.isEmpty();
        stop();
        if (was) {
            logLine("LtcSender: LTC output off");
            emit statusChanged();
        }
        return;
    }
    const Target target{settings_.ltcOutDevice(), settings_.ltcOutChannel(), fps_, file_};
    if (openedFor_ == target)
        return;
    stop();
    openedFor_ = target;
    const unsigned run = ++run_;
    LtcOutput::Options options;
    if (!target.file.isEmpty())
        options.sink = LtcOutput::SinkKind::file;
    else
        options.sink = target.device.isEmpty() ? LtcOutput::SinkKind::defaultDevice : LtcOutput::SinkKind::alsaDevice;
    options.location = (target.file.isEmpty() ? target.device : target.file).toStdString();
    options.channels = target.channel;
    options.channel = target.channel - 1;
    options.fps = target.fps;
    LtcOutput::FailureCallback onFailure = [this, run](const LtcOutput::Failure& failure) {
        postToMain(this, [this, run, problem = QString::fromStdString(failure.message)] {
            if (run == run_)
                failed(problem);
        });
    };
    starts_.post([this, run, options, onFailure = std::move(onFailure)] {
        auto started = std::make_shared<std::variant<std::unique_ptr<LtcOutput>, LtcOutput::Failure>>(
            LtcOutput::start(options, onFailure));
        postToMain(this, [this, run, started] {
            if (run != run_)
                return; // a later choice; the output goes with `started`
            if (auto* output = std::get_if<std::unique_ptr<LtcOutput>>(started.get())) {
                output_ = std::move(*output);
                output_->setMotion(motion_);
                problem_.clear();
                logLine(QStringLiteral("LtcSender: Sending LTC at %1 fps on channel %2 of %3")
                            .arg(openedFor_->fps)
                            .arg(openedFor_->channel)
                            .arg(!openedFor_->file.isEmpty()    ? openedFor_->file
                                 : openedFor_->device.isEmpty() ? QStringLiteral("the default output")
                                                                : openedFor_->device)
                            .toStdString());
                emit statusChanged();
            } else {
                failed(QString::fromStdString(std::get<LtcOutput::Failure>(*started).message));
            }
        });
    });
}

void LtcSender::stop()
{
    ++run_;
    openedFor_.reset();
    output_.reset();
    problem_.clear();
}

void LtcSender::failed(const QString& problem)
{
    output_.reset();
    problem_ = problem;
    logLine("LtcSender: LTC cannot be sent: " + problem.toStdString());
    emit statusChanged();
}

void LtcSender::moved(double position, double rate, double framesPerSecond)
{
    if (static_cast<int>(framesPerSecond) != fps_) {
        fps_ = static_cast<int>(framesPerSecond);
        configure();
    }
    const LtcOutput::Motion motion{position * framesPerSecond, rate * framesPerSecond, LtcOutput::Clock::now()};
    if (motion_ && motion_->framesPerSecond == motion.framesPerSecond) {
        const double elapsed = std::chrono::duration<double>(motion.at - motion_->at).count();
        if (std::abs(motion_->frame + motion_->framesPerSecond * elapsed - motion.frame) < sameFrameTolerance)
            return;
    }
    motion_ = motion;
    if (output_)
        output_->setMotion(motion);
}

} // namespace orvelo

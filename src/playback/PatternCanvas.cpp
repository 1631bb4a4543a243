#include "playback/PatternCanvas.h"

#include "platform/MainThread.h"

#include "playback/AudioAnalyzer.h"
#include "playback/PatternState.h"

namespace orvelo {

PatternCanvas::PatternCanvas(PatternState& state, AudioAnalyzer& analyzer, QObject* parent)
    : QObject(parent), state_(state), analyzer_(analyzer),
      renderer_(std::make_unique<PatternRenderer>(state.parameters().selected))
{
    // Only a different pattern starts a new renderer, or the beat memory would not last.
    connect(&state_, &PatternState::selectedPatternChanged, this, [this](AudioVisualPattern pattern) {
        if (pattern == renderer_->pattern())
            return;
        renderer_ = std::make_unique<PatternRenderer>(pattern);
        emit patternChanged();
    });
}

void PatternCanvas::paint(QImage& image)
{
    paint(image, patternTimeNow());
}

void PatternCanvas::paint(QImage& image, double time)
{
    renderer_->draw(image, capture(state_.parameters(), analyzer_, time));
}

PatternFrame PatternCanvas::capture(const PatternParameters& parameters, const AudioAnalyzer& analyzer, double time,
                                    bool ignoreAudioSetting)
{
    PatternFrame frame;
    frame.time = time;
    frame.speed = parameters.speed;
    frame.size = parameters.size;
    frame.gap = parameters.gap;
    frame.color1 = parameters.color1;
    frame.color2 = parameters.color2;
    frame.amplitude = ignoreAudioSetting || parameters.audioReactive ? analyzer.amplitude() : 0.5f;
    frame.beat = analyzer.beatDetected();
    return frame;
}

} // namespace orvelo

#include "playback/PatternCanvas.h"

#include "playback/AudioAnalyzer.h"
#include "settings/SettingsManager.h"

namespace orvelo {

PatternCanvas::PatternCanvas(SettingsManager& settings, AudioAnalyzer& analyzer, QObject* parent)
    : QObject(parent), settings_(settings), analyzer_(analyzer),
      renderer_(std::make_unique<PatternRenderer>(settings.selectedPattern()))
{
    // Every assignment notifies (the DMX channel repeats its value with every frame): only a
    // different pattern starts a new renderer, or the beat memory would never last.
    connect(&settings_, &SettingsManager::selectedPatternChanged, this, [this](AudioVisualPattern pattern) {
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
    renderer_->draw(image, capture(settings_, analyzer_, time));
}

PatternFrame PatternCanvas::capture(const SettingsManager& settings, const AudioAnalyzer& analyzer, double time,
                                    bool ignoreAudioSetting)
{
    PatternFrame frame;
    frame.time = time;
    frame.speed = settings.patternSpeed();
    frame.size = settings.patternSize();
    frame.gap = settings.patternGap();
    frame.color1 = settings.patternColor1();
    frame.color2 = settings.patternColor2();
    frame.amplitude = ignoreAudioSetting || settings.audioReactiveEnabled() ? analyzer.amplitude() : 0.5f;
    frame.beat = analyzer.beatDetected();
    return frame;
}

} // namespace orvelo

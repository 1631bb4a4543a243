#pragma once

#include "playback/PatternFrame.h"
#include "playback/PatternParameters.h"
#include "playback/PatternRenderer.h"

#include <QObject>

#include <memory>

class QImage;

namespace orvelo {

class AudioAnalyzer;
class PatternState;

// The pattern as the output views show it: the renderer for the selected pattern, rebuilt
// whenever the selection changes (which restarts the audio patterns' beat memory), fed with the
// pattern parameters and the analyser's levels as they stand when a frame is painted. The
// preview and the output window each hold one. Main thread.
class PatternCanvas : public QObject {
    Q_OBJECT

public:
    PatternCanvas(PatternState& state, AudioAnalyzer& analyzer, QObject* parent = nullptr);

    AudioVisualPattern pattern() const { return renderer_->pattern(); }

    // Draws one frame over the whole of `image` (premultiplied ARGB32) at pattern time `time`
    // (patternTimeNow() by default).
    void paint(QImage& image);
    void paint(QImage& image, double time);

    // The values a pattern frame is drawn from. The audio patterns follow the analyser's
    // amplitude only while audio reaction is on (else 0.5); the beat flag always counts.
    // `ignoreAudioSetting` takes the analyser's amplitude regardless, as the NDI source does.
    static PatternFrame capture(const PatternParameters& parameters, const AudioAnalyzer& analyzer, double time,
                                bool ignoreAudioSetting = false);

signals:
    // The selection changed and a new renderer took over: the picture must be redrawn.
    void patternChanged();

private:
    PatternState& state_;
    AudioAnalyzer& analyzer_;
    std::unique_ptr<PatternRenderer> renderer_;
};

} // namespace orvelo

#pragma once

#include "ndi/NDIFPS.h"
#include "ndi/NDIFrameScaler.h"
#include "ndi/NDIRuntime.h"
#include "platform/media/VideoFrame.h"
#include "playback/AudioVisualPattern.h"
#include "playback/BgraConverter.h"
#include "playback/EffectParameters.h"
#include "playback/EffectPipeline.h"
#include "playback/FrameHistory.h"
#include "playback/PatternFrame.h"
#include "playback/PatternRenderer.h"

#include <memory>

namespace orvelo {

// One tick of the NDI source, as the main thread decided it: which picture, from what, and
// how to send it. Everything the frame work needs is in here, so it runs off the main thread.
struct NDIFrameJob {
    enum class Source {
        video,   // a frame of the playing item or the background video
        pattern, // the selected pattern, drawn afresh
    };
    Source source = Source::pattern;
    VideoFramePtr video; // Video: as the player presented it, effects already applied
    AudioVisualPattern pattern = AudioVisualPattern::blackScreen;
    PatternFrame patternFrame;
    EffectParameters effects; // applied to pattern frames
    int divisor = 1;
    NDIFPS fps = NDIFPS::fps25;
    std::shared_ptr<NDISender> sender;
};

// Makes and sends the NDI frames, on the service's worker thread. Video frames come composed
// by the player's compositor and go out as they are (converted to BGRA, scaled); pattern
// frames are drawn into one reused 1920 x 1080 frame and given the live effects through the
// same pipeline as the compositor, with a history of their own (one entry per pattern tick;
// the history starts afresh whenever video goes out, so no delay reaches across). A video
// frame sent again (no newer one has arrived) reuses its prepared picture. Not thread-safe.
class NDIFrameWorker {
public:
    static constexpr int patternWidth = 1920;
    static constexpr int patternHeight = 1080;

    // The BGRA frame the job sends, or null when this tick sends nothing.
    VideoFramePtr render(const NDIFrameJob& job);
    // Renders and sends; whether something was sent.
    bool process(const NDIFrameJob& job);
    // Forgets the pattern history and the last video picture (broadcasting stopped).
    void reset();

    // The runtime's description of `frame` (BGRA, stride, N/D rate, progressive, timecode
    // made up by the runtime).
    static ndi::VideoFrameV2 describe(const VideoFrame& frame, NDIFPS fps);

private:
    VideoFramePtr renderVideo(const NDIFrameJob& job);
    VideoFramePtr renderPattern(const NDIFrameJob& job);
    VideoFramePtr scaled(const VideoFramePtr& frame, int divisor);

    BgraConverter converter_;
    NDIFrameScaler scaler_;
    FrameHistory history_;
    EffectPipeline pipeline_;
    std::unique_ptr<PatternRenderer> renderer_;
    std::shared_ptr<VideoFrame> patternBuffer_;
    VideoFramePtr lastVideoSource_;
    VideoFramePtr lastVideoResult_;
    int lastVideoDivisor_ = 0;
};

} // namespace orvelo

#pragma once

#include <QString>

namespace orvelo {

// What the output surfaces show, decided from three facts: whether the engine has a player
// yet, whether the current track has a picture, and whether a background video is set up.
struct OutputDecision {
    bool engineHasPlayer = false;
    bool hasVideoTrack = false;
    bool hasDefaultVideoPlayer = false;

    // An audio-only track with a background video: the background video stands in for it.
    bool shouldUseDefaultVideo() const { return !hasVideoTrack && hasDefaultVideoPlayer; }

    enum class Preview {
        idle,         // no player yet: the placeholder
        engineVideo,  // the track's own picture
        defaultVideo, // the background video
        pattern,      // the selected pattern
    };
    Preview preview() const;

    // What "Open Fullscreen" hands the output window: which player and whether to show it
    // as video (else the pattern).
    struct Fullscreen {
        bool useDefaultVideoPlayer = false;
        bool hasVideoTrack = false;
    };
    Fullscreen fullscreen() const;
};

// What an output window shows, fixed when it opens.
enum class ExternalContent {
    noSignal, // opened without a player
    pattern,  // a player without a picture
    video,    // the player's picture
};
ExternalContent externalContentFor(bool hasPlayer, bool hasVideoTrack);

// The screen picker's entry for display `index` of `screenCount`: "Main Display" for the
// first, "Display n" (counting from 1) for the others, "Unknown" past the end.
QString screenName(int index, int screenCount);

} // namespace orvelo

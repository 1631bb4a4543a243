#pragma once

#include <string_view>

namespace orvelo {

// What the engine is doing, as the views and the web remote show it. A failed load is its own
// state, so that a track that cannot play never reads as stopped or playing. The raw values
// are the web API's.
enum class PlaybackState { stopped, loading, playing, paused, failed };

constexpr std::string_view rawValue(PlaybackState state)
{
    switch (state) {
    case PlaybackState::loading:
        return "loading";
    case PlaybackState::playing:
        return "playing";
    case PlaybackState::paused:
        return "paused";
    case PlaybackState::failed:
        return "failed";
    case PlaybackState::stopped:
        break;
    }
    return "stopped";
}

} // namespace orvelo

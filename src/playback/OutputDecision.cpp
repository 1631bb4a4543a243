#include "playback/OutputDecision.h"

namespace orvelo {

OutputDecision::Preview OutputDecision::preview() const
{
    if (!engineHasPlayer)
        return Preview::Idle;
    if (hasVideoTrack)
        return Preview::EngineVideo;
    if (shouldUseDefaultVideo())
        return Preview::DefaultVideo;
    return Preview::Pattern;
}

OutputDecision::Fullscreen OutputDecision::fullscreen() const
{
    const bool useDefault = shouldUseDefaultVideo();
    return {useDefault, hasVideoTrack || useDefault};
}

ExternalContent externalContentFor(bool hasPlayer, bool hasVideoTrack)
{
    if (!hasPlayer)
        return ExternalContent::NoSignal;
    return hasVideoTrack ? ExternalContent::Video : ExternalContent::Pattern;
}

QString screenName(int index, int screenCount)
{
    if (index < 0 || index >= screenCount)
        return QStringLiteral("Unknown");
    if (index == 0)
        return QStringLiteral("Main Display");
    return QStringLiteral("Display %1").arg(index + 1);
}

} // namespace orvelo

#include "playback/OutputDecision.h"

namespace orvelo {

OutputDecision::Preview OutputDecision::preview() const
{
    if (!engineHasPlayer)
        return Preview::idle;
    if (hasVideoTrack)
        return Preview::engineVideo;
    if (shouldUseDefaultVideo())
        return Preview::defaultVideo;
    return Preview::pattern;
}

OutputDecision::Fullscreen OutputDecision::fullscreen() const
{
    const bool useDefault = shouldUseDefaultVideo();
    return {useDefault, hasVideoTrack || useDefault};
}

ExternalContent externalContentFor(bool hasPlayer, bool hasVideoTrack)
{
    if (!hasPlayer)
        return ExternalContent::noSignal;
    return hasVideoTrack ? ExternalContent::video : ExternalContent::pattern;
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

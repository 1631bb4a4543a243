#include "app/ControllerCITPSource.h"

#include "core/DMXController.h"

namespace orvelo {

ControllerCITPSource::ControllerCITPSource(DMXController& controller)
    : CITPDataSource(&controller), controller_(&controller)
{
}

std::vector<MediaTrack> ControllerCITPSource::getPlaylist() const
{
    if (!controller_)
        return {};
    const auto tracks = controller_->getPlaylist();
    return {tracks.begin(), tracks.end()};
}

} // namespace orvelo

#pragma once

#include "citp/CITPDataSource.h"

#include <QPointer>

namespace orvelo {

class DMXController;

// Lists the controller's playlist as the CITP media library. A child of the controller, so the
// CITP service's weak reference ends with it.
class ControllerCITPSource : public CITPDataSource {
    Q_OBJECT
public:
    explicit ControllerCITPSource(DMXController& controller);
    std::vector<MediaTrack> getPlaylist() const override;

private:
    QPointer<DMXController> controller_;
};

} // namespace orvelo

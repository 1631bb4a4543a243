#pragma once

#include "playback/MediaTrack.h"

#include <QObject>

#include <vector>

namespace orvelo {

// What the CITP service lists as its media library: the playlist, supplied by the DMX
// controller. A QObject so the service can hold it weakly (QPointer): when the source is gone,
// the library reads as empty.
class CITPDataSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The current playlist tracks, in order. Called on the main thread.
    virtual std::vector<MediaTrack> getPlaylist() const = 0;
};

} // namespace orvelo

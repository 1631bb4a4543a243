#pragma once

namespace orvelo {

// How often consoles asked for the media library, thumbnails and layer information.
struct MSEXStats {
    int libraryRequests = 0;
    int thumbnailsServed = 0;
    int layerInfoRequests = 0;

    friend bool operator==(const MSEXStats&, const MSEXStats&) = default;
};

} // namespace orvelo

#pragma once

namespace orvelo {

// A network service that the protocol manager switches on and off: the CITP presence, which
// lives above this module and implements this to be handed in.
class ListeningService {
public:
    virtual ~ListeningService() = default;
    virtual void startListening() = 0;
    virtual void stopListening() = 0;
};

} // namespace orvelo

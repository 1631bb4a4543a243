#pragma once

#include "net/LightingInterface.h"
#include "net/NetworkManager.h"

#include <QObject>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QTimer;

namespace orvelo {

// The interface the lighting protocols (Art-Net, RDM, sACN, CITP) use, chosen by its address.
// A chosen interface that is not up falls back to automatic, with a log line, and is taken
// again when it returns; the system is looked at every two seconds for that. Choose and
// refresh on the main thread; `current` and `ownAddress` from any thread.
class LightingNetwork : public QObject {
    Q_OBJECT
public:
    using Enumerate = std::function<std::vector<NetworkInterface>()>;

    explicit LightingNetwork(Enumerate enumerate = &NetworkManager::getAvailableInterfaces, QObject* parent = nullptr);

    // An empty or absent address means automatic.
    void choose(const std::optional<std::string>& address, const std::optional<std::string>& broadcast);
    // Looks at the system anew; emits `changed` when what the protocols use changed.
    void refresh();

    LightingInterface current() const;
    // What the node reports as its own address: the chosen interface's while it is up, else the
    // primary interface's.
    std::optional<std::string> ownAddress() const;

signals:
    void changed();

private:
    Enumerate enumerate_;
    std::string chosenAddress_;
    QTimer* timer_ = nullptr;
    mutable std::mutex mutex_;
    LightingInterface current_;
};

} // namespace orvelo

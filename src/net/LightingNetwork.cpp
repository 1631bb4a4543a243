#include "net/LightingNetwork.h"

#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QTimer>

namespace orvelo {

namespace {

constexpr int lookIntervalMs = 2000;

std::string described(const NetworkInterface& interface)
{
    return interface.name + " (" + interface.ipAddress + ")";
}

} // namespace

LightingNetwork::LightingNetwork(Enumerate enumerate, QObject* parent)
    : QObject(parent), enumerate_(std::move(enumerate)), timer_(new QTimer(this))
{
    timer_->setInterval(lookIntervalMs);
    connect(timer_, &QTimer::timeout, this, &LightingNetwork::refresh);
    timer_->start();
}

void LightingNetwork::choose(const std::optional<std::string>& address, const std::optional<std::string>& broadcast)
{
    assertMainThread();
    const std::string wanted = address.value_or(std::string());
    const std::string broadcastSetting = broadcast.value_or(std::string());
    bool broadcastChanged = false;
    {
        std::lock_guard lock(mutex_);
        broadcastChanged = current_.broadcastSetting != broadcastSetting;
        current_.broadcastSetting = broadcastSetting;
    }
    if (wanted == chosenAddress_) {
        if (broadcastChanged)
            emit changed();
        return;
    }
    chosenAddress_ = wanted;
    if (wanted.empty()) {
        {
            std::lock_guard lock(mutex_);
            current_.chosen.reset();
        }
        logLine("LightingNetwork: Lighting protocols on the automatic interface");
        emit changed();
        return;
    }
    const auto found = interfaceWithAddress(enumerate_(), wanted);
    {
        std::lock_guard lock(mutex_);
        current_.chosen = found;
    }
    if (found)
        logLine("LightingNetwork: Lighting protocols on " + described(*found));
    else
        logLine("LightingNetwork: Interface " + wanted + " is not available - using the automatic interface");
    emit changed();
}

void LightingNetwork::refresh()
{
    assertMainThread();
    if (chosenAddress_.empty())
        return;
    const auto found = interfaceWithAddress(enumerate_(), chosenAddress_);
    std::optional<NetworkInterface> before;
    {
        std::lock_guard lock(mutex_);
        before = current_.chosen;
        if (found.has_value() == before.has_value() && (!found || sameInterface(*found, *before)))
            return;
        current_.chosen = found;
    }
    if (!found)
        logLine("LightingNetwork: Interface " + chosenAddress_ + " is gone - using the automatic interface");
    else if (!before)
        logLine("LightingNetwork: Interface " + chosenAddress_ + " is back - lighting protocols on " +
                described(*found));
    else
        logLine("LightingNetwork: Lighting protocols on " + described(*found));
    emit changed();
}

LightingInterface LightingNetwork::current() const
{
    std::lock_guard lock(mutex_);
    return current_;
}

std::optional<std::string> LightingNetwork::ownAddress() const
{
    {
        std::lock_guard lock(mutex_);
        if (current_.chosen)
            return current_.chosen->ipAddress;
    }
    return NetworkManager::getLocalIPAddress();
}

} // namespace orvelo

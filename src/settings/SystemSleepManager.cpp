#include "settings/SystemSleepManager.h"

#include "platform/MainThread.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusReply>

namespace orvelo {

namespace {

const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString path = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString interface = QStringLiteral("org.freedesktop.ScreenSaver");
// The call blocks the main thread: a screen saver that does not answer must not hang the show.
constexpr int callTimeoutMs = 2000;

} // namespace

SystemSleepManager& SystemSleepManager::shared()
{
    // Deliberately leaked: the inhibition ends with the process.
    static auto* instance = new SystemSleepManager(QDBusConnection::sessionBus());
    return *instance;
}

SystemSleepManager::SystemSleepManager(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus))
{
    enable();
}

void SystemSleepManager::setPreventSleep(bool prevent)
{
    assertMainThread();
    preventSleep_ = prevent;
    emit preventSleepChanged(prevent);
    if (prevent)
        enable();
    else
        disable();
}

void SystemSleepManager::enable()
{
    if (assertionID_ != 0)
        return;
    auto call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Inhibit"));
    call << QStringLiteral("Orvelo") << QStringLiteral("Orvelo Playback");
    const QDBusReply<uint> reply = bus_.call(call, QDBus::Block, callTimeoutMs);
    // A cookie of 0 could not be told from "nothing held", so it counts as a failure.
    if (reply.isValid() && reply.value() != 0) {
        assertionID_ = reply.value();
        logLine("SystemSleepManager: Sleep prevention enabled");
    } else {
        assertionID_ = 0;
        logLine("SystemSleepManager: Failed to enable sleep prevention");
    }
}

void SystemSleepManager::disable()
{
    if (assertionID_ == 0)
        return;
    auto call = QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("UnInhibit"));
    call << static_cast<uint>(assertionID_);
    const QDBusMessage reply = bus_.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        logLine("SystemSleepManager: Sleep prevention disabled");
    else
        logLine("SystemSleepManager: Failed to disable sleep prevention");
    assertionID_ = 0;
}

} // namespace orvelo

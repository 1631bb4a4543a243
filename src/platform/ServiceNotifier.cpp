#include "platform/ServiceNotifier.h"

#include "platform/Log.h"

#include <systemd/sd-daemon.h>

#include <algorithm>

namespace orvelo {

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent)
{
    std::uint64_t microseconds = 0;
    if (sd_watchdog_enabled(0, &microseconds) <= 0 || microseconds == 0)
        return;
    // Twice within each period, as the service manager asks, so one late turn is not a restart.
    watchdog_.setInterval(static_cast<int>(std::clamp<std::uint64_t>(microseconds / 2000, 1, 60'000)));
    connect(&watchdog_, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
    watchdog_.start();
    logLine("ServiceNotifier: The service manager's watchdog gets a sign of life every " +
            std::to_string(watchdog_.interval()) + " ms");
}

void ServiceNotifier::ready()
{
    sd_notify(0, "READY=1");
}

} // namespace orvelo

#include "platform/QuitOnSignals.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace orvelo {

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int signo)
{
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] auto n = ::write(signalPipe[0], &byte, 1);
}
} // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalPipe[1], &byte, 1) == 1)
            logLine("Orvelo: Received signal " + std::to_string(static_cast<int>(byte)) + ", quitting");
        notifier_->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitOnSignals::~QuitOnSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace orvelo

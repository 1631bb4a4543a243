#include "net/DatagramReceiver.h"

#include "net/SocketSupport.h"
#include "platform/Log.h"

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace orvelo {

namespace {

using socketsupport::setFlag;
using socketsupport::systemText;

// A socket short of memory is looked at again this soon rather than in a tight loop.
constexpr int shortageWaitMs = 10;

ssize_t systemReceive(int fd, void* buffer, std::size_t size, sockaddr_in* from)
{
    socklen_t length = sizeof *from;
    return ::recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(from), &length);
}

} // namespace

std::string ReceiveFailure::text() const
{
    switch (step) {
    case Step::createSocket:
        return "Failed to create socket: " + systemText(error);
    case Step::bind:
        return "Failed to bind: " + systemText(error);
    case Step::receive:
        break;
    }
    return "Receive error: " + systemText(error);
}

DatagramReceiver::DatagramReceiver(Options options, DatagramHandler onDatagram, FailureHandler onFailure)
    : options_(std::move(options)), receive_(options_.reading.receive ? options_.reading.receive : systemReceive),
      onDatagram_(std::move(onDatagram)), onFailure_(std::move(onFailure)), buffer_(options_.maxDatagram)
{
}

DatagramReceiver::~DatagramReceiver()
{
    close();
}

std::optional<ReceiveFailure> DatagramReceiver::start()
{
    if (isOpen())
        return std::nullopt;
    const auto fail = [this](ReceiveFailure::Step step) {
        const ReceiveFailure failure{step, errno};
        close();
        logLine(options_.logName + ": " + failure.text());
        return failure;
    };
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return fail(ReceiveFailure::Step::createSocket);
    wakeFD_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFD_ < 0)
        return fail(ReceiveFailure::Step::createSocket);
    setFlag(fd_, SO_REUSEADDR);
    setFlag(fd_, SO_REUSEPORT);
    setFlag(fd_, SO_BROADCAST);
    if (options_.receiveBufferBytes > 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &options_.receiveBufferBytes, sizeof options_.receiveBufferBytes);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail(ReceiveFailure::Step::bind);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);

    stopping_ = false;
    retriedErrors_.clear();
    if (options_.reading.ownThread) {
        thread_ = std::thread([this] { receiveLoop(); });
        // Named from here, so the name is in place by the time start returns.
        ::pthread_setname_np(thread_.native_handle(), options_.threadName.c_str());
    }
    return std::nullopt;
}

void DatagramReceiver::close()
{
    stopping_ = true;
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFD_, &one, sizeof one);
        thread_.join();
    }
    for (int* fd : {&fd_, &wakeFD_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    port_ = 0;
}

bool DatagramReceiver::pollOnce(std::chrono::milliseconds timeout)
{
    if (!isOpen())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        using std::chrono::milliseconds;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        switch (readOne(static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)))) {
        case Read::datagram:
            return true;
        case Read::stop:
            return false;
        case Read::nothing:
            if (left.count() <= 0)
                return false;
            break;
        }
    }
}

void DatagramReceiver::receiveLoop()
{
    while (!stopping_) {
        if (readOne(-1) == Read::stop)
            return;
    }
}

DatagramReceiver::Read DatagramReceiver::readOne(int waitMs)
{
    sockaddr_in from{};
    const ssize_t n = receive_(fd_, buffer_.data(), buffer_.size(), &from);
    if (n > 0) {
        onDatagram_({buffer_.data(), static_cast<std::size_t>(n)}, from);
        return Read::datagram;
    }
    // An empty datagram carries nothing to decode.
    if (n == 0)
        return Read::nothing;
    const int error = errno;
    if (stopping_)
        return Read::stop;
    if (error == EAGAIN || error == EWOULDBLOCK)
        return waitForData(waitMs) ? Read::stop : Read::nothing;
    if (error == EINTR)
        return Read::nothing;
    if (error == ECONNREFUSED) {
        noteRetry(error);
        return Read::nothing;
    }
    if (error == ENOBUFS || error == ENOMEM) {
        noteRetry(error);
        const int pause = waitMs < 0 ? shortageWaitMs : std::min(waitMs, shortageWaitMs);
        return waitForData(pause) ? Read::stop : Read::nothing;
    }
    const ReceiveFailure failure{ReceiveFailure::Step::receive, error};
    logLine(options_.logName + ": " + failure.text());
    onFailure_(failure);
    return Read::stop;
}

bool DatagramReceiver::waitForData(int waitMs) const
{
    pollfd waitFor[2] = {{fd_, POLLIN, 0}, {wakeFD_, POLLIN, 0}};
    return ::poll(waitFor, 2, waitMs) > 0 && (waitFor[1].revents & POLLIN);
}

void DatagramReceiver::noteRetry(int error)
{
    if (std::find(retriedErrors_.begin(), retriedErrors_.end(), error) != retriedErrors_.end())
        return;
    retriedErrors_.push_back(error);
    logLine(options_.logName + ": Reading on after a passing receive failure: " + systemText(error));
}

} // namespace orvelo

#include "net/SACNService.h"

#include "net/InputNote.h"
#include "net/NetworkManager.h"
#include "net/SocketSupport.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

namespace orvelo {

namespace {

using socketsupport::systemText;
using socketsupport::isTransient;
using socketsupport::setFlag;

constexpr std::size_t receiveBufferSize = 1500;
constexpr int noteIntervalMs = 1000;

ssize_t systemReceive(int fd, void* buffer, std::size_t size)
{
    return ::recv(fd, buffer, size, MSG_DONTWAIT);
}

// Universes 1-16 through their groups; a group that cannot be joined leaves unicast and the
// other groups working, so failures are not examined.
void joinUniverseGroups(int socket, const std::string& localAddress)
{
    in_addr interfaceAddress{};
    if (::inet_pton(AF_INET, localAddress.c_str(), &interfaceAddress) != 1)
        interfaceAddress.s_addr = htonl(INADDR_ANY);
    for (int universe = SACNPacket::firstMulticastUniverse; universe <= SACNPacket::lastMulticastUniverse; ++universe) {
        ip_mreq request{};
        request.imr_multiaddr.s_addr = htonl(SACNPacket::multicastGroup(universe));
        request.imr_interface = interfaceAddress;
        ::setsockopt(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    }
}

// Waits a little on the stop signal only, so that a socket short of memory is not polled in a
// tight loop.
void pauseUnlessWoken(int wake)
{
    pollfd fd{wake, POLLIN, 0};
    ::poll(&fd, 1, 5);
}

} // namespace

SACNService::SACNService(QObject* parent)
    : SACNService(Options{}, parent)
{
}

SACNService::SACNService(Options options, QObject* parent)
    : DMXProtocolService(parent)
    , options_{options.port, options.receive ? std::move(options.receive) : systemReceive}
    , lastDMXValues_(SACNPacket::maxSlots, 0)
{
}

SACNService::~SACNService()
{
    closeReceiver();
}

void SACNService::startListening()
{
    if (socketFD_ != -1) {
        logLine("sACNService: Already listening");
        return;
    }

    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        failStart("create socket", errno, -1);
        return;
    }
    setFlag(socket, SO_REUSEADDR);
    setFlag(socket, SO_REUSEPORT);
    setFlag(socket, SO_BROADCAST);

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(options_.port);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failStart("bind", errno, socket);
        return;
    }

    const std::string localAddress = NetworkManager::getLocalIPAddress().value_or("0.0.0.0");
    logLine("sACNService: Using local IP " + localAddress + " for multicast membership");
    joinUniverseGroups(socket, localAddress);

    // Wakes the receive thread out of poll() when stopping.
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        failStart("create socket", errno, socket);
        return;
    }

    socketFD_ = socket;
    wakeFD_ = wake;
    shouldStop_.store(false);
    const unsigned run = ++run_;
    postToMain(this, [this] {
        setListening(true);
        setError(std::nullopt);
    });
    logLine("sACNService: Listening on port " + std::to_string(options_.port) + " (BSD socket with multicast)");
    receiveThread_ = std::thread([this, socket, wake, run] { receiveLoop(socket, wake, run); });
    // Named from here, so the name is in place by the time start returns.
    ::pthread_setname_np(receiveThread_.native_handle(), "sACNReceiver");
    noteTimer_ = new QTimer(this);
    noteTimer_->setInterval(noteIntervalMs);
    connect(noteTimer_, &QTimer::timeout, this, &SACNService::refreshInputNote);
    noteTimer_->start();
}

void SACNService::stopListening()
{
    closeReceiver();
    foreign_.forget();
    setInputNote({});
    postToMain(this, [this] { setListening(false); });
    logLine("sACNService: Stopped listening");
}

void SACNService::sendTimecode(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t)
{
    logLine("sACN Timecode sending not implemented (Use Art-Net for Timecode)");
}

void SACNService::failStart(const char* step, int error, int socket)
{
    const std::string text = systemText(error);
    logLine(std::string("sACNService: Failed to ") + step + ": " + text);
    if (socket >= 0)
        ::close(socket);
    const QString published = QStringLiteral("Failed to %1: %2").arg(step, QString::fromStdString(text));
    postToMain(this, [this, published] { setError(published); });
}

// Leaves no receive thread behind: it is woken, joined, and only then are the descriptors it
// used closed (which also drops the group memberships).
void SACNService::closeReceiver()
{
    shouldStop_.store(true);
    delete noteTimer_;
    noteTimer_ = nullptr;
    if (socketFD_ < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFD_, &one, sizeof one);
    if (receiveThread_.joinable())
        receiveThread_.join();
    ::close(socketFD_);
    ::close(wakeFD_);
    socketFD_ = -1;
    wakeFD_ = -1;
}

void SACNService::receiveLoop(int socket, int wake, unsigned run)
{
    std::array<std::uint8_t, receiveBufferSize> buffer;
    std::array<pollfd, 2> fds{pollfd{socket, POLLIN, 0}, pollfd{wake, POLLIN, 0}};

    while (!shouldStop_.load()) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (isTransient(errno))
                continue;
            reportReceiveFailure(errno, run);
            return;
        }
        if (fds[1].revents != 0)
            return;
        // Take everything that is queued before sleeping again.
        while (!shouldStop_.load()) {
            const ssize_t received = options_.receive(socket, buffer.data(), buffer.size());
            if (received > 0) {
                acceptDatagram(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(received)));
                continue;
            }
            if (received == 0)
                continue;
            const int error = errno;
            if (error == EAGAIN || error == EWOULDBLOCK)
                break;
            if (error == ENOBUFS || error == ENOMEM)
                pauseUnlessWoken(wake);
            if (isTransient(error))
                continue;
            reportReceiveFailure(error, run);
            return;
        }
    }
}

void SACNService::acceptDatagram(std::span<const std::uint8_t> datagram)
{
    const auto packet = SACNPacket::decode(datagram);
    if (!packet)
        return;
    if (packet->universe != expectedUniverse.load())
        foreign_.count(packet->universe);
    std::vector<std::uint8_t> values(SACNPacket::maxSlots, 0);
    std::copy(packet->slotValues.begin(), packet->slotValues.end(), values.begin());
    postToMain(this, [this, values = std::move(values), universe = packet->universe]() mutable {
        publishFrame(std::move(values), universe);
    });
}

void SACNService::publishFrame(std::vector<std::uint8_t> values, std::uint16_t universe)
{
    lastPacketTime_ = QDateTime::currentDateTime();
    emit lastPacketTimeChanged();
    lastDMXValues_ = std::move(values);
    emit lastDMXValuesChanged(lastDMXValues_);
    const std::string kind = "sACN DMX Update: Universe=" + std::to_string(universe);
    logLine(kind + ", Ch1=" + std::to_string(lastDMXValues_.front()), kind);
}

void SACNService::refreshInputNote()
{
    const int own = expectedUniverse.load();
    foreign_.look(own, ForeignUniverses::Clock::now());
    const QString note = QString::fromStdString(inputnote::sACN(foreign_.heard(), own));
    if (note == inputNote())
        return;
    logLine(note.isEmpty() ? "sACNService: No sACN for other universes any more (" +
                                 std::to_string(foreign_.frames()) + " frames seen)"
                           : "sACNService: " + note.toStdString());
    setInputNote(note);
}

void SACNService::reportReceiveFailure(int error, unsigned run)
{
    if (shouldStop_.load())
        return;
    const std::string text = systemText(error);
    logLine("sACNService: Receive error: " + text);
    const QString published = QStringLiteral("Receive error: ") + QString::fromStdString(text);
    postToMain(this, [this, run, published] { failReceiving(run, published); });
}

// A receiver that can no longer read is closed, so that it does not claim to listen and a
// later start opens a fresh socket.
void SACNService::failReceiving(unsigned run, const QString& text)
{
    if (run != run_ || socketFD_ < 0)
        return;
    closeReceiver();
    foreign_.forget();
    setInputNote({});
    setListening(false);
    setError(text);
}

} // namespace orvelo

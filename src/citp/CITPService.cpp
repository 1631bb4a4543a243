#include "citp/CITPService.h"

#include "citp/CITPPacket.h"
#include "citp/CITPTCPServer.h"
#include "net/NetworkManager.h"
#include "net/SocketSupport.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QTimer>

#include <arpa/inet.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <future>

namespace orvelo {

namespace {

using socketsupport::systemText;
using socketsupport::setFlag;

constexpr std::size_t receiveBufferSize = 65535;
constexpr int multicastTTL = 2;
constexpr int thumbnailWorkers = 2;

std::string dotted(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::optional<sockaddr_in> endpoint(const std::string& address, std::uint16_t port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        return std::nullopt;
    return to;
}

// Peers choose these texts; control bytes would break the one-line-per-event log.
std::string printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            c = '?';
    return text;
}

std::vector<std::uint8_t> copyOf(std::span<const std::uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

} // namespace

CITPService::CITPService(QObject* parent) : CITPService(Options{}, parent) {}

CITPService::CITPService(Options options, QObject* parent) : QObject(parent), options_(std::move(options))
{
    thumbnailPool_.setMaxThreadCount(thumbnailWorkers);
    CITPTCPServer::Handlers handlers;
    handlers.connectionsChanged = [this] {
        postToMain(this, [this] { setTcpConnectionCount(tcpServer_->openConnections()); });
    };
    handlers.received = [this](const std::string& address, std::span<const std::uint8_t> bytes) {
        postRecord("Rx/TCP", address, "Received " + std::to_string(bytes.size()) + " bytes", bytes);
    };
    handlers.message = [this](const std::string&, std::span<const std::uint8_t> message) {
        return answerTcpMessage(message);
    };
    handlers.sent = [this](const std::string& address, std::span<const std::uint8_t> bytes) {
        postRecord("Tx/TCP", "To: " + address, "Sent " + std::to_string(bytes.size()) + " bytes", bytes);
    };
    tcpServer_ = std::make_unique<CITPTCPServer>(
        CITPTCPServer::Options{options_.tcpPort, options_.maxTcpClients, options_.tcpIdleTimeout}, std::move(handlers));
}

CITPService::~CITPService()
{
    closeEverything();
    // Thumbnail tasks post back to this object; none may outlive it.
    thumbnailPool_.clear();
    thumbnailPool_.waitForDone();
}

std::uint16_t CITPService::tcpPort() const
{
    return tcpServer_->port();
}

void CITPService::startListening()
{
    if (socketFD_ != -1)
        return;
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        failStart("Failed to create socket: ", systemText(errno), -1);
        return;
    }
    setFlag(socket, SO_REUSEADDR);
    setFlag(socket, SO_REUSEPORT);
    setFlag(socket, SO_BROADCAST);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(options_.udpPort);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failStart("Failed to bind: ", systemText(errno), socket);
        return;
    }
    // Wakes the receive thread out of poll() when stopping.
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        failStart("Failed to create socket: ", systemText(errno), socket);
        return;
    }
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    boundUdpPort_ = ntohs(address.sin_port);

    in_addr local{};
    const auto localAddress = NetworkManager::getLocalIPAddress();
    if (localAddress && ::inet_pton(AF_INET, localAddress->c_str(), &local) == 1) {
        ip_mreq membership{};
        membership.imr_interface = local;
        if (::inet_pton(AF_INET, options_.multicastGroup.c_str(), &membership.imr_multiaddr) == 1 &&
            ::setsockopt(socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0)
            logLine("CITPService: Joined multicast group " + options_.multicastGroup + " on " + *localAddress);
        else
            logLine("CITPService: Failed to join multicast group: " + systemText(errno));
        ::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_IF, &local, sizeof local);
        const int ttl = multicastTTL;
        ::setsockopt(socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    }

    socketFD_ = socket;
    wakeFD_ = wake;
    shouldStop_ = false;
    const unsigned run = ++run_;
    setListening(true);
    setError(std::nullopt);
    logLine("CITPService: Listening on port " + std::to_string(boundUdpPort_) + " (BSD socket with Multicast)");
    receiveThread_ = std::thread([this, socket, wake, run] { receiveLoop(socket, wake, run); });
    ::pthread_setname_np(receiveThread_.native_handle(), "CITPReceiver");

    broadcastTimer_ = new QTimer(this);
    broadcastTimer_->setInterval(options_.announceInterval);
    connect(broadcastTimer_, &QTimer::timeout, this, &CITPService::announce);
    broadcastTimer_->start();

    // Without TCP the server still announces itself and answers over UDP.
    tcpServer_->start();
}

void CITPService::stopListening()
{
    closeEverything();
    logLine("CITPService: Stopped listening (UDP + TCP)");
    setListening(false);
    setTcpConnectionCount(0);
}

void CITPService::closeEverything()
{
    shouldStop_ = true;
    delete broadcastTimer_;
    broadcastTimer_ = nullptr;
    if (receiveThread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFD_, &one, sizeof one);
        receiveThread_.join();
    }
    tcpServer_->stop();
    for (int* fd : {&socketFD_, &wakeFD_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    boundUdpPort_ = 0;
}

void CITPService::failStart(const std::string& what, const std::string& text, int socket)
{
    logLine("CITPService: " + what + text);
    if (socket >= 0)
        ::close(socket);
    setError(QString::fromStdString(what + text));
}

void CITPService::receiveFailed(unsigned run, const std::string& text)
{
    if (run != run_ || socketFD_ < 0)
        return;
    // Deaf now: close everything, so the service says it is not listening and a start works.
    closeEverything();
    setListening(false);
    setTcpConnectionCount(0);
    setError(QString::fromStdString("Receive error: " + text));
}

std::string CITPService::broadcastAddress() const
{
    if (options_.broadcastAddress) {
        if (const auto chosen = options_.broadcastAddress(); chosen && !chosen->empty())
            return *chosen;
    }
    if (const auto primary = NetworkManager::primaryInterface()) {
        if (!primary->broadcastAddress.empty())
            return primary->broadcastAddress;
        if (const auto lastDot = primary->ipAddress.rfind('.'); lastDot != std::string::npos)
            return primary->ipAddress.substr(0, lastDot) + ".255";
    }
    return "255.255.255.255";
}

void CITPService::clearPacketLogs()
{
    packetLogs_.clear();
    emit packetLogsChanged();
}

void CITPService::clearDiscoveredPeers()
{
    discoveredPeers_.clear();
    emit discoveredPeersChanged();
}

void CITPService::announce()
{
    if (socketFD_ < 0)
        return;
    const std::uint16_t tcp = tcpServer_->isRunning() ? tcpServer_->port() : options_.tcpPort;
    const auto compact = citp::buildPeerLocation(CITPHeaderType::standard, tcp);
    const auto full = citp::buildPeerLocation(CITPHeaderType::extended, tcp);
    std::vector<sockaddr_in> targets;
    for (const std::string& address : {broadcastAddress(), options_.multicastGroup})
        if (const auto to = endpoint(address, boundUdpPort_))
            targets.push_back(*to);
    echoes_.learnHostAddresses();
    echoes_.sent(compact);
    echoes_.sent(full);
    // Announcements are not put in the traffic log: four every tick would push the requests
    // and answers out of its 101 entries within a minute.
    for (const auto* packet : {&compact, &full})
        for (const sockaddr_in& to : targets)
            ::sendto(socketFD_, packet->data(), packet->size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void CITPService::receiveLoop(int socket, int wake, unsigned run)
{
    std::vector<std::uint8_t> buffer(receiveBufferSize);
    pollfd waitFor[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
    while (!shouldStop_) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t n =
            ::recvfrom(socket, buffer.data(), buffer.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender), &length);
        if (n > 0) {
            processDatagram({buffer.data(), static_cast<std::size_t>(n)}, sender, socket, run);
            continue;
        }
        if (n == 0)
            continue;
        const int error = errno;
        if (shouldStop_)
            return;
        switch (socketsupport::afterReceiveError(error, waitFor)) {
        case socketsupport::AfterReceiveError::readAgain:
            continue;
        case socketsupport::AfterReceiveError::stop:
            return;
        case socketsupport::AfterReceiveError::fail: {
            const std::string text = systemText(error);
            logLine("CITPService: Receive error: " + text);
            postToMain(this, [this, run, text] { receiveFailed(run, text); });
            return;
        }
        }
    }
}

void CITPService::processDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& sender, int socket,
                                  unsigned run)
{
    const std::string address = dotted(sender.sin_addr);
    const bool echo = echoes_.isEcho(datagram, sender);
    if (!echo)
        logLine("CITPService: Received " + std::to_string(datagram.size()) + " bytes from " + address + ":" +
                std::to_string(ntohs(sender.sin_port)));
    postToMain(this, [this, address, count = datagram.size(), data = copyOf(datagram)]() mutable {
        lastPacketTime_ = QDateTime::currentDateTime();
        emit lastPacketTimeChanged();
        recordPacket("Rx", address, "Received " + std::to_string(count) + " bytes", std::move(data));
    });

    const auto packet = citp::classify(datagram);
    if (!packet)
        return;
    if (!echo)
        logLine("CITPService: Detected " + std::string(headerTypeName(packet->headerType)) +
                " packet. Type: " + packet->contentType);
    const std::size_t body = packet->bodyOffset;
    const std::string code = citp::codeAt(datagram, body).value_or("");

    if (packet->contentType == "PINF") {
        if (code != "PLoc")
            return;
        const auto peer = citp::readPeerLocation(datagram, body);
        if (!echo)
            logLine("CITPService: PLoc from " + address + " - Type: '" + printable(peer.type) + "', Name: '" +
                    printable(peer.name) + "'");
        postToMain(this, [this, address, peer] { notePeer(address, peer.type, peer.name); });
    } else if (packet->contentType == "MSEX") {
        if (code == "LInf") {
            postToMain(this, [this] { countRequests(0, 0, 1); });
            sendDatagram(socket, citp::buildLayerInfo(), sender);
        } else if (code == "SThm") {
            const std::uint8_t index = citp::readMediaIndex(datagram, body);
            postToMain(this, [this, index, sender, run] {
                countRequests(0, 1, 0);
                answerThumbnail(index, sender, run);
            });
        } else if (code == "ELin") {
            const std::uint8_t index = citp::readMediaIndex(datagram, body);
            postToMain(this, [this, index, sender, run] {
                countRequests(1, 0, 0);
                answerElementInfo(index, sender, run);
            });
        }
    } else if (packet->contentType == "FPTC") {
        logLine("CITPService: Processing FPTC packet!");
        if (code == "SndP") {
            logLine("CITPService: Received SndP request. Replying with Patch.");
            sendDatagram(socket, citp::buildPatch(), sender);
        } else if (code == "Ptch") {
            auto patch = citp::readPatch(datagram, body);
            if (!patch)
                return;
            const QString summary = QString::fromStdString(citp::patchSummary(*patch));
            postToMain(this, [this, fixtures = std::move(patch->fixtures), summary]() mutable {
                lastReceivedPatchData_ = std::move(fixtures);
                emit lastReceivedPatchDataChanged();
                lastReceivedPatch_ = summary;
                emit lastReceivedPatchChanged();
            });
        }
    }
}

void CITPService::sendDatagram(int socket, std::span<const std::uint8_t> datagram, const sockaddr_in& to)
{
    // A lost answer is asked for again by the console, so a failed send is only left out of the log.
    if (::sendto(socket, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return;
    postRecord("Tx", "To: " + dotted(to.sin_addr), "Sent " + std::to_string(datagram.size()) + " bytes", datagram);
}

void CITPService::sendFromMain(std::span<const std::uint8_t> datagram, const sockaddr_in& to, unsigned run)
{
    // The answer of an earlier run has no socket to go out on any more.
    if (run != run_ || socketFD_ < 0)
        return;
    if (::sendto(socketFD_, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        return;
    recordPacket("Tx", "To: " + dotted(to.sin_addr), "Sent " + std::to_string(datagram.size()) + " bytes",
                 copyOf(datagram));
}

void CITPService::answerElementInfo(std::uint8_t index, const sockaddr_in& to, unsigned run)
{
    std::optional<QString> name;
    if (dataSource_) {
        const auto tracks = dataSource_->getPlaylist();
        if (index < tracks.size())
            name = tracks[index].name;
    }
    sendFromMain(citp::buildElementInfo(index, citp::elementLabel(name)), to, run);
}

void CITPService::answerThumbnail(std::uint8_t index, const sockaddr_in& to, unsigned run)
{
    if (!dataSource_)
        return;
    const auto tracks = dataSource_->getPlaylist();
    if (index >= tracks.size())
        return;
    if (pendingThumbnails_ >= options_.maxPendingThumbnails) {
        logLine("CITPService: Thumbnail request dropped: " + std::to_string(pendingThumbnails_) +
                " thumbnails are being made");
        return;
    }
    ++pendingThumbnails_;
    thumbnailPool_.start([this, maker = options_.thumbnails, track = tracks[index], index, to, run] {
        const auto result = maker.make(track);
        if (result.jpeg.isEmpty())
            logLine("Thumbnail generation failed: " + result.error.toStdString());
        postToMain(this, [this, jpeg = result.jpeg, index, to, run] {
            --pendingThumbnails_;
            if (jpeg.isEmpty())
                return;
            const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                                         static_cast<std::size_t>(jpeg.size()));
            if (const auto reply = citp::buildThumbnail(index, bytes))
                sendFromMain(*reply, to, run);
        });
    });
}

std::optional<std::vector<std::uint8_t>> CITPService::answerTcpMessage(std::span<const std::uint8_t> message)
{
    const auto packet = citp::classify(message);
    if (!packet)
        return std::nullopt;
    logLine(std::string("CITPService: TCP ") +
            (packet->headerType == CITPHeaderType::standard ? "Standard" : "Extended") +
            " ContentType: " + packet->contentType);
    if (packet->contentType != "MSEX")
        return std::nullopt;
    const auto code = citp::codeAt(message, packet->bodyOffset);
    if (!code)
        return std::nullopt;
    logLine("CITPService: MSEX ContentCode: " + printable(*code));
    if (*code == "CInf") {
        postToMain(this, [this] { countRequests(1, 0, 0); });
        return citp::buildServerInfo();
    }
    if (*code == "GELI" || *code == "GEIn") {
        postToMain(this, [this] { countRequests(1, 0, 0); });
        const auto count = trackCountFromMain();
        if (!count)
            return std::nullopt;
        return citp::buildElementLibraryInfo(*count);
    }
    if (*code == "GETh") {
        postToMain(this, [this] { countRequests(1, 1, 0); });
        return citp::buildThumbnailAccepted();
    }
    if (*code == "GLIn") {
        postToMain(this, [this] { countRequests(1, 0, 1); });
        return citp::buildLayerInfo();
    }
    postToMain(this, [this] { countRequests(1, 0, 0); });
    return std::nullopt;
}

// The data source lives on the main thread; the client thread waits for its answer, but never
// past a stop, which joins this thread.
std::optional<std::size_t> CITPService::trackCountFromMain()
{
    auto answer = std::make_shared<std::promise<std::size_t>>();
    auto count = answer->get_future();
    postToMain(this, [this, answer] { answer->set_value(dataSource_ ? dataSource_->getPlaylist().size() : 0); });
    while (!shouldStop_) {
        if (count.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready)
            return count.get();
    }
    return std::nullopt;
}

void CITPService::postRecord(std::string direction, std::string source, std::string description,
                             std::span<const std::uint8_t> data)
{
    postToMain(this, [this, direction = std::move(direction), source = std::move(source),
                      description = std::move(description), data = copyOf(data)]() mutable {
        recordPacket(std::move(direction), std::move(source), std::move(description), std::move(data));
    });
}

void CITPService::recordPacket(std::string direction, std::string source, std::string description,
                               std::vector<std::uint8_t> data)
{
    if (packetLogs_.size() >= maxPacketLogs)
        packetLogs_.erase(packetLogs_.begin());
    CITPPacketLog entry;
    entry.timestamp = QDateTime::currentDateTime();
    entry.direction = std::move(direction);
    entry.source = std::move(source);
    entry.description = std::move(description);
    entry.data = std::move(data);
    packetLogs_.push_back(std::move(entry));
    emit packetLogsChanged();
}

void CITPService::notePeer(const std::string& address, const std::string& type, const std::string& name)
{
    const auto now = QDateTime::currentDateTime();
    auto known = std::find_if(discoveredPeers_.begin(), discoveredPeers_.end(),
                              [&](const CITPPeer& peer) { return peer.id == address; });
    if (known != discoveredPeers_.end()) {
        known->name = name;
        known->type = type;
        known->lastSeen = now;
    } else {
        discoveredPeers_.push_back(CITPPeer{address, name, type, address, now});
    }
    emit discoveredPeersChanged();
}

void CITPService::countRequests(int library, int thumbnails, int layers)
{
    msexStats_.libraryRequests += library;
    msexStats_.thumbnailsServed += thumbnails;
    msexStats_.layerInfoRequests += layers;
    emit msexStatsChanged();
}

void CITPService::setListening(bool listening)
{
    isListening_ = listening;
    emit isListeningChanged(listening);
}

void CITPService::setError(std::optional<QString> error)
{
    error_ = std::move(error);
    emit errorChanged();
}

void CITPService::setTcpConnectionCount(int count)
{
    tcpConnectionCount_ = count;
    emit tcpConnectionCountChanged(count);
}

} // namespace orvelo

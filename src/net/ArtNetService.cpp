#include "net/ArtNetService.h"

#include "net/InputNote.h"
#include "net/LightingNetwork.h"
#include "net/NetworkManager.h"
#include "net/PortManager.h"
#include "net/RdmResponder.h"
#include "net/SocketSupport.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace orvelo {

namespace {

using socketsupport::setFlag;
using socketsupport::systemText;

// Room for the datagrams that arrive while the receive thread waits for a core (a few
// milliseconds on a busy machine); the system caps it at its own maximum.
constexpr int receiveBufferBytes = 4 * 1024 * 1024;
constexpr int announceIntervalMs = 3000;
constexpr int noteIntervalMs = 1000;

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

std::string dotted(const artnet::IPv4Bytes& ip)
{
    return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
           std::to_string(ip[3]);
}

} // namespace

ArtNetService::ArtNetService() : ArtNetService(Options{})
{
}

ArtNetService::ArtNetService(Options options, QObject* parent)
    : DMXProtocolService(parent), options_(std::move(options)), lastDMXValues_(artnet::maxChannels, 0),
      receiver_(
          {.port = options_.listenPort,
           .threadName = "ArtNetReceiver",
           .logName = "ArtNetService",
           .receiveBufferBytes = receiveBufferBytes,
           .reading = options_.reading},
          [this](std::span<const std::uint8_t> datagram, const sockaddr_in& from) { processPacket(datagram, from); },
          [this](const ReceiveFailure& failure) {
              postToMain(this, [this, run = run_, text = failure.text()] { receiveFailed(run, text); });
          })
{
    rdm_ = std::make_unique<RdmResponder>(
        rdm::uidForProcess(static_cast<std::uint32_t>(::getpid())), filterUniverse, filterSubnet,
        [this](std::span<const std::uint8_t> datagram, const sockaddr_in& to) { sendDatagram(datagram, to); },
        RdmResponder::Changes{
            .address =
                [this](int universe, int channel) {
                    postToMain(this, [this, universe, channel] {
                        if (onDMXAddressChanged)
                            onDMXAddressChanged(universe, channel);
                    });
                },
            .label =
                [this](const std::string& label) {
                    postToMain(this, [this, label] {
                        if (onDeviceLabelChanged)
                            onDeviceLabelChanged(label);
                    });
                },
            .identify =
                [this](bool on) {
                    postToMain(this, [this, on] {
                        if (onIdentifyChanged)
                            onIdentifyChanged(on);
                    });
                },
        });
    // A console learns the node's new address at once, not at the next announcement.
    if (options_.lighting)
        connect(options_.lighting, &LightingNetwork::changed, this, [this] {
            if (receiver_.isOpen())
                broadcastArtPollReply();
        });
}

ArtNetService::~ArtNetService()
{
    closeNode();
    if (broadcastConnection_ >= 0)
        ::close(broadcastConnection_);
}

const rdm::RdmUID& ArtNetService::rdmUID() const
{
    return rdm_->uid();
}

RdmResponder& ArtNetService::rdm()
{
    return *rdm_;
}

void ArtNetService::startListening()
{
    assertMainThread();
    if (receiver_.isOpen()) {
        logLine("ArtNetService: Already listening");
        return;
    }
    const std::uint16_t port = options_.listenPort;
    if (options_.clearPort) {
        if (const auto failure = PortManager::clearPort(port))
            logLine("ArtNetService: Warning - Failed to clear port " + std::to_string(port) + ": " +
                    failure->description());
    }
    ++run_;
    if (const auto failure = receiver_.start()) {
        postToMain(this, [this, text = failure->text()] { setError(QString::fromStdString(text)); });
        return;
    }
    postToMain(this, [this] {
        setListening(true);
        setError(std::nullopt);
    });
    logLine("ArtNetService: Listening on port " + std::to_string(port) + " (BSD socket with RDM support)");

    announceTimer_ = new QTimer(this);
    announceTimer_->setInterval(announceIntervalMs);
    connect(announceTimer_, &QTimer::timeout, this, &ArtNetService::broadcastArtPollReply);
    announceTimer_->start();
    noteTimer_ = new QTimer(this);
    noteTimer_->setInterval(noteIntervalMs);
    connect(noteTimer_, &QTimer::timeout, this, &ArtNetService::refreshInputNote);
    noteTimer_->start();
    broadcastArtPollReply();
}

void ArtNetService::stopListening()
{
    assertMainThread();
    closeNode();
    clearInputNote();
    postToMain(this, [this] { setListening(false); });
    logLine("ArtNetService: Stopped listening");
}

void ArtNetService::closeNode()
{
    delete announceTimer_;
    announceTimer_ = nullptr;
    delete noteTimer_;
    noteTimer_ = nullptr;
    receiver_.close();
}

void ArtNetService::receiveFailed(std::uint64_t run, const std::string& text)
{
    if (run != run_ || !receiver_.isOpen())
        return;
    // The node is deaf now: close it, so that it reports what it is and a start works again.
    closeNode();
    clearInputNote();
    setListening(false);
    setError(QString::fromStdString(text));
}

void ArtNetService::processPacket(std::span<const std::uint8_t> datagram, const sockaddr_in& sender)
{
    const auto opCode = artnet::decodeHeader(datagram);
    if (!opCode)
        return;
    if (*opCode == artnet::opOutput) {
        processArtDmx(datagram);
        return;
    }
    if (echoes_.isEcho(datagram, sender))
        return;
    // One kind of packet from one sender shares a flood allowance in the log.
    char from[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &sender.sin_addr, from, sizeof from);
    const std::string kind = "ArtNetService: OpCode 0x" + hex4(*opCode) + " from " + from;
    logLine("ArtNetService: Received OpCode 0x" + hex4(*opCode) + " (" + std::to_string(datagram.size()) + " bytes)",
            kind);
    switch (*opCode) {
    case artnet::opPoll:
    case artnet::opRdm:
    case artnet::opTodRequest:
    case artnet::opTodControl:
        if (!answers(sender, kind))
            return;
        break;
    default:
        break;
    }
    switch (*opCode) {
    case artnet::opPoll:
        logLine("ArtNetService: Received OpPoll - should reply with OpPollReply", kind);
        sendPollReply(sender);
        break;
    case artnet::opRdm:
        logLine("ArtNetService: Received OpRdm", kind);
        rdm_->processRdm(datagram, sender);
        break;
    case artnet::opTodRequest:
        logLine("ArtNetService: Received OpTodRequest - sending TOD response", kind);
        sendTodData(sender);
        break;
    case artnet::opTodControl:
        logLine("ArtNetService: Received OpTodControl - flushing and sending TOD", kind);
        sendTodData(sender);
        break;
    case artnet::opTimeCode:
        if (const auto code = artnet::decodeTimeCode(datagram))
            postToMain(this, [this, code = *code] { emit timecodeReceived(code); });
        else
            logLine("ArtNetService: Ignoring ArtTimeCode with fields out of range", kind);
        break;
    default:
        break;
    }
}

void ArtNetService::processArtDmx(std::span<const std::uint8_t> datagram)
{
    const auto decoded = artnet::decodeArtDmxFrame(datagram);
    if (!decoded)
        return;
    if (decoded->portAddress != listeningPortAddress()) {
        foreign_.count(decoded->portAddress);
        return;
    }
    std::vector<std::uint8_t> frame(artnet::maxChannels, 0);
    std::copy(decoded->values.begin(), decoded->values.end(), frame.begin());
    postToMain(this, [this, frame = std::move(frame)]() mutable { publishFrame(std::move(frame)); });
}

int ArtNetService::listeningPortAddress() const
{
    return artnet::portAddress(filterNet.load(), filterSubnet.load(), filterUniverse.load());
}

void ArtNetService::refreshInputNote()
{
    const int own = listeningPortAddress();
    foreign_.look(own, ForeignUniverses::Clock::now());
    const QString note = QString::fromStdString(inputnote::artNet(foreign_.heard(), own));
    if (note == inputNote())
        return;
    logLine(note.isEmpty() ? "ArtNetService: No Art-Net for other universes any more (" +
                                 std::to_string(foreign_.frames()) + " frames seen)"
                           : "ArtNetService: " + note.toStdString());
    setInputNote(note);
}

void ArtNetService::clearInputNote()
{
    foreign_.forget();
    setInputNote({});
}

void ArtNetService::publishFrame(std::vector<std::uint8_t> values)
{
    lastPacketTime_ = QDateTime::currentDateTimeUtc();
    emit lastPacketTimeChanged();
    lastDMXValues_ = std::move(values);
    emit lastDMXValuesChanged(lastDMXValues_);
}

std::optional<std::string> ArtNetService::ownAddress() const
{
    return options_.lighting ? options_.lighting->ownAddress() : NetworkManager::getLocalIPAddress();
}

bool ArtNetService::answers(const sockaddr_in& peer, const std::string& floodKey) const
{
    if (!options_.lighting || options_.lighting->current().reaches(peer.sin_addr))
        return true;
    char from[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, from, sizeof from);
    logLine(std::string("ArtNetService: Not answering ") + from + " - not on the lighting network", floodKey);
    return false;
}

void ArtNetService::sendPollReply(const sockaddr_in& to)
{
    const auto ip = artnet::parseIPv4(ownAddress());
    const auto reply = artnet::encodePollReply(
        artnet::PollReplyVariant::pollAnswer, ip, static_cast<std::uint8_t>(filterNet.load()),
        static_cast<std::uint8_t>(filterSubnet.load()), static_cast<std::uint8_t>(filterUniverse.load()));
    sendDatagram(reply, to);
    logLine("ArtNetService: Sent OpPollReply");
}

void ArtNetService::sendTodData(const sockaddr_in& to)
{
    const auto& uid = rdmUID();
    const auto tod = artnet::encodeTodData(static_cast<std::uint8_t>(filterNet.load()),
                                           artnet::addressByte(filterSubnet.load(), filterUniverse.load()), uid);
    sendDatagram(tod, to);
    std::string text;
    for (const std::uint8_t byte : uid) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        text += text.empty() ? hex : ":" + std::string(hex);
    }
    logLine("ArtNetService: Sent OpTodData with UID: " + text);
}

void ArtNetService::sendDatagram(std::span<const std::uint8_t> datagram, const sockaddr_in& to)
{
    echoes_.sent(datagram);
    // The result is not examined: a lost answer is asked for again by the console.
    ::sendto(receiver_.fd(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

sockaddr_in ArtNetService::destination() const
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(options_.destinationPort);
    std::string address = options_.destinationAddress;
    if (options_.lighting) {
        // Only a chosen interface narrows the broadcast: automatic keeps the limited broadcast.
        if (const LightingInterface lighting = options_.lighting->current(); lighting.chosen)
            address = lighting.broadcast().value_or(address);
    }
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return to;
}

void ArtNetService::broadcastArtPollReply()
{
    echoes_.learnHostAddresses();
    const auto ip = artnet::parseIPv4(ownAddress());
    const auto announcement = artnet::encodePollReply(
        artnet::PollReplyVariant::announcement, ip, static_cast<std::uint8_t>(filterNet.load()),
        static_cast<std::uint8_t>(filterSubnet.load()), static_cast<std::uint8_t>(filterUniverse.load()));
    sendDatagram(announcement, destination());
    logLine("ArtNetService: Broadcast ArtPollReply (" + std::to_string(announcement.size()) +
            " bytes) - IP: " + dotted(ip));
}

void ArtNetService::sendTimecode(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds, std::uint8_t frames,
                                 std::uint8_t type)
{
    sendBroadcast(artnet::encodeTimeCode(hours, minutes, seconds, frames, type));
}

void ArtNetService::sendBroadcast(std::span<const std::uint8_t> datagram)
{
    std::lock_guard lock(broadcastMutex_);
    // One socket of its own, kept across stops and starts, so timecode flows whether or not
    // the node listens.
    if (broadcastConnection_ < 0) {
        broadcastConnection_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (broadcastConnection_ < 0) {
            logLine("ArtNet Send Error: " + systemText(errno));
            return;
        }
        setFlag(broadcastConnection_, SO_BROADCAST);
        setFlag(broadcastConnection_, SO_REUSEADDR);
    }
    const sockaddr_in to = destination();
    echoes_.sent(datagram);
    if (::sendto(broadcastConnection_, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0)
        logLine("ArtNet Send Error: " + systemText(errno));
}

} // namespace orvelo

#include "net/SACNService.h"

#include "net/InputNote.h"
#include "net/LightingNetwork.h"
#include "net/NetworkManager.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

namespace orvelo {

namespace {

constexpr int noteIntervalMs = 1000;

// Universes 1-16 through their groups; a group that cannot be joined leaves unicast and the
// other groups working, so failures are not examined.
void setUniverseGroups(int socket, const std::string& localAddress, int option)
{
    in_addr interfaceAddress{};
    if (::inet_pton(AF_INET, localAddress.c_str(), &interfaceAddress) != 1)
        interfaceAddress.s_addr = htonl(INADDR_ANY);
    for (int universe = SACNPacket::firstMulticastUniverse; universe <= SACNPacket::lastMulticastUniverse; ++universe) {
        ip_mreq request{};
        request.imr_multiaddr.s_addr = htonl(SACNPacket::multicastGroup(universe));
        request.imr_interface = interfaceAddress;
        ::setsockopt(socket, IPPROTO_IP, option, &request, sizeof request);
    }
}

} // namespace

SACNService::SACNService(QObject* parent) : SACNService(Options{}, parent)
{
}

SACNService::SACNService(Options options, QObject* parent)
    : DMXProtocolService(parent), options_(std::move(options)), lastDMXValues_(SACNPacket::maxSlots, 0),
      receiver_(
          {.port = options_.port, .threadName = "sACNReceiver", .logName = "sACNService", .reading = options_.reading},
          [this](std::span<const std::uint8_t> datagram, const sockaddr_in&) { acceptDatagram(datagram); },
          [this](const ReceiveFailure& failure) {
              const QString text = QString::fromStdString(failure.text());
              postToMain(this, [this, run = run_, text] { failReceiving(run, text); });
          })
{
    if (options_.lighting)
        connect(options_.lighting, &LightingNetwork::changed, this, &SACNService::followLightingInterface);
}

SACNService::~SACNService()
{
    closeReceiver();
}

void SACNService::startListening()
{
    assertMainThread();
    if (receiver_.isOpen()) {
        logLine("sACNService: Already listening");
        return;
    }
    ++run_;
    if (const auto failure = receiver_.start()) {
        postToMain(this, [this, text = QString::fromStdString(failure->text())] { setError(text); });
        return;
    }
    joinedAddress_ = membershipAddress();
    logLine("sACNService: Using local IP " + joinedAddress_ + " for multicast membership");
    setUniverseGroups(receiver_.fd(), joinedAddress_, IP_ADD_MEMBERSHIP);

    postToMain(this, [this] {
        setListening(true);
        setError(std::nullopt);
    });
    logLine("sACNService: Listening on port " + std::to_string(options_.port) + " (BSD socket with multicast)");
    noteTimer_ = new QTimer(this);
    noteTimer_->setInterval(noteIntervalMs);
    connect(noteTimer_, &QTimer::timeout, this, &SACNService::refreshInputNote);
    noteTimer_->start();
}

std::string SACNService::membershipAddress() const
{
    const auto address = options_.lighting ? options_.lighting->ownAddress() : NetworkManager::getLocalIPAddress();
    return address.value_or("0.0.0.0");
}

void SACNService::followLightingInterface()
{
    assertMainThread();
    const std::string address = membershipAddress();
    if (!receiver_.isOpen() || address == joinedAddress_)
        return;
    setUniverseGroups(receiver_.fd(), joinedAddress_, IP_DROP_MEMBERSHIP);
    setUniverseGroups(receiver_.fd(), address, IP_ADD_MEMBERSHIP);
    joinedAddress_ = address;
    logLine("sACNService: Using local IP " + joinedAddress_ + " for multicast membership");
}

void SACNService::stopListening()
{
    assertMainThread();
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

// Closing the socket also drops the group memberships.
void SACNService::closeReceiver()
{
    assertMainThread();
    delete noteTimer_;
    noteTimer_ = nullptr;
    receiver_.close();
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
    assertMainThread();
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
    logLine(note.isEmpty() ? "sACNService: No sACN for other universes any more (" + std::to_string(foreign_.frames()) +
                                 " frames seen)"
                           : "sACNService: " + note.toStdString());
    setInputNote(note);
}

// A receiver that can no longer read is closed, so that it does not claim to listen and a
// later start opens a fresh socket.
void SACNService::failReceiving(unsigned run, const QString& text)
{
    assertMainThread();
    if (run != run_ || !receiver_.isOpen())
        return;
    closeReceiver();
    foreign_.forget();
    setInputNote({});
    setListening(false);
    setError(text);
}

} // namespace orvelo

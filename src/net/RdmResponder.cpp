#include "net/RdmResponder.h"

#include "platform/Log.h"
#include "platform/Version.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace orvelo {

namespace {

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// A label goes into one log line: anything but printable ASCII (a line break included)
// would corrupt the log, so such a label is shown as "?".
std::string printableLabel(std::span<const std::uint8_t> data)
{
    std::string label;
    for (const std::uint8_t byte : data) {
        if (byte < 0x20 || byte > 0x7E)
            return "?";
        label.push_back(static_cast<char>(byte));
    }
    return label;
}

constexpr std::string_view deviceLabel = "ORVELONODE V.2.0";
const std::string softwareVersionLabel = "ORVELONODE V." + std::string(versionText);
constexpr std::string_view manufacturerLabel = "Orvelo";
constexpr std::string_view deviceModelDescription = "Orvelo Media Server";
// The parameters beyond those every responder must answer, two bytes each.
constexpr std::uint8_t supportedParameters[] = {
    rdm::pidDeviceModelDescription >> 8,
    rdm::pidDeviceModelDescription & 0xFF,
    rdm::pidManufacturerLabel >> 8,
    rdm::pidManufacturerLabel & 0xFF,
    rdm::pidDeviceLabel >> 8,
    rdm::pidDeviceLabel & 0xFF,
};

std::span<const std::uint8_t> asBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

RdmResponder::RdmResponder(rdm::RdmUID uid, std::atomic<int>& filterUniverse, std::atomic<int>& filterSubnet, Send send,
                           AddressChanged addressChanged)
    : uid_(uid), filterUniverse_(filterUniverse), filterSubnet_(filterSubnet), send_(std::move(send)),
      addressChanged_(std::move(addressChanged))
{
}

void RdmResponder::processRdm(std::span<const std::uint8_t> datagram, const sockaddr_in& sender) const
{
    const auto message = artnet::decodeArtRdm(datagram);
    if (!message)
        return;
    const auto request = rdm::parseRequest(*message);
    if (!request || (request->destination != rdm::broadcastUID && request->destination != uid_))
        return;
    logLine("ArtNetService: RDM Command=" + std::string(request->commandClass == rdm::getCommand ? "GET" : "SET") +
            " PID=0x" + hex4(request->parameterID));
    if (request->commandClass == rdm::getCommand) {
        handleRdmGet(*request, sender);
    } else if (request->commandClass == rdm::setCommand) {
        // A stated data length past the end of the datagram: the request is damaged, and
        // acting on part of it could move the node to a universe nobody asked for.
        if (request->parameterData)
            handleRdmSet(*request, *request->parameterData, sender);
    }
}

std::uint16_t RdmResponder::startAddress() const
{
    return static_cast<std::uint16_t>(filterUniverse_.load() * 512 + 1);
}

void RdmResponder::handleRdmGet(const rdm::Request& request, const sockaddr_in& sender) const
{
    switch (request.parameterID) {
    case rdm::pidIdentifyDevice: {
        const std::uint8_t identifyOff = 0x00;
        sendRdmResponse(request, {&identifyOff, 1}, sender);
        return;
    }
    case rdm::pidDeviceLabel:
        sendRdmResponse(request, asBytes(deviceLabel), sender);
        return;
    case rdm::pidSoftwareVersionLabel:
        sendRdmResponse(request, asBytes(softwareVersionLabel), sender);
        return;
    case rdm::pidManufacturerLabel:
        sendRdmResponse(request, asBytes(manufacturerLabel), sender);
        return;
    case rdm::pidDeviceModelDescription:
        sendRdmResponse(request, asBytes(deviceModelDescription), sender);
        return;
    case rdm::pidSupportedParameters:
        sendRdmResponse(request, supportedParameters, sender);
        return;
    case rdm::pidDmxStartAddress: {
        const std::uint16_t address = startAddress();
        const std::uint8_t data[2] = {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
        sendRdmResponse(request, data, sender);
        return;
    }
    case rdm::pidDeviceInfo:
        sendRdmResponse(request, rdm::deviceInfo(startAddress()), sender);
        return;
    default:
        logLine("ArtNetService: Unknown RDM GET PID=0x" + hex4(request.parameterID));
        // Said at once, so that a console does not wait out its timeout for every parameter.
        sendRdmNack(request, rdm::nackUnknownPid, sender);
    }
}

void RdmResponder::handleRdmSet(const rdm::Request& request, std::span<const std::uint8_t> data,
                                const sockaddr_in& sender) const
{
    switch (request.parameterID) {
    case rdm::pidDmxStartAddress: {
        if (data.size() != 2) {
            sendRdmNack(request, rdm::nackFormatError, sender);
            return;
        }
        const int address = (data[0] << 8) | data[1];
        // The node's universe is four bits: 0 is no address, and past 16 × 512 the universe
        // would spill into the subnet.
        if (address < 1 || address > 16 * 512) {
            sendRdmNack(request, rdm::nackDataOutOfRange, sender);
            return;
        }
        const int universe = (address - 1) / 512;
        const int channel = (address - 1) % 512 + 1;
        logLine("ArtNetService: RDM SET DMX Address -> Universe " + std::to_string(universe) + ", Channel " +
                std::to_string(channel));
        filterUniverse_.store(universe);
        if (addressChanged_)
            addressChanged_(universe, channel);
        sendRdmResponse(request, {}, sender);
        return;
    }
    case rdm::pidIdentifyDevice:
        logLine(std::string("ArtNetService: RDM IDENTIFY ") + (!data.empty() && data[0] == 1 ? "ON" : "OFF"));
        sendRdmResponse(request, {}, sender);
        return;
    case rdm::pidDeviceLabel:
        logLine("ArtNetService: RDM SET Device Label: " + printableLabel(data));
        sendRdmResponse(request, {}, sender);
        return;
    case rdm::pidDeviceInfo:
    case rdm::pidSoftwareVersionLabel:
    case rdm::pidSupportedParameters:
    case rdm::pidManufacturerLabel:
    case rdm::pidDeviceModelDescription:
        sendRdmNack(request, rdm::nackUnsupportedCommandClass, sender);
        return;
    default:
        logLine("ArtNetService: Unknown RDM SET PID=0x" + hex4(request.parameterID));
        sendRdmNack(request, rdm::nackUnknownPid, sender);
    }
}

void RdmResponder::sendRdmNack(const rdm::Request& request, std::uint16_t reason, const sockaddr_in& sender) const
{
    const std::uint8_t data[2] = {static_cast<std::uint8_t>(reason >> 8), static_cast<std::uint8_t>(reason)};
    sendRdmResponse(request, data, sender, rdm::responseNack);
}

void RdmResponder::sendRdmResponse(const rdm::Request& request, std::span<const std::uint8_t> data,
                                   const sockaddr_in& sender, std::uint8_t responseType) const
{
    const std::uint8_t responseClass =
        request.commandClass == rdm::getCommand ? rdm::getCommandResponse : rdm::setCommandResponse;
    const auto message = rdm::buildResponse(request.source, uid_, request.transactionNumber, responseClass,
                                            request.parameterID, data, responseType);
    const auto datagram =
        artnet::encodeArtRdm(artnet::addressByte(filterSubnet_.load(), filterUniverse_.load()), message);
    send_(datagram, sender);
    logLine("ArtNetService: Sent RDM Response for PID=0x" + hex4(request.parameterID));
}

} // namespace orvelo

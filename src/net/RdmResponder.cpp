#include "net/RdmResponder.h"

#include "platform/Log.h"
#include "platform/Version.h"

#include <algorithm>
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

// The label as it is kept and shown on the output: at most 32 bytes, each outside printable
// ASCII replaced by "?", so that neither the settings file, the picture nor a console that
// reads it back meets a control character.
std::string keptLabel(std::span<const std::uint8_t> bytes)
{
    std::string label;
    for (const std::uint8_t byte : bytes.first(std::min(bytes.size(), RdmResponder::maxDeviceLabelSize)))
        label.push_back(byte < 0x20 || byte > 0x7E ? '?' : static_cast<char>(byte));
    return label;
}

std::string commandName(std::uint8_t commandClass)
{
    switch (commandClass) {
    case rdm::discoveryCommand:
        return "DISCOVERY";
    case rdm::getCommand:
        return "GET";
    case rdm::setCommand:
        return "SET";
    default:
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", commandClass);
        return text;
    }
}

} // namespace

RdmResponder::RdmResponder(rdm::RdmUID uid, std::atomic<int>& filterUniverse, std::atomic<int>& filterSubnet, Send send,
                           Changes changes)
    : uid_(uid), filterUniverse_(filterUniverse), filterSubnet_(filterSubnet), send_(std::move(send)),
      changes_(std::move(changes))
{
}

void RdmResponder::setDeviceLabel(std::string label)
{
    const std::lock_guard lock(labelMutex_);
    label_ = keptLabel(asBytes(label));
}

void RdmResponder::processRdm(std::span<const std::uint8_t> datagram, const sockaddr_in& sender)
{
    const auto message = artnet::decodeArtRdm(datagram);
    if (!message)
        return;
    const auto request = rdm::parseRequest(*message);
    if (!request || (request->destination != rdm::broadcastUID && request->destination != uid_))
        return;
    logLine("ArtNetService: RDM Command=" + commandName(request->commandClass) + " PID=0x" +
            hex4(request->parameterID));
    // Anything else, discovery included, goes unanswered: consoles find an Art-Net node's
    // devices through its table of devices, and a discovery answer here would only be noise.
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
    return static_cast<std::uint16_t>(filterUniverse_.load() * 512 + startChannel_.load());
}

void RdmResponder::handleRdmGet(const rdm::Request& request, const sockaddr_in& sender) const
{
    switch (request.parameterID) {
    case rdm::pidIdentifyDevice: {
        const std::uint8_t state = identifying_.load() ? 1 : 0;
        sendRdmResponse(request, {&state, 1}, sender);
        return;
    }
    case rdm::pidDeviceLabel: {
        std::string label;
        {
            const std::lock_guard lock(labelMutex_);
            label = label_;
        }
        sendRdmResponse(request, asBytes(label), sender);
        return;
    }
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
                                const sockaddr_in& sender)
{
    switch (request.parameterID) {
    case rdm::pidDmxStartAddress:
        setStartAddress(request, data, sender);
        return;
    case rdm::pidIdentifyDevice:
        setIdentify(request, data, sender);
        return;
    case rdm::pidDeviceLabel:
        setLabel(request, data, sender);
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

void RdmResponder::setStartAddress(const rdm::Request& request, std::span<const std::uint8_t> data,
                                   const sockaddr_in& sender)
{
    if (data.size() != 2) {
        sendRdmNack(request, rdm::nackFormatError, sender);
        return;
    }
    const int address = (data[0] << 8) | data[1];
    // The node's universe is four bits: 0 is no address, and past 16 × 512 the universe would
    // spill into the subnet.
    if (address < 1 || address > 16 * 512) {
        sendRdmNack(request, rdm::nackDataOutOfRange, sender);
        return;
    }
    const int universe = (address - 1) / 512;
    const int channel = (address - 1) % 512 + 1;
    logLine("ArtNetService: RDM SET DMX Address -> Universe " + std::to_string(universe) + ", Channel " +
            std::to_string(channel));
    // Acknowledged from the universe the console sent to: a console matches the answer to the
    // port it asked through, and would take one from the new universe for no answer at all.
    sendRdmResponse(request, {}, sender);
    filterUniverse_.store(universe);
    startChannel_.store(channel);
    if (changes_.address)
        changes_.address(universe, channel);
}

void RdmResponder::setIdentify(const rdm::Request& request, std::span<const std::uint8_t> data,
                               const sockaddr_in& sender)
{
    if (data.size() != 1) {
        sendRdmNack(request, rdm::nackFormatError, sender);
        return;
    }
    if (data[0] > 1) {
        sendRdmNack(request, rdm::nackDataOutOfRange, sender);
        return;
    }
    const bool on = data[0] == 1;
    logLine(std::string("ArtNetService: RDM IDENTIFY ") + (on ? "ON" : "OFF"));
    identifying_.store(on);
    if (changes_.identify)
        changes_.identify(on);
    sendRdmResponse(request, {}, sender);
}

void RdmResponder::setLabel(const rdm::Request& request, std::span<const std::uint8_t> data, const sockaddr_in& sender)
{
    // Some consoles pad a label with zeros to the full 32 bytes.
    while (!data.empty() && data.back() == 0)
        data = data.first(data.size() - 1);
    if (data.size() > maxDeviceLabelSize) {
        sendRdmNack(request, rdm::nackFormatError, sender);
        return;
    }
    logLine("ArtNetService: RDM SET Device Label: " + printableLabel(data));
    std::string label = keptLabel(data);
    {
        const std::lock_guard lock(labelMutex_);
        label_ = label;
    }
    if (changes_.label)
        changes_.label(label);
    sendRdmResponse(request, {}, sender);
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

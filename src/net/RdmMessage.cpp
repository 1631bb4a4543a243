#include "net/RdmMessage.h"

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "platform/Version.h"

#include <algorithm>
#include <numeric>

namespace orvelo::rdm {

namespace {

// Bytes before the parameter data, start code included.
constexpr std::size_t fixedFieldsSize = 24;

bool readUID(ByteReader& r, RdmUID& uid)
{
    const auto bytes = r.bytes(uid.size());
    if (!bytes)
        return false;
    std::copy(bytes->begin(), bytes->end(), uid.begin());
    return true;
}

} // namespace

std::optional<Request> parseRequest(std::span<const std::uint8_t> message)
{
    Request request;
    ByteReader r(message);
    r.skip(2); // sub-start code, message length
    if (!readUID(r, request.destination) || !readUID(r, request.source))
        return std::nullopt;
    const auto transaction = r.u8();
    r.skip(4); // port ID, message count, sub-device
    const auto commandClass = r.u8();
    const auto parameterID = r.u16be();
    const auto length = r.u8();
    if (!r.ok())
        return std::nullopt;
    request.transactionNumber = *transaction;
    request.commandClass = *commandClass;
    request.parameterID = *parameterID;
    request.parameterDataLength = *length;
    request.parameterData = r.bytes(*length);
    return request;
}

std::uint16_t checksum(std::span<const std::uint8_t> messageWithoutStartCode)
{
    return static_cast<std::uint16_t>(
        std::accumulate(messageWithoutStartCode.begin(), messageWithoutStartCode.end(), unsigned{startCode}));
}

std::vector<std::uint8_t> buildResponse(const RdmUID& destination, const RdmUID& source, std::uint8_t transactionNumber,
                                        std::uint8_t commandClass, std::uint16_t parameterID,
                                        std::span<const std::uint8_t> data, std::uint8_t responseType)
{
    ByteWriter w(fixedFieldsSize + data.size() + 1);
    w.u8(subStartCode)
        .u8(static_cast<std::uint8_t>(fixedFieldsSize + data.size())) // message length
        .bytes(destination)
        .bytes(source)
        .u8(transactionNumber)
        .u8(responseType)
        .u8(0x00) // message count
        .u16be(0) // sub-device: root
        .u8(commandClass)
        .u16be(parameterID)
        .u8(static_cast<std::uint8_t>(data.size()))
        .bytes(data);
    w.u16be(checksum(w.data()));
    return w.take();
}

RdmUID uidForProcess(std::uint32_t processID)
{
    return {0x7F,
            0xF0,
            static_cast<std::uint8_t>(processID >> 24),
            static_cast<std::uint8_t>(processID >> 16),
            static_cast<std::uint8_t>(processID >> 8),
            static_cast<std::uint8_t>(processID)};
}

std::vector<std::uint8_t> deviceInfo(std::uint16_t startAddress)
{
    ByteWriter w(deviceInfoSize);
    w.u16be(0x0100)    // RDM protocol version 1.0
        .u16be(0x0001) // device model
        .u16be(0x0101) // product category
        .u8(0x00)
        .u8(versionMajor)
        .u8(versionMinor)
        .u8(versionPatch) // software version
        .u16be(0x0006)    // DMX512 footprint
        .u8(0x01)
        .u8(0x01) // current personality, personality count
        .u16be(startAddress)
        .u16be(0x0000) // sub-device count
        .u8(0x00);     // sensor count
    return w.take();
}

} // namespace orvelo::rdm

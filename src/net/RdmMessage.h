#pragma once

#include "net/ArtNetPacket.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvelo::rdm {

// RDM (E1.20) messages as carried inside ArtRdm, that is without the start code: message
// byte k (start code = byte 0) is element k - 1 here. Pure: bytes in, values out.

using artnet::RdmUID;

inline constexpr std::uint8_t startCode = 0xCC;
inline constexpr std::uint8_t subStartCode = 0x01;

inline constexpr std::uint8_t discoveryCommand = 0x10;
inline constexpr std::uint8_t getCommand = 0x20;
inline constexpr std::uint8_t getCommandResponse = 0x21;
inline constexpr std::uint8_t setCommand = 0x30;
inline constexpr std::uint8_t setCommandResponse = 0x31;

inline constexpr std::uint16_t pidDeviceInfo = 0x0060;
inline constexpr std::uint16_t pidDeviceLabel = 0x0082;
inline constexpr std::uint16_t pidSoftwareVersionLabel = 0x00C0;
inline constexpr std::uint16_t pidDmxStartAddress = 0x00F0;
inline constexpr std::uint16_t pidIdentifyDevice = 0x1000;
inline constexpr std::uint16_t pidSupportedParameters = 0x0050;
inline constexpr std::uint16_t pidDeviceModelDescription = 0x0080;
inline constexpr std::uint16_t pidManufacturerLabel = 0x0081;

// Response types, and the reasons a NACK gives.
inline constexpr std::uint8_t responseAck = 0x00;
inline constexpr std::uint8_t responseNack = 0x02;
inline constexpr std::uint16_t nackUnknownPid = 0x0000;
inline constexpr std::uint16_t nackFormatError = 0x0001;
inline constexpr std::uint16_t nackUnsupportedCommandClass = 0x0005;
inline constexpr std::uint16_t nackDataOutOfRange = 0x0006;

inline constexpr RdmUID broadcastUID{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline constexpr std::size_t deviceInfoSize = 19;

// The fields of a request the responder looks at.
struct Request {
    RdmUID destination{};
    RdmUID source{};
    std::uint8_t transactionNumber = 0;
    std::uint8_t commandClass = 0;
    std::uint16_t parameterID = 0;
    std::uint8_t parameterDataLength = 0;
    // The parameter data, or nothing when the stated length runs past the end of the message.
    std::optional<std::span<const std::uint8_t>> parameterData;
};

// Reads a request; nothing when the message ends before its parameter-data length.
std::optional<Request> parseRequest(std::span<const std::uint8_t> message);

// A response from `source` to `destination`, checksum included (the checksum covers the start
// code, which is not part of the result). A NACK carries its reason as its data.
std::vector<std::uint8_t> buildResponse(const RdmUID& destination, const RdmUID& source, std::uint8_t transactionNumber,
                                        std::uint8_t commandClass, std::uint16_t parameterID,
                                        std::span<const std::uint8_t> data, std::uint8_t responseType = responseAck);

// The 16-bit sum of the start code and every byte of `messageWithoutStartCode`.
std::uint16_t checksum(std::span<const std::uint8_t> messageWithoutStartCode);

// The node's UID: ESTA manufacturer 0x7FF0, then the process identifier, most significant
// byte first.
RdmUID uidForProcess(std::uint32_t processID);

// DEVICE_INFO's 19 parameter-data bytes for a node whose DMX start address is `startAddress`.
std::vector<std::uint8_t> deviceInfo(std::uint16_t startAddress);

} // namespace orvelo::rdm

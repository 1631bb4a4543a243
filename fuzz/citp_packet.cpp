// CITP datagrams and TCP messages as the media server receives them: the readers stay within
// the packet, texts they return are plain ASCII, and a patch holds no more fixtures than
// announced or allowed.
#include "FuzzCheck.h"
#include "citp/CITPPacket.h"

#include <QString>

#include <algorithm>

using namespace orvelo;

namespace {

bool isAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> packet(data, size);
    // A track name from the library goes out in an ASCIIZ field.
    const std::string label =
        citp::elementLabel(QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    FUZZ_CHECK(isAscii(label) && label.find('\0') == std::string::npos);

    const auto classified = citp::classify(packet);
    if (!classified)
        return 0;
    FUZZ_CHECK(classified->bodyOffset <= size && classified->contentType.size() == 4);
    const std::size_t body = classified->bodyOffset;
    if (const auto code = citp::codeAt(packet, body))
        FUZZ_CHECK(code->size() == 4 && body + 4 <= size);
    const auto peer = citp::readPeerLocation(packet, body);
    FUZZ_CHECK(isAscii(peer.type) && isAscii(peer.name));
    citp::readMediaIndex(packet, body);
    if (const auto patch = citp::readPatch(packet, body)) {
        FUZZ_CHECK(patch->fixtures.size() <= std::min<std::size_t>(patch->announcedCount, citp::maxPatchFixtures));
        for (const CITPFixture& fixture : patch->fixtures)
            FUZZ_CHECK(isAscii(fixture.extraInfo) && fixture.extraInfo.find('\0') == std::string::npos);
        FUZZ_CHECK(!citp::patchSummary(*patch).empty());
    }
    return 0;
}

// A playlist file or the stored playlist, as read at start and on load: a document is taken or
// refused with a reason, and what is taken is written back and read again unchanged.
#include "FuzzCheck.h"
#include "core/TrackListCodec.h"

using namespace orvelo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray document(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString whyNot;
    const auto tracks = TrackListCodec::decode(document, &whyNot);
    if (!tracks) {
        FUZZ_CHECK(!whyNot.isEmpty());
        return 0;
    }
    const auto written = TrackListCodec::encode(*tracks, &whyNot);
    FUZZ_CHECK(written);
    FUZZ_CHECK(TrackListCodec::decode(*written) == tracks);
    return 0;
}

#pragma once

// A stand-in for the NDI runtime, built as libndi.so.6 for the tests: the five functions the
// service calls, recording what they were given, plus these functions for the tests to read
// the record (found with dlsym in the same loaded library). Like the real runtime, a sender
// created with video clocking holds each send until that frame's turn at the frame rate.

#include <cstdint>

extern "C" {

// A video frame as the runtime's send call takes it, laid out as the runtime's C interface
// defines it (written here from that definition, not from the service's).
struct FakeNDIVideoFrame {
    int xres, yres;
    std::uint32_t fourCC;
    int frameRateN, frameRateD;
    float pictureAspectRatio;
    int frameFormatType;
    std::int64_t timecode;
    std::uint8_t* data;
    int lineStrideInBytes;
    const char* metadata;
    std::int64_t timestamp;
};

// A frame as it was sent; its pointers are only kept to tell whether they were set.
struct FakeNDIFrame : FakeNDIVideoFrame {
    bool onCreatingThread; // sent on the thread that created the sender
};

struct FakeNDIState {
    int destroyCalls;
    int createCalls;
    int liveSenders;
    int framesSent;
    bool lastCreateNamedOrvelo;
    bool lastCreateHadGroups;
    bool lastCreateClockVideo;
    bool lastCreateClockAudio;
    bool destroyedWithLiveSenders; // NDIlib_destroy came while a sender was alive
    bool sentAfterSenderDestroyed;
};

typedef void (*FakeNDIResetFn)(bool failInitialize);
typedef FakeNDIState (*FakeNDIStateFn)();
// Frame `index` counted from the first (0) or from the last (-1, -2, ...); false past the end.
typedef bool (*FakeNDIFrameFn)(int index, FakeNDIFrame* out);
// The B, G, R, A bytes of pixel (x, y) of the last frame sent; false outside it.
typedef bool (*FakeNDIPixelFn)(int x, int y, std::uint8_t* bgra);
}

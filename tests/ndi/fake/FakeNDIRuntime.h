#pragma once

// A stand-in for the NDI runtime, built as libndi.so.6: the five functions the service calls,
// recording what they were given, and the fake_ndi_* functions to read the record (by dlsym).
// Like the real runtime, a sender clocked by video holds each send until that frame's turn.

#include <cstdint>

extern "C" {

// A video frame as laid out by the runtime's C interface (written from it, not from the service).
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
    int destroyCalls, createCalls, liveSenders, framesSent;
    bool lastCreateNamedOrvelo, lastCreateHadGroups, lastCreateClockVideo, lastCreateClockAudio;
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

#pragma once

#include "platform/media/GstHandle.h"

namespace orvelo {

// The sink that decoded audio plays into: the default audio device, or, on a machine without
// one (a server, CI), a null sink that still waits on the clock so that playback runs in real
// time. GST_AUDIO_SINK names a sink factory to use instead (tests set "fakesink").
GstObjectHandle<GstElement> createAudioSink();

// Whether the machine offers an audio device. Probed once per process: opening every device
// backend takes tens of milliseconds and prints backend noise on a machine without one.
bool hasAudioDevice();

} // namespace orvelo

#pragma once

namespace orvelo {

// Adds the "orvelohapdec" element (HAP, HAP Alpha, HAP Q and HAP Q Alpha from QuickTime files
// to BGRA or RGBA video) to this process's GStreamer registry at primary rank, so that
// decodebin, uridecodebin and playbin pick it after qtdemux. ensureGStreamer() calls it once
// GStreamer is initialised; safe from any thread, any number of times after that.
void registerHapDecoder();

} // namespace orvelo

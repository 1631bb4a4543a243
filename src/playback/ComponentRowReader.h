#pragma once

#include "platform/media/VideoFrame.h"
#include "playback/EffectParameters.h"

#include <cstdint>
#include <vector>

namespace orvelo {

// Reads one colour component of a frame row by row, with the colour controls applied:
// saturation interpolates between the pixel's luminance grey (Rec. 709 weights) and its colour
// and extrapolates above 1; brightness is an offset added to the component (1.0 = full scale).
// Results are clamped to 0..255. For I420 frames the YUV-to-RGB conversion and the colour
// controls form one linear step, so only the final value is rounded (to within 1/16 level).
class ComponentRowReader {
public:
    // `frame` must have a valid layout and outlive the reads.
    void prepare(const VideoFrame& frame, ColorChannel channel, float saturation, float brightness);

    // Writes frame.width bytes.
    void readRow(int row, std::uint8_t* out);

private:
    const VideoFrame* frame_ = nullptr;
    // BGRA: value = k[0]*B + k[1]*G + k[2]*R + bias;
    // I420: value = k[0]*Y + k[1]*(U - 128) + k[2]*(V - 128) + bias.
    float k_[3] = {0.0f, 0.0f, 0.0f};
    float bias_ = 0.0f;
    unsigned lumaScale_ = 128; // I420: k[0] in 1/128
    std::int16_t chromaU_ = 0; // I420, everyday values: k[1], k[2], bias in 1/4096
    std::int16_t chromaV_ = 0;
    int chromaBias_ = 0;
    std::vector<std::int16_t> chromaTerm_; // I420: the U and V part of one row, per luma column
    int chromaTermRow_ = -1;               // the chroma row chromaTerm_ holds
    bool clampChroma_ = false;
};

} // namespace orvelo

#include "platform/media/HapFrame.h"

#include "platform/ByteReader.h"

#include <snappy.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace orvelo {

namespace {

constexpr std::uint8_t compressorNone = 0xA;
constexpr std::uint8_t compressorSnappy = 0xB;
constexpr std::uint8_t compressorChunked = 0xC;

constexpr std::uint8_t sectionMultipleImages = 0x0D;
constexpr std::uint8_t sectionDecodeInstructions = 0x01;
constexpr std::uint8_t sectionChunkCompressors = 0x02;
constexpr std::uint8_t sectionChunkSizes = 0x03;
constexpr std::uint8_t sectionChunkOffsets = 0x04;

template <typename... Args> std::string format(const char* pattern, Args... args)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

struct Section {
    std::uint8_t type = 0;
    std::span<const std::uint8_t> data;
};

struct SectionRead {
    std::optional<Section> section;
    std::string error;
};

// A section header is 3 length bytes and a type byte; a zero length means the real length
// follows as 4 more bytes, for sections of 16 MiB and over.
SectionRead readSection(ByteReader& reader, const char* where)
{
    const std::size_t start = reader.offset();
    const auto header = reader.u32le();
    if (!header)
        return {std::nullopt, format("%s: %zu bytes left, too few for a section header", where, reader.remaining())};
    std::size_t length = *header & 0xFFFFFFu;
    const auto type = static_cast<std::uint8_t>(*header >> 24);
    if (length == 0) {
        const auto longLength = reader.u32le();
        if (!longLength)
            return {std::nullopt, format("%s: section at byte %zu lacks its 8-byte header", where, start)};
        length = *longLength;
    }
    const std::size_t available = reader.remaining();
    const auto body = reader.bytes(length);
    if (!body)
        return {std::nullopt, format("%s: section 0x%02X at byte %zu claims %zu bytes, %zu follow", where, type, start,
                                     length, available)};
    return {Section{type, *body}, {}};
}

const char* formatName(HapTextureFormat format)
{
    switch (format) {
    case HapTextureFormat::bc4Alpha:
        return "BC4 alpha";
    case HapTextureFormat::dxt1:
        return "DXT1";
    case HapTextureFormat::dxt5:
        return "DXT5";
    case HapTextureFormat::scaledYCoCgDxt5:
        return "scaled YCoCg DXT5";
    }
    return "?";
}

std::optional<std::string> unknownFormat(std::uint8_t nibble)
{
    switch (nibble) {
    case 0x1:
    case 0xB:
    case 0xE:
    case 0xF:
        return std::nullopt;
    case 0xC:
        return "BC7 textures (HAP R, Hap7) are not supported";
    case 0x2:
    case 0x3:
        return "BC6 textures (HAP HDR) are not supported";
    default:
        return format("unknown texture format 0x%X", nibble);
    }
}

struct Chunk {
    std::uint8_t compressor = 0;
    std::span<const std::uint8_t> in;
    std::span<std::uint8_t> out;
};

bool inflateChunks(std::span<const Chunk> chunks)
{
    for (const Chunk& chunk : chunks) {
        if (chunk.compressor == compressorNone) {
            if (!chunk.in.empty())
                std::memcpy(chunk.out.data(), chunk.in.data(), chunk.in.size());
        } else if (!snappy::RawUncompress(reinterpret_cast<const char*>(chunk.in.data()), chunk.in.size(),
                                          reinterpret_cast<char*>(chunk.out.data()))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::size_t hapTextureSize(HapTextureFormat format, std::uint32_t width, std::uint32_t height)
{
    const std::size_t blocks = std::size_t{(width + 3) / 4} * ((height + 3) / 4);
    const bool eightByteBlocks = format == HapTextureFormat::dxt1 || format == HapTextureFormat::bc4Alpha;
    return blocks * (eightByteBlocks ? 8 : 16);
}

HapUnpackResult HapUnpacker::unpack(std::span<const std::uint8_t> frame, std::uint32_t width, std::uint32_t height)
{
    if (width == 0 || height == 0 || width > hapMaxDimension || height > hapMaxDimension)
        return {std::nullopt, format("frame size %ux%u is out of range", width, height)};

    ByteReader reader(frame);
    auto top = readSection(reader, "frame");
    if (!top.section)
        return {std::nullopt, std::move(top.error)};

    HapTextures textures;
    if (top.section->type != sectionMultipleImages) {
        if ((top.section->type & 0xF) == static_cast<std::uint8_t>(HapTextureFormat::bc4Alpha))
            return {std::nullopt, "alpha-only frames (HapA) are not supported"};
        if (auto error = unpackTexture(top.section->type, top.section->data, width, height, colour_, textures.colour))
            return {std::nullopt, std::move(*error)};
        return {std::move(textures), {}};
    }

    // HAP Q Alpha: a YCoCg image and an alpha image, in either order.
    bool haveColour = false;
    ByteReader images(top.section->data);
    while (images.remaining() > 0) {
        auto image = readSection(images, "multiple-image section");
        if (!image.section)
            return {std::nullopt, std::move(image.error)};
        const bool isAlpha = (image.section->type & 0xF) == static_cast<std::uint8_t>(HapTextureFormat::bc4Alpha);
        if (isAlpha ? textures.alpha.has_value() : haveColour)
            return {std::nullopt,
                    format("multiple-image section repeats an image of type 0x%02X", image.section->type)};
        HapTexture texture;
        if (auto error = unpackTexture(image.section->type, image.section->data, width, height,
                                       isAlpha ? alpha_ : colour_, texture))
            return {std::nullopt, std::move(*error)};
        if (isAlpha) {
            textures.alpha = texture;
        } else {
            textures.colour = texture;
            haveColour = true;
        }
    }
    if (!haveColour)
        return {std::nullopt, "multiple-image section holds no colour image"};
    if (textures.alpha && textures.colour.format != HapTextureFormat::scaledYCoCgDxt5)
        return {std::nullopt, format("an alpha image goes only with scaled YCoCg DXT5, not with %s",
                                     formatName(textures.colour.format))};
    return {std::move(textures), {}};
}

std::optional<std::string> HapUnpacker::unpackTexture(std::uint8_t type, std::span<const std::uint8_t> data,
                                                      std::uint32_t width, std::uint32_t height,
                                                      std::vector<std::uint8_t>& buffer, HapTexture& out)
{
    const std::uint8_t compressor = type >> 4;
    if (auto error = unknownFormat(type & 0xF))
        return format("section type 0x%02X: %s", type, error->c_str());
    out.format = static_cast<HapTextureFormat>(type & 0xF);
    const std::size_t needed = hapTextureSize(out.format, width, height);

    switch (compressor) {
    case compressorNone:
        if (data.size() != needed)
            return format("uncompressed %s texture holds %zu bytes, a %ux%u frame needs %zu", formatName(out.format),
                          data.size(), width, height, needed);
        out.blocks = data;
        return std::nullopt;
    case compressorSnappy: {
        std::size_t length = 0;
        if (!snappy::GetUncompressedLength(reinterpret_cast<const char*>(data.data()), data.size(), &length))
            return std::string("snappy data has no readable length");
        if (length != needed)
            return format("snappy data unpacks to %zu bytes, a %ux%u %s texture needs %zu", length, width, height,
                          formatName(out.format), needed);
        buffer.resize(needed);
        if (!snappy::RawUncompress(reinterpret_cast<const char*>(data.data()), data.size(),
                                   reinterpret_cast<char*>(buffer.data())))
            return std::string("corrupt snappy data");
        out.blocks = buffer;
        return std::nullopt;
    }
    case compressorChunked:
        buffer.resize(needed);
        if (auto error = unpackChunks(data, buffer))
            return error;
        out.blocks = buffer;
        return std::nullopt;
    default:
        return format("section type 0x%02X: unknown second-stage compressor 0x%X", type, compressor);
    }
}

std::optional<std::string> HapUnpacker::unpackChunks(std::span<const std::uint8_t> data, std::span<std::uint8_t> out)
{
    ByteReader reader(data);
    auto container = readSection(reader, "chunked texture");
    if (!container.section)
        return std::move(container.error);
    if (container.section->type != sectionDecodeInstructions)
        return format("chunked texture starts with section type 0x%02X, not its decode instructions",
                      container.section->type);
    const std::span<const std::uint8_t> payload = reader.rest();

    std::optional<std::span<const std::uint8_t>> compressors, sizes, offsets;
    ByteReader instructions(container.section->data);
    while (instructions.remaining() > 0) {
        auto table = readSection(instructions, "decode instructions");
        if (!table.section)
            return std::move(table.error);
        std::optional<std::span<const std::uint8_t>>* slot = nullptr;
        switch (table.section->type) {
        case sectionChunkCompressors:
            slot = &compressors;
            break;
        case sectionChunkSizes:
            slot = &sizes;
            break;
        case sectionChunkOffsets:
            slot = &offsets;
            break;
        default:
            // Skipping it could hide a step the frame needs; a wrong picture is worse than none.
            return format("decode instructions hold unknown section type 0x%02X", table.section->type);
        }
        if (slot->has_value())
            return format("decode instructions repeat section type 0x%02X", table.section->type);
        *slot = table.section->data;
    }
    if (!compressors || compressors->empty() || !sizes)
        return std::string("decode instructions lack a chunk compressor or chunk size table");
    const std::size_t count = compressors->size();
    if (sizes->size() != count * 4 || (offsets && offsets->size() != count * 4))
        return format("decode instructions list %zu chunk compressors but %zu sizes and %zu offsets", count,
                      sizes->size() / 4, offsets ? offsets->size() / 4 : count);

    std::vector<Chunk> chunks(count);
    ByteReader sizeReader(*sizes);
    ByteReader offsetReader(offsets.value_or(std::span<const std::uint8_t>{}));
    std::uint64_t nextOffset = 0;
    std::size_t written = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t size = *sizeReader.u32le();
        const std::uint64_t offset = offsets ? *offsetReader.u32le() : nextOffset;
        nextOffset = offset + size;
        if (nextOffset > payload.size())
            return format("chunk %zu (bytes %llu..%llu) lies outside the %zu bytes of chunk data", i,
                          static_cast<unsigned long long>(offset), static_cast<unsigned long long>(nextOffset),
                          payload.size());
        Chunk& chunk = chunks[i];
        chunk.compressor = (*compressors)[i];
        chunk.in = payload.subspan(offset, size);
        std::size_t length = size;
        if (chunk.compressor == compressorSnappy) {
            if (!snappy::GetUncompressedLength(reinterpret_cast<const char*>(chunk.in.data()), chunk.in.size(),
                                               &length))
                return format("chunk %zu: snappy data has no readable length", i);
        } else if (chunk.compressor != compressorNone) {
            return format("chunk %zu: unknown second-stage compressor 0x%02X", i, chunk.compressor);
        }
        if (length > out.size() - written)
            return format("chunks unpack to more than the %zu bytes the texture needs", out.size());
        chunk.out = out.subspan(written, length);
        written += length;
    }
    if (written != out.size())
        return format("chunks unpack to %zu bytes, the texture needs %zu", written, out.size());

    // Chunks exist so that they can be unpacked side by side.
    bool ok = true;
    const std::span<const Chunk> all(chunks);
    if (threads_ > 1 && count > 1) {
        const std::size_t half = count / 2;
        bool helperOk = true;
        std::thread helper([&] { helperOk = inflateChunks(all.subspan(half)); });
        ok = inflateChunks(all.first(half));
        helper.join();
        ok = ok && helperOk;
    } else {
        ok = inflateChunks(all);
    }
    if (!ok)
        return std::string("corrupt snappy data in a chunk");
    return std::nullopt;
}

DxtFormat dxtFormatOf(HapTextureFormat format)
{
    switch (format) {
    case HapTextureFormat::dxt1:
        return DxtFormat::dxt1;
    case HapTextureFormat::dxt5:
        return DxtFormat::dxt5;
    case HapTextureFormat::scaledYCoCgDxt5:
    case HapTextureFormat::bc4Alpha:
        break;
    }
    return DxtFormat::scaledYCoCgDxt5;
}

} // namespace orvelo

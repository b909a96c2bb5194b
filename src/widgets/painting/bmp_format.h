// BMP file images (a device-independent bitmap with its file header) as the
// library stores pictures: the headers it writes and the checks a stored
// picture passes before it is decoded.
#pragma once

#include "widgets/storage/stream.h"

#include <cstdint>
#include <vector>

namespace kyd::widgets {

// Largest picture read back: width x height x the four bytes a pixel it
// decodes to (pictures are painted in true colour, whatever their depth).
inline constexpr std::int64_t kDUDMaxBmpPixelBytes = 256LL * 1024 * 1024;

// Bytes of one stored row: padded to a multiple of 4.
constexpr std::int64_t DUDBmpRowBytes(std::int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }
// Where the pixels of a picture without compression start: after the two
// headers and a colour table of 2^bits entries (none for 24 bits).
constexpr std::int64_t DUDBmpPixelOffset(int bits) { return 14 + 40 + (bits >= 24 ? 0 : 4LL << bits); }

// The 14-byte file header and the 40-byte information header of a bottom-up
// picture without compression, for a colour table of 2^bits entries (none
// for 24 bits). Sizes are worked out in 64 bits; a picture whose sizes do
// not fit the 32-bit header fields raises EWriteError.
std::vector<std::uint8_t> DUDBmpHeaders(std::int64_t width, std::int64_t height, int bits);

// Checks a BMP image before it is decoded: the signature, header sizes and
// offsets inside the data, 1 plane, a known depth and compression, the rows
// inside the data (for pictures without run-length compression) and at most
// kDUDMaxBmpPixelBytes decoded, whatever the compression. EReadError when it
// fails.
void DUDCheckBmp(const std::uint8_t* data, std::size_t size);
// Bytes a pixel of a decoded picture, whatever its depth: the library
// paints pictures in true colour, and the decoder accounts for them so.
inline constexpr std::int64_t kDUDDecodedPixelBytes = 4;
// What a decoded picture holds besides its pixels: its object, header and
// colour table (the 256 entries of 8 bits a pixel at most).
inline constexpr std::int64_t kDUDPictureObjectBytes = 1536;
// The bytes a picture of width x height pixels is held at once decoded.
constexpr std::int64_t DUDDecodedBytes(std::int64_t width, std::int64_t height)
{
    return width * height * kDUDDecodedPixelBytes;
}
// The bytes a checked BMP image decodes to (width x height x
// kDUDDecodedPixelBytes), worked out from its headers before anything is
// decoded; EReadError when the check fails.
std::int64_t DUDBmpDecodedBytes(const std::uint8_t* data, std::size_t size);

// A stored picture's bytes (compressed stream or uncompressed block),
// checked with DUDCheckBmp; empty for an empty picture.
std::vector<std::uint8_t> stReadBitmapBytes(TStream& s, bool compressed);

} // namespace kyd::widgets

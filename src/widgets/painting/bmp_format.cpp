#include "widgets/painting/bmp_format.h"

#include <limits>

namespace kyd::widgets {

namespace {
void Put16(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
std::uint32_t Get32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

[[noreturn]] void Bad(const char* why) { throw EReadError(std::string("Bitmap image is not valid: ") + why); }
} // namespace

std::vector<std::uint8_t> DUDBmpHeaders(std::int64_t width, std::int64_t height, int bits)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::int64_t offset = DUDBmpPixelOffset(bits);
    if (width < 0 || height < 0 || width > kMax || height > kMax)
        throw EWriteError("Bitmap too large to store");
    const std::int64_t image = DUDBmpRowBytes(width, bits) * height;
    const std::int64_t file = offset + image;
    if (file > static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max()))
        throw EWriteError("Bitmap too large to store");
    std::vector<std::uint8_t> h;
    h.reserve(54);
    Put16(h, 0x4D42); // "BM"
    Put32(h, static_cast<std::uint32_t>(file));
    Put32(h, 0); // two reserved words
    Put32(h, static_cast<std::uint32_t>(offset));
    Put32(h, 40);
    Put32(h, static_cast<std::uint32_t>(width));
    Put32(h, static_cast<std::uint32_t>(height));
    Put16(h, 1);
    Put16(h, static_cast<std::uint32_t>(bits));
    Put32(h, 0); // no compression
    Put32(h, static_cast<std::uint32_t>(image));
    for (int i = 0; i < 4; ++i)
        Put32(h, 0); // resolution and colour counts
    return h;
}

namespace {

// The checked headers' picture size.
struct BmpShape {
    std::int64_t width;
    std::int64_t height;
};

BmpShape CheckedShape(const std::uint8_t* data, std::size_t size)
{
    if (size < 14 + 12)
        Bad("too short");
    if (data[0] != 'B' || data[1] != 'M')
        Bad("no BMP signature");
    const std::uint32_t offset = Get32(data + 10);
    const std::uint32_t infoSize = Get32(data + 14);
    if (infoSize != 12 && infoSize < 40)
        Bad("unknown header");
    if (infoSize > size - 14 || offset < 14 + infoSize || offset > size)
        Bad("headers run past the data");
    std::int64_t width, height;
    unsigned planes, bits, compression = 0;
    const std::uint8_t* info = data + 14;
    if (infoSize == 12) {
        width = Get16(info + 4);
        height = Get16(info + 6);
        planes = Get16(info + 8);
        bits = Get16(info + 10);
    } else {
        width = static_cast<std::int32_t>(Get32(info + 4));
        height = static_cast<std::int32_t>(Get32(info + 8));
        planes = Get16(info + 12);
        bits = Get16(info + 14);
        compression = Get32(info + 16);
    }
    if (height < 0)
        height = -height; // top-down rows
    if (width <= 0 || height <= 0)
        Bad("empty picture");
    if (planes != 1)
        Bad("more than one plane");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        Bad("unknown colour depth");
    if (compression > 3)
        Bad("unknown compression");
    // What the picture decodes to, whatever its compression; divided, not
    // multiplied: the product may overflow 64 bits.
    if (width > kDUDMaxBmpPixelBytes / kDUDDecodedPixelBytes / height)
        Bad("picture too large");
    if ((compression == 0 || compression == 3) && DUDBmpRowBytes(width, static_cast<int>(bits)) * height >
                                                        static_cast<std::int64_t>(size - offset))
        Bad("pixels run past the data");
    return {width, height};
}

} // namespace

void DUDCheckBmp(const std::uint8_t* data, std::size_t size)
{
    CheckedShape(data, size);
}

std::int64_t DUDBmpDecodedBytes(const std::uint8_t* data, std::size_t size)
{
    const BmpShape shape = CheckedShape(data, size);
    return DUDDecodedBytes(shape.width, shape.height);
}

std::vector<std::uint8_t> stReadBitmapBytes(TStream& s, bool compressed)
{
    std::vector<std::uint8_t> bytes = stReadBlock(s, compressed);
    if (!bytes.empty())
        DUDCheckBmp(bytes.data(), bytes.size());
    return bytes;
}

} // namespace kyd::widgets

#include "widgets/storage/lzrw.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kyd::widgets {

namespace {

constexpr std::uint8_t kFlagCompressed = 0x40;
constexpr std::uint8_t kFlagCopied = 0x80;
constexpr std::uint16_t kEmpty = 0xFFFF;
constexpr std::int32_t kMaxRun = 0xFFF;
constexpr std::int32_t kMinRun = 16;
constexpr std::int32_t kMaxMatch = 18;
constexpr std::int32_t kWindow = 4096;

inline unsigned Hash(const std::uint8_t* p)
{
    unsigned h = ((static_cast<unsigned>(p[0]) << 4) ^ p[1]) << 4 ^ p[2];
    return ((h * 40543u) >> 4) & 0xFFF;
}

inline std::uint64_t Load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Length of the common start of a and b, at most kMaxMatch; both hold at
// least kMaxMatch bytes. Eight bytes are compared at a time: the first
// differing byte is the lowest set byte of the difference on a
// little-endian machine.
inline std::int32_t MatchLength(const std::uint8_t* a, const std::uint8_t* b)
{
    if constexpr (std::endian::native == std::endian::little) {
        for (std::int32_t i = 0; i < 16; i += 8) {
            if (const std::uint64_t d = Load64(a + i) ^ Load64(b + i))
                return i + std::countr_zero(d) / 8;
        }
        if (a[16] != b[16])
            return 16;
        return a[17] != b[17] ? 17 : 18;
    } else {
        std::int32_t n = 0;
        while (n < kMaxMatch && a[n] == b[n])
            ++n;
        return n;
    }
}

} // namespace

// Each input position holds one of: a run of at least kMinRun equal bytes,
// a reference to an earlier copy of at least 3 bytes found through a hash
// of the next 3 bytes (one candidate, no search), or a literal. The table
// keeps the last position of each hash as a 32-bit number that starts far
// enough back that an empty slot is never within the window.
std::int32_t DUDLZRWCompress(const std::uint8_t* source, std::uint8_t* dest, std::int32_t size)
{
    if (size < 0 || size > kLZRWBlockSize)
        return -1; // the format's positions are 16-bit
    constexpr std::int32_t kNowhere = -2 * kWindow;
    std::int32_t table[4096];
    std::fill(std::begin(table), std::end(table), kNowhere);
    dest[0] = kFlagCompressed;
    std::int32_t y = 3;
    std::int32_t z = 1;
    int bits = 0;
    std::uint32_t command = 0;
    std::int32_t x = 0;
    // Below this position a match may read its kMaxMatch bytes at once.
    const std::int32_t fastEnd = size - kMaxMatch;
    while (x < size && y <= size) {
        if (bits == 16) {
            dest[z] = static_cast<std::uint8_t>(command >> 8);
            dest[z + 1] = static_cast<std::uint8_t>(command);
            z = y;
            y += 2;
            bits = 0;
            command = 0;
        }
        int bit = 0;
        const std::uint8_t c = source[x];
        if (x + 1 < size && source[x + 1] == c) {
            const std::int32_t runLimit = std::min(kMaxRun, size - x);
            std::int32_t run = 2;
            while (run < runLimit && source[x + run] == c)
                ++run;
            if (run >= kMinRun) {
                dest[y] = 0;
                dest[y + 1] = static_cast<std::uint8_t>((run - kMinRun) >> 8);
                dest[y + 2] = static_cast<std::uint8_t>(run - kMinRun);
                dest[y + 3] = c;
                y += 4;
                x += run;
                command = (command << 1) | 1;
                ++bits;
                continue;
            }
        }
        if (size - x >= 3) {
            const unsigned h = Hash(source + x);
            const std::int32_t entry = table[h];
            table[h] = x;
            if (x - entry < kWindow) {
                std::int32_t length;
                if (x <= fastEnd) {
                    length = MatchLength(source + entry, source + x);
                } else {
                    const std::int32_t limit = std::min(kMaxMatch, size - x);
                    length = 0;
                    while (length < limit && source[entry + length] == source[x + length])
                        ++length;
                }
                if (length >= 3) {
                    const unsigned key = (static_cast<unsigned>(x - entry) << 4) + static_cast<unsigned>(length - 3);
                    dest[y] = static_cast<std::uint8_t>(key >> 8);
                    dest[y + 1] = static_cast<std::uint8_t>(key);
                    y += 2;
                    x += length;
                    bit = 1;
                }
            }
        }
        if (bit == 0)
            dest[y++] = source[x++];
        command = (command << 1) | static_cast<std::uint32_t>(bit);
        ++bits;
    }
    command <<= 16 - bits;
    dest[z] = static_cast<std::uint8_t>(command >> 8);
    dest[z + 1] = static_cast<std::uint8_t>(command);
    if (y > size) {
        dest[0] = kFlagCopied;
        if (size > 0)
            std::memmove(dest + 1, source, static_cast<std::size_t>(size));
        return size + 1;
    }
    return y;
}

std::int32_t DUDLZRWDecompress(const std::uint8_t* source, std::uint8_t* dest, std::int32_t size)
{
    if (size < 1)
        return -1;
    if (source[0] == kFlagCopied) {
        if (size - 1 > kLZRWBlockSize)
            return -1;
        if (size > 1)
            std::memcpy(dest, source + 1, static_cast<std::size_t>(size - 1));
        return size - 1;
    }
    if (source[0] != kFlagCompressed || size < 3)
        return -1;
    unsigned command = (static_cast<unsigned>(source[1]) << 8) | source[2];
    int bits = 16;
    std::int32_t x = 3;
    std::int32_t out = 0;
    while (x < size) {
        if (bits == 0) {
            if (size - x < 2)
                return -1;
            command = (static_cast<unsigned>(source[x]) << 8) | source[x + 1];
            x += 2;
            bits = 16;
            if (x >= size)
                break;
        }
        if ((command & 0x8000) == 0) {
            if (out >= kLZRWBlockSize)
                return -1;
            dest[out++] = source[x++];
        } else {
            if (size - x < 2)
                return -1;
            const std::int32_t distance = (static_cast<std::int32_t>(source[x]) << 4) | (source[x + 1] >> 4);
            if (distance == 0) {
                if (size - x < 4)
                    return -1;
                const std::int32_t run = ((static_cast<std::int32_t>(source[x + 1]) << 8) | source[x + 2]) + kMinRun;
                if (run > kLZRWBlockSize - out)
                    return -1;
                std::memset(dest + out, source[x + 3], static_cast<std::size_t>(run));
                out += run;
                x += 4;
            } else {
                const std::int32_t length = (source[x + 1] & 0x0F) + 3;
                if (distance > out || length > kLZRWBlockSize - out)
                    return -1;
                std::uint8_t* to = dest + out;
                const std::uint8_t* from = to - distance;
                if (distance >= 8 && kLZRWBlockSize - out >= length + 7) {
                    // Eight bytes at a time: each piece reads only bytes
                    // already final; the last may run up to 7 bytes past
                    // the match, which later output overwrites.
                    for (std::int32_t i = 0; i < length; i += 8)
                        std::memcpy(to + i, from + i, 8);
                } else {
                    // Overlapping: each byte may be one this copy produced.
                    for (std::int32_t i = 0; i < length; ++i)
                        to[i] = from[i];
                }
                out += length;
                x += 2;
            }
        }
        command = (command << 1) & 0xFFFF;
        --bits;
    }
    return out;
}

std::vector<std::uint8_t> DUDLZRWCompressBlock(const std::uint8_t* source, std::int32_t size)
{
    if (size < 0 || size > kLZRWBlockSize)
        return {};
    std::vector<std::uint8_t> out(DUDLZRWDestSize(size));
    out.resize(static_cast<std::size_t>(DUDLZRWCompress(source, out.data(), size)));
    return out;
}

bool DUDLZRWExpandBlock(const std::uint8_t* source, std::int32_t size, std::vector<std::uint8_t>& out)
{
    const std::size_t old = out.size();
    out.resize(old + kLZRWBlockSize);
    const std::int32_t n = DUDLZRWDecompress(source, out.data() + old, size);
    out.resize(n < 0 ? old : old + static_cast<std::size_t>(n));
    return n >= 0;
}

} // namespace kyd::widgets

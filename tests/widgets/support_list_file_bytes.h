// Bytes of hand-made pictures and list files for the loader tests: run-length
// pictures, and list files whose offsets may all name one record.
#pragma once

#include "widgets/storage/containers.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kyd::widgets::test {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// A run-length picture (8 or 4 bits a pixel, compression 1 or 2) of width x
// height with a two-colour palette and the given codes; by default the
// end-of-picture escape at once: tiny stored, width x height decoded.
inline Bytes RunLengthPicture(std::uint32_t width, std::uint32_t height, int bits = 8,
                              const Bytes& codes = {0, 1})
{
    Bytes b;
    const auto size = static_cast<std::uint32_t>(14 + 40 + 8 + codes.size());
    Put16(b, 0x4D42);
    Put32(b, size);
    Put32(b, 0);
    Put32(b, 14 + 40 + 8); // pixels after a palette of two colours
    Put32(b, 40);
    Put32(b, width);
    Put32(b, height);
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(bits));
    Put32(b, bits == 8 ? 1 : 2); // run-length compression of the depth
    Put32(b, static_cast<std::uint32_t>(codes.size()));
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 2); // colours used
    Put32(b, 0);
    Put32(b, 0x000000);
    Put32(b, 0xFFFFFF);
    b.insert(b.end(), codes.begin(), codes.end());
    return b;
}

// A list file of the type whose `refs` offsets all name one record: the
// flag byte and `body`.
inline Bytes SharedOffsetList(int type, int refs, std::uint8_t flag, const Bytes& body)
{
    TMemoryStream s;
    stWriteString(s, DUDICGetSignature(type));
    stWriteInteger(s, refs);
    const auto record = static_cast<std::int32_t>(s.Position() + 4 * refs);
    for (int i = 0; i < refs; ++i)
        stWriteInteger(s, record);
    stWriteByte(s, flag);
    s.WriteBuffer(body.data(), body.size());
    return s.Bytes();
}

// A bitmap item's data: the picture as an uncompressed block.
inline Bytes BitmapBody(const Bytes& picture)
{
    TMemoryStream s;
    stWriteInteger(s, static_cast<std::int32_t>(picture.size()));
    s.WriteBuffer(picture.data(), picture.size());
    return s.Bytes();
}

// An image item's data: `count` images of width x height in the picture.
inline Bytes ImageBody(std::int32_t width, std::int32_t height, const Bytes& picture, std::int32_t count = 1)
{
    TMemoryStream s;
    stWriteInteger(s, height);
    stWriteInteger(s, width);
    stWriteInteger(s, 4);
    stWriteByte(s, 0);
    stWriteInteger(s, count);
    const Bytes block = BitmapBody(picture);
    s.WriteBuffer(block.data(), block.size());
    return s.Bytes();
}

// A folder of its own for the files of a test, removed with everything in
// it at the end.
struct TempListDir {
    std::filesystem::path path;
    explicit TempListDir(const std::string& prefix)
        : path(std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~TempListDir() { std::filesystem::remove_all(path); }
    TempListDir(const TempListDir&) = delete;
    TempListDir& operator=(const TempListDir&) = delete;
    // Writes the bytes to the file `name` in the folder; its path.
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        const std::string file = (path / name).string();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }
};

} // namespace kyd::widgets::test

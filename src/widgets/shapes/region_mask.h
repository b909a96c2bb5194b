// A window region traced from a picture, kept as raw region data so that a
// loaded form gets its exact shape back without tracing again, together with
// the pictures that paint the window's border.
//
// Region data: a 32-byte header (header size 32, type 1, rectangle count n,
// 16 * n, bounding rectangle), then n rectangles of four little-endian
// 32-bit integers (left, top, right, bottom; right and bottom exclusive).
#pragma once

#include "widgets/framework/object.h"
#include "widgets/storage/property_stream.h"
#include "widgets/storage/stream.h"
#include "widgets/framework/graphics.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kyd::widgets {

inline constexpr std::size_t kDUDRegionHeaderSize = 32;
// The most rectangles one region may hold or expand to. Every pattern a
// 1920 x 1080 screen can show fits: a checkerboard of single pixels, the
// most rectangles an area can need, has 1,036,800. Region data that holds
// or expands to more is refused like damaged data, so that a few stored
// kilobytes cannot grow into gigabytes.
inline constexpr std::size_t kDUDRegionMaxRects = std::size_t(1) << 20;

// The region data of a list of rectangles, in the order given.
std::vector<std::uint8_t> DUDEncodeRegionData(const std::vector<TRect>& rects);
// The rectangles of region data, or nothing when the header is not a
// 32-byte header of type 1, the rectangles it counts lie past the data or
// number more than kDUDRegionMaxRects.
// The stored bounding rectangle is not trusted and not read.
std::optional<std::vector<TRect>> DUDDecodeRegionData(const std::uint8_t* data, std::size_t size);
// Whether rectangles are in bands: sorted from top to bottom in bands that
// do not overlap, every rectangle of a band with the band's top and bottom,
// sorted from left to right without overlapping or touching, none empty,
// and no two touching bands covering the same columns. Banded rectangles can be taken as a region as they stand.
bool DUDRegionRectsBanded(const std::vector<TRect>& rects);

enum class TDUDSavePixelFormat { spfDefault, spfMono, spf4bit, spf8bit };

class TDUDRegionMask : public TDUDObject {
public:
    enum BorderIndex { biBorder = 0, biBorderUp = 1, biBorderDown = 2 };

    // The size of the region data held; 0 when there is none.
    std::int32_t RegionDataSize() const { return static_cast<std::int32_t>(data_.size()); }
    const std::vector<std::uint8_t>& RegionData() const { return data_; }
    // The size the next GetMem or ReadRegionData works with (a stored form
    // gives the size before the data); the data held is not touched.
    void SetDataSize(std::int32_t size) { pendingSize_ = size; }
    std::int32_t PendingDataSize() const { return pendingSize_; }
    // Takes these bytes as the region data, as they are.
    void SetRegionData(std::vector<std::uint8_t> data);
    // Zeroed region data of the size set with SetDataSize (none when below 1).
    void GetMem();
    // Drops the region data.
    void FreeMem();
    // The region's rectangles; nothing when there is no valid data.
    std::optional<std::vector<TRect>> Rects() const;
    // Stores the rectangles as region data; reports a change when the bytes differ.
    void SetRects(const std::vector<TRect>& rects);

    // Border pictures as stored BMP images; empty for an empty picture.
    const std::vector<std::uint8_t>& BorderBmp(int index) const;
    void SetBorderBmp(int index, std::vector<std::uint8_t> bmp);

    TDUDSavePixelFormat PixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TDUDSavePixelFormat v) { pixelFormat_ = v; }
    bool Compressed() const { return compressed_; }
    void SetCompressed(bool v) { compressed_ = v; }

    // Copies the region data and, when the source has a region, the border
    // pictures; a source without a region empties this one's and keeps the
    // pictures. Reports a change when anything differs.
    void Assign(const TDUDRegionMask& o);

    // The binary properties that are stored, in order: "RegionData",
    // "BorderBmp", "BorderUpBmp", "BorderDnBmp", each only when not empty.
    std::vector<std::string> StoredProperties() const;
    // Writes or reads one binary property by name; EReadError for an
    // unknown name or damaged data. A failed read leaves the mask unchanged.
    void WriteProperty(const std::string& name, TStream& s) const;
    void ReadProperty(const std::string& name, TStream& s);

    // The stored properties as a property list, and read back from one:
    // the region data's size is the length of its payload. EReadError for
    // damaged data anywhere, or for a list whose region data and pictures
    // come to more than kDUDMaxExpanded bytes, and the mask is left
    // unchanged. A mask that holds more than that is not written:
    // EWriteError, and out is left as it was.
    void DefineProperties(TDUDStreamProperties& out) const;
    void ReadProperties(const TDUDStreamProperties& in);

    // "RegionData": exactly the region data's bytes; reading takes the size
    // set with SetDataSize.
    void WriteRegionData(TStream& s) const;
    void ReadRegionData(TStream& s);
    // A picture: the compression flag byte, then the stored picture. Reading
    // takes the flag into Compressed.
    void WriteBitmap(int index, TStream& s) const;
    void ReadBitmap(int index, TStream& s);

    std::string ClassName() const override { return "TDUDRegionMask"; }

private:
    std::vector<std::uint8_t> data_;
    std::int32_t pendingSize_ = 0;
    std::vector<std::uint8_t> bmps_[3];
    TDUDSavePixelFormat pixelFormat_ = TDUDSavePixelFormat::spfDefault;
    bool compressed_ = false;
};

} // namespace kyd::widgets

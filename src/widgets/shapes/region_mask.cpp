#include "widgets/shapes/region_mask.h"

#include "widgets/painting/bmp_format.h"

#include <algorithm>
#include <climits>

namespace kyd::widgets {

namespace {

void PutI32(std::vector<std::uint8_t>& out, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

std::int32_t GetI32(const std::uint8_t* p)
{
    const std::uint32_t u = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    return static_cast<std::int32_t>(u);
}

const char* const kBmpNames[3] = {"BorderBmp", "BorderUpBmp", "BorderDnBmp"};

} // namespace

std::vector<std::uint8_t> DUDEncodeRegionData(const std::vector<TRect>& rects)
{
    if (rects.size() > (INT32_MAX - kDUDRegionHeaderSize) / 16)
        throw EWriteError("Region too large to store");
    TRect bound{};
    bool first = true;
    for (const TRect& r : rects) {
        if (r.Right <= r.Left || r.Bottom <= r.Top)
            continue;
        if (first) {
            bound = r;
            first = false;
            continue;
        }
        bound.Left = std::min(bound.Left, r.Left);
        bound.Top = std::min(bound.Top, r.Top);
        bound.Right = std::max(bound.Right, r.Right);
        bound.Bottom = std::max(bound.Bottom, r.Bottom);
    }
    std::vector<std::uint8_t> out;
    out.reserve(kDUDRegionHeaderSize + 16 * rects.size());
    const auto n = static_cast<std::int32_t>(rects.size());
    PutI32(out, static_cast<std::int32_t>(kDUDRegionHeaderSize));
    PutI32(out, 1);
    PutI32(out, n);
    PutI32(out, n * 16);
    for (std::int32_t v : {bound.Left, bound.Top, bound.Right, bound.Bottom})
        PutI32(out, v);
    for (const TRect& r : rects)
        for (std::int32_t v : {r.Left, r.Top, r.Right, r.Bottom})
            PutI32(out, v);
    return out;
}

std::optional<std::vector<TRect>> DUDDecodeRegionData(const std::uint8_t* data, std::size_t size)
{
    if (!data || size < kDUDRegionHeaderSize)
        return std::nullopt;
    if (GetI32(data) != static_cast<std::int32_t>(kDUDRegionHeaderSize) || GetI32(data + 4) != 1)
        return std::nullopt;
    const std::int32_t n = GetI32(data + 8);
    if (n < 0 || std::uint64_t(n) > kDUDRegionMaxRects || kDUDRegionHeaderSize + 16 * std::uint64_t(n) > size)
        return std::nullopt;
    std::vector<TRect> rects(static_cast<std::size_t>(n));
    const std::uint8_t* p = data + kDUDRegionHeaderSize;
    for (TRect& r : rects) {
        r = {GetI32(p), GetI32(p + 4), GetI32(p + 8), GetI32(p + 12)};
        p += 16;
    }
    return rects;
}

bool DUDRegionRectsBanded(const std::vector<TRect>& rects)
{
    std::size_t prevBand = 0, band = 0; // first rectangles of the last two bands
    bool havePrev = false;
    const auto sameSpans = [&](std::size_t a, std::size_t b, std::size_t end) {
        // Bands [a, b) and [b, end) cover the same columns.
        if (b - a != end - b)
            return false;
        for (std::size_t k = 0; k < b - a; ++k)
            if (rects[a + k].Left != rects[b + k].Left || rects[a + k].Right != rects[b + k].Right)
                return false;
        return true;
    };
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const TRect& r = rects[i];
        if (r.Right <= r.Left || r.Bottom <= r.Top)
            return false;
        if (i == 0)
            continue;
        const TRect& q = rects[i - 1];
        if (r.Top == q.Top && r.Bottom == q.Bottom) {
            if (r.Left <= q.Right) // same band: left to right, not touching
                return false;
            continue;
        }
        if (r.Top < q.Bottom) // a new band starts below the last
            return false;
        if (havePrev && rects[prevBand].Bottom == rects[band].Top && sameSpans(prevBand, band, i))
            return false; // two bands that should have been one
        prevBand = band;
        band = i;
        havePrev = true;
    }
    if (havePrev && rects[prevBand].Bottom == rects[band].Top && sameSpans(prevBand, band, rects.size()))
        return false;
    return true;
}

void TDUDRegionMask::SetRegionData(std::vector<std::uint8_t> data)
{
    if (data == data_)
        return;
    data_ = std::move(data);
    Change();
}

void TDUDRegionMask::GetMem()
{
    data_.assign(static_cast<std::size_t>(std::max<std::int32_t>(pendingSize_, 0)), 0);
}

void TDUDRegionMask::FreeMem()
{
    data_.clear();
    data_.shrink_to_fit();
    pendingSize_ = 0;
}

std::optional<std::vector<TRect>> TDUDRegionMask::Rects() const
{
    return DUDDecodeRegionData(data_.data(), data_.size());
}

void TDUDRegionMask::SetRects(const std::vector<TRect>& rects)
{
    SetRegionData(DUDEncodeRegionData(rects));
}

const std::vector<std::uint8_t>& TDUDRegionMask::BorderBmp(int index) const
{
    static const std::vector<std::uint8_t> none;
    return index >= 0 && index < 3 ? bmps_[index] : none;
}

void TDUDRegionMask::SetBorderBmp(int index, std::vector<std::uint8_t> bmp)
{
    if (index < 0 || index >= 3 || bmps_[index] == bmp)
        return;
    bmps_[index] = std::move(bmp);
    Change();
}

void TDUDRegionMask::Assign(const TDUDRegionMask& o)
{
    if (&o == this)
        return;
    bool changed = data_ != o.data_;
    data_ = o.data_;
    if (!o.data_.empty()) {
        for (int i = 0; i < 3; ++i) {
            changed = changed || bmps_[i] != o.bmps_[i];
            bmps_[i] = o.bmps_[i];
        }
    }
    if (changed)
        Change();
}

std::vector<std::string> TDUDRegionMask::StoredProperties() const
{
    std::vector<std::string> names;
    if (!data_.empty())
        names.emplace_back("RegionData");
    for (int i = 0; i < 3; ++i)
        if (!bmps_[i].empty())
            names.emplace_back(kBmpNames[i]);
    return names;
}

void TDUDRegionMask::WriteProperty(const std::string& name, TStream& s) const
{
    if (name == "RegionData")
        return WriteRegionData(s);
    for (int i = 0; i < 3; ++i)
        if (name == kBmpNames[i])
            return WriteBitmap(i, s);
    throw EWriteError("Unknown property " + name);
}

void TDUDRegionMask::ReadProperty(const std::string& name, TStream& s)
{
    if (name == "RegionData")
        return ReadRegionData(s);
    for (int i = 0; i < 3; ++i)
        if (name == kBmpNames[i])
            return ReadBitmap(i, s);
    throw EReadError("Unknown property " + name);
}

void TDUDRegionMask::DefineProperties(TDUDStreamProperties& out) const
{
    // Reading the list back holds the region data and the border pictures
    // at once, within one budget: what could not be read back is not
    // written.
    std::int64_t held = static_cast<std::int64_t>(data_.size());
    for (const auto& bmp : bmps_)
        held += static_cast<std::int64_t>(bmp.size());
    if (held > kDUDMaxExpanded)
        throw EWriteError("Stream write error: the region mask would take " + std::to_string(held >> 20) +
                          " MB to read back, more than the " + std::to_string(kDUDMaxExpanded >> 20) +
                          " MB allowed");
    for (const std::string& name : StoredProperties()) {
        TMemoryStream s;
        WriteProperty(name, s);
        out.push_back({name, s.TakeBytes()});
    }
    DUDWriteValue(out, "Compressed", compressed_, false);
    DUDWriteValue(out, "PixelFormat", pixelFormat_, TDUDSavePixelFormat::spfDefault);
}

void TDUDRegionMask::ReadProperties(const TDUDStreamProperties& in)
{
    static const char* const names[] = {"RegionData", "BorderBmp", "BorderUpBmp", "BorderDnBmp"};
    // What the whole list expands to is bounded, not only each picture:
    // three pictures each within its own bound come to three times it.
    TDUDReadBudget budget(kDUDMaxExpanded);
    // Read once, into a scratch mask that is taken over only when the whole
    // list was read, so that damaged data anywhere leaves this mask as it
    // was. What the list does not hold stays as it is.
    TDUDRegionMask scratch;
    scratch.compressed_ = compressed_;
    scratch.pixelFormat_ = pixelFormat_;
    bool found[4] = {};
    for (int i = 0; i < 4; ++i) {
        const TDUDStreamProperty* p = DUDFindProperty(in, names[i]);
        if (!p)
            continue;
        found[i] = true;
        TMemoryStream s(p->Data);
        if (i == 0)
            scratch.SetDataSize(static_cast<std::int32_t>(p->Data.size()));
        scratch.ReadProperty(names[i], s);
        if (s.Remaining() != 0)
            throw EReadError(std::string("Property ") + names[i] + " holds more than its data");
    }
    if (auto v = DUDReadBoolean(in, "Compressed"))
        scratch.compressed_ = *v;
    if (auto v = DUDReadEnum<TDUDSavePixelFormat>(in, "PixelFormat", 4))
        scratch.pixelFormat_ = *v;

    if (found[0]) {
        pendingSize_ = scratch.pendingSize_;
        SetRegionData(std::move(scratch.data_));
    }
    for (int i = 0; i < 3; ++i)
        if (found[i + 1])
            SetBorderBmp(i, std::move(scratch.bmps_[i]));
    compressed_ = scratch.compressed_;
    pixelFormat_ = scratch.pixelFormat_;
}

void TDUDRegionMask::WriteRegionData(TStream& s) const
{
    s.WriteBuffer(data_.data(), data_.size());
}

void TDUDRegionMask::ReadRegionData(TStream& s)
{
    if (pendingSize_ < 0 || pendingSize_ > s.Remaining())
        throw EReadError("Region data size " + std::to_string(pendingSize_) + " does not fit the stream");
    TDUDReadBudget::Charge(pendingSize_);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pendingSize_));
    s.ReadBuffer(bytes.data(), bytes.size());
    SetRegionData(std::move(bytes));
}

void TDUDRegionMask::WriteBitmap(int index, TStream& s) const
{
    const std::vector<std::uint8_t>& bmp = BorderBmp(index);
    stWriteByte(s, compressed_ ? 1 : 0);
    stWriteBlock(s, bmp.data(), bmp.size(), compressed_);
}

void TDUDRegionMask::ReadBitmap(int index, TStream& s)
{
    if (index < 0 || index >= 3)
        throw EReadError("Unknown border picture");
    const std::uint8_t flag = stReadByte(s);
    if (flag > 1)
        throw EReadError("Bad compression flag of a border picture");
    std::vector<std::uint8_t> bmp = stReadBitmapBytes(s, flag != 0);
    compressed_ = flag != 0;
    SetBorderBmp(index, std::move(bmp));
}

} // namespace kyd::widgets

#include "support_shape_fuzz.h"

#include "widgets/dud_region_mask.h"
#include "widgets/dud_shape_outline.h"

#include <cstdlib>
#include <string>

namespace kyd::widgets::fuzz {

namespace {

void Require(bool ok)
{
    if (!ok)
        std::abort();
}

// Takes bytes from the front; zeros once they run out.
struct Feed {
    const std::uint8_t* p;
    std::size_t n;
    int Byte()
    {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    int Word() { return Byte() | Byte() << 8; }
};

} // namespace

int FuzzRegionData(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> copy(data, data + size); // exact size for the sanitizer
    const auto rects = DUDDecodeRegionData(copy.data(), copy.size());
    if (!rects)
        return 0;
    DUDRegionRectsBanded(*rects);
    const std::vector<std::uint8_t> again = DUDEncodeRegionData(*rects);
    Require(again.size() == kDUDRegionHeaderSize + 16 * rects->size());
    Require(DUDDecodeRegionData(again.data(), again.size()) == rects);
    return 0;
}

int FuzzRegionMaskReaders(const std::uint8_t* data, std::size_t size)
{
    Feed f{data, size};
    const std::int32_t declared = f.Word() | f.Word() << 16;
    for (const char* name : {"RegionData", "BorderBmp", "BorderUpBmp", "BorderDnBmp"}) {
        TMemoryStream s;
        s.WriteBuffer(f.p, f.n);
        s.SetPosition(0);
        TDUDRegionMask m;
        m.SetDataSize(declared);
        try {
            m.ReadProperty(name, s);
        } catch (const EDUDException&) {
            Require(m.StoredProperties().empty()); // nothing half read
            continue;
        }
        // What was read is written back the same way and reads back the same.
        TMemoryStream out;
        m.WriteProperty(name, out);
        out.SetPosition(0);
        TDUDRegionMask back;
        back.SetDataSize(m.RegionDataSize());
        back.ReadProperty(name, out);
        Require(back.RegionData() == m.RegionData());
        for (int i = 0; i < 3; ++i)
            Require(back.BorderBmp(i) == m.BorderBmp(i));
        m.Rects();
    }
    return 0;
}

int FuzzShapeOutline(const std::uint8_t* data, std::size_t size)
{
    Feed f{data, size};
    const int w = f.Word() % 4000 - 100, h = f.Word() % 4000 - 100;
    TDUDShadow shadow;
    shadow.SetDepth(f.Byte());
    shadow.SetStyle(static_cast<TDUDShadowStyle>(f.Byte() % 3));
    TDUDSimpleBevel pen;
    pen.SetWidth(static_cast<std::uint8_t>(f.Byte()));
    const bool square = f.Byte() & 1;
    const int percent = f.Byte();
    TDUDTeeth teeth;
    const int useTeeth = f.Byte() & 1;
    teeth.SetCount(f.Byte());
    teeth.SetDirection(static_cast<TDUDDirection>(f.Byte() % 4));
    teeth.SetOffset(f.Byte() & 1);
    teeth.SetSetPerCount(f.Byte() & 1);
    teeth.SetWidth(f.Word() % 600 - 50);
    teeth.SetHeight(f.Word() % 600 - 50);
    const TRect r{7, 9, 7 + w, 9 + h};
    for (int t = 0; t <= int(TDUDShapeType::stStar); ++t) {
        const auto o = DUDShapeOutline(r, static_cast<TDUDShapeType>(t), useTeeth ? &teeth : nullptr, square, percent,
                                       &pen, &shadow);
        Require(useTeeth || !o.TeethStep);
        if (useTeeth || o.Points.empty())
            continue;
        Require(o.Points.size() % 2 == 0);
        for (std::size_t i = 0; i < o.Points.size() / 2; ++i)
            Require(o.Points[i].X >= 0 && o.Points[i].X <= w && o.Points[i].Y >= 0 && o.Points[i].Y <= h);
    }
    return 0;
}

} // namespace kyd::widgets::fuzz

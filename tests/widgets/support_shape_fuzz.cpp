#include "support_shape_fuzz.h"

#include "widgets/dud_region_geometry.h"
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

int FuzzRegionGeometry(const std::uint8_t* data, std::size_t size)
{
    Feed f{data, size};
    const int left = f.Word() % 2000 - 1000, top = f.Word() % 2000 - 1000;
    const int w = f.Word() % 5000, h = f.Word() % 5000;
    const int count = f.Byte() % 64 - 2;
    const auto pos = static_cast<TDUDExtPos>(f.Byte() % 8);
    const TRect r{left, top, left + w, top + h};
    const auto inside = [&](const TPoint& p) {
        return p.X >= r.Left && p.X <= r.Right && p.Y >= r.Top && p.Y <= r.Bottom;
    };
    for (auto fn : {DUDDiamondPoints, DUDStarPoints, DUDOctagonPoints, DUDCombPoints})
        for (const TPoint& p : fn(r))
            Require(inside(p));
    for (const int s : {w / 10, w / 6}) {
        const TRect body = DUDNoseBody(r, s, pos);
        Require(body.Width() == w - s && body.Height() == h - s);
        const auto nose = DUDNosePoints(r, s, pos, 5);
        Require(nose.size() == 3 && inside(nose[0]));
        const auto bubbles = DUDThinkBubbleRects(r, s, count, pos);
        Require(bubbles.size() == (count < 1 ? 0u : std::size_t(count) + 2));
        for (std::size_t i = 0; i < bubbles.size(); ++i) {
            Require(bubbles[i].Width() >= 0 && bubbles[i].Height() == bubbles[i].Width());
            Require(i == 0 || bubbles[i].Width() >= bubbles[i - 1].Width());
            const TPoint c{(bubbles[i].Left + bubbles[i].Right) / 2, (bubbles[i].Top + bubbles[i].Bottom) / 2};
            // Within the size of the rectangle (a flat one lets them rise above it).
            Require(c.X >= r.Left - s - 1 && c.X <= r.Right + s + 1 && c.Y >= r.Top - s - 1 && c.Y <= r.Bottom + s + 1);
        }
    }
    return 0;
}

} // namespace kyd::widgets::fuzz

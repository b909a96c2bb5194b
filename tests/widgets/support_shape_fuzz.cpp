#include "support_shape_fuzz.h"

#include "widgets/storage/property_stream.h"
#include "widgets/shapes/region_bands.h"
#include "widgets/shapes/region_geometry.h"
#include "widgets/shapes/region_mask.h"
#include "widgets/shapes/shape_outline.h"

#include <algorithm>
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
    std::int32_t Long() { return static_cast<std::int32_t>(std::uint32_t(Word()) | std::uint32_t(Word()) << 16); }
};

bool Contains(const TDUDBandRegion& g, int x, int y)
{
    for (const auto& b : g.Bands()) {
        if (y < b.Top || y >= b.Bottom)
            continue;
        for (std::uint32_t i = b.Begin; i + 1 < b.End; i += 2)
            if (x >= g.Edges()[i] && x < g.Edges()[i + 1])
                return true;
        return false;
    }
    return false;
}

// In bands, and every rectangle within the window range and within bound.
void RequireSound(const std::vector<TRect>& rects, const TRect& bound)
{
    Require(rects.empty() || DUDRegionRectsBanded(rects));
    for (const TRect& r : rects) {
        Require(DUDRegionRectInBounds(r));
        Require(r.Left >= bound.Left && r.Top >= bound.Top && r.Right <= bound.Right && r.Bottom <= bound.Bottom);
    }
}

const TRect kWindowRange{-kDUDRegionCoordLimit, -kDUDRegionCoordLimit, kDUDRegionCoordLimit, kDUDRegionCoordLimit};

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
        // Of the count + 2 bubbles, those 2 pixels across or more.
        Require(bubbles.size() <= (count < 1 ? 0u : std::size_t(count) + 2));
        for (std::size_t i = 0; i < bubbles.size(); ++i) {
            Require(bubbles[i].Width() >= 2 && bubbles[i].Height() == bubbles[i].Width());
            Require(i == 0 || bubbles[i].Width() >= bubbles[i - 1].Width());
            const TPoint c{(bubbles[i].Left + bubbles[i].Right) / 2, (bubbles[i].Top + bubbles[i].Bottom) / 2};
            // Within the size of the rectangle (a flat one lets them rise above it).
            Require(c.X >= r.Left - s - 1 && c.X <= r.Right + s + 1 && c.Y >= r.Top - s - 1 && c.Y <= r.Bottom + s + 1);
        }
    }
    return 0;
}

int FuzzRegionBands(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> copy(data, data + size);
    const auto bands = DUDRegionBandsFromData(copy.data(), copy.size());
    const auto rects = DUDDecodeRegionData(copy.data(), copy.size());
    Require(bands.has_value() <= rects.has_value());
    if (!bands)
        return 0;
    RequireSound(*bands, kWindowRange);
    Require(bands->size() <= kDUDRegionMaxRects);
    const TDUDBandRegion g = TDUDBandRegion::FromRects(*bands);
    Require(g.Rects() == *bands);
    for (const TRect& r : *rects) {
        if (r.IsEmpty())
            continue;
        Require(Contains(g, r.Left, r.Top) && Contains(g, r.Right - 1, r.Bottom - 1));
    }
    // Stored again, it reads back the same.
    const auto again = DUDEncodeRegionData(*bands);
    Require(DUDRegionBandsFromData(again.data(), again.size()) == bands);
    return 0;
}

int FuzzPointListRegion(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::int32_t> values;
    try {
        values = DUDIntegerListFromData(std::vector<std::uint8_t>(data, data + size));
    } catch (const EDUDException&) {
        return 0;
    }
    std::vector<TPoint> points;
    for (std::size_t i = 0; i + 1 < values.size(); i += 2)
        points.push_back({values[i], values[i + 1]});
    const auto stored = DUDPointListRegionData(points);
    const bool inRange = std::all_of(points.begin(), points.end(), DUDRegionPointInBounds);
    // No region beyond the range, nor for a polygon beyond the bounds of
    // what one may expand to.
    Require(stored.empty() == (points.empty() || !inRange || !DUDPolygonBandsWithin(points)));
    if (stored.empty())
        return 0;
    const auto rects = DUDRegionBandsFromData(stored.data(), stored.size());
    Require(rects.has_value());
    RequireSound(*rects, kWindowRange);
    return 0;
}

int FuzzRegionOutlines(const std::uint8_t* data, std::size_t size)
{
    Feed f{data, size};
    // Mostly sizes about the window range, now and then anything at all.
    const auto coord = [&f] {
        const int mode = f.Byte() % 4;
        return mode == 0 ? f.Long() : f.Word() * 3 - 98304;
    };
    const TRect r{coord(), coord(), coord(), coord()};
    const bool inRange = DUDRegionRectInBounds(r);
    const TRect box{std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
                    std::max(r.Top, r.Bottom)};
    if (inRange)
        RequireSound(DUDEllipseBands(r).Rects(), box);
    for (const bool sharp : {false, true}) {
        const TDUDBandRegion g = sharp ? DUDSharpShieldBands(r) : DUDRoundShieldBands(r);
        Require(inRange || g.IsEmpty());
        RequireSound(g.Rects(), r);
    }
    if (inRange && !r.IsEmpty()) {
        const TDUDBandRegion half =
            DUDEllipseBands({r.Left, 2 * r.Top - r.Bottom, r.Right, r.Bottom}).Intersected(TDUDBandRegion(r));
        RequireSound(half.Rects(), r);
    }
    return 0;
}

int FuzzShapeSettings(const std::uint8_t* data, std::size_t size)
{
    Feed f{data, size};
    static const char* const names[] = {"Bevel.Width",   "Bevel.Style",  "RoundPercent",      "Shadow.Depth",
                                        "Shadow.Style",  "Shape",        "Teeth.Count",       "Teeth.Direction",
                                        "Teeth.Width",   "Teeth.Height", "Teeth.SetPerCount", "Teeth.Offset"};
    TDUDStreamProperties props;
    for (const char* name : names) {
        const int mode = f.Byte();
        if (mode % 3 == 0)
            continue;
        // Small numbers mostly, any number now and then.
        const std::int32_t v = mode % 3 == 1 ? f.Byte() - 8 : f.Long();
        props.push_back({name, DUDIntegerData(v)});
    }
    TDUDShape shape;
    TDUDTeeth teeth;
    try {
        shape.ReadProperties(props);
        teeth.ReadProperties(props, "Teeth.");
    } catch (const EDUDException&) {
        return 0;
    }
    Require(shape.Bevel().Style() >= 0 && shape.Bevel().Style() <= 2);
    Require(teeth.Width() >= 0 && teeth.Width() <= kMaxTeethSize && teeth.Height() >= 0 &&
            teeth.Height() <= kMaxTeethSize);
    const TRect r{f.Long(), f.Long(), f.Long(), f.Long()};
    const std::int64_t w = std::int64_t(r.Right) - r.Left, h = std::int64_t(r.Bottom) - r.Top;
    for (const bool toothed : {false, true}) {
        const auto o = DUDShapeOutline(r, shape, toothed ? &teeth : nullptr);
        if (o.Points.empty())
            continue;
        Require(w >= 0 && h >= 0 && w <= kDUDRegionCoordLimit && h <= kDUDRegionCoordLimit);
        // The outer points (the inner ones move in by half a pen that may
        // be wider than a tiny shape); teeth reach their depth beyond.
        const std::int64_t slack = toothed ? std::max(teeth.Width(), teeth.Height()) + 1 : 0;
        const std::size_t outer = toothed ? o.Points.size() : o.Points.size() / 2;
        for (std::size_t i = 0; i < outer; ++i) {
            const TPoint& p = o.Points[i];
            Require(p.X >= -slack && p.X <= w + slack && p.Y >= -slack && p.Y <= h + slack);
        }
    }
    return 0;
}

} // namespace kyd::widgets::fuzz

// Regions as bands of spans, without a GUI library: rows of equal spans
// grouped into bands from top to bottom, each band's spans sorted from left
// to right, neither touching nor overlapping. Union, intersection and
// difference take time linear in the sizes of both sides, so a region built
// from n rectangles by pairwise union takes O(n log n) for shapes whose
// bands stay small.
//
// Every coordinate of a region lies within what a window can have,
// -kDUDRegionCoordLimit to kDUDRegionCoordLimit; rectangles beyond are not
// regions (DUDRegionRectInBounds).
#pragma once

#include "widgets/framework/graphics.h"
#include "widgets/shapes/region_mask.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kyd::widgets {

inline constexpr int kDUDRegionCoordLimit = 32767;

// Whether every coordinate of r lies within the window range.
bool DUDRegionRectInBounds(const TRect& r);
bool DUDRegionPointInBounds(const TPoint& p);
// The rectangle spanned by the 64-bit edges, when they lie within the range.
bool DUDRegionRect64(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, TRect& out);

class TDUDBandRegion {
public:
    // Rows Top to Bottom (exclusive) share the span edges X[Begin, End):
    // start, end (exclusive), start, ...
    struct Band {
        int Top = 0;
        int Bottom = 0;
        std::uint32_t Begin = 0;
        std::uint32_t End = 0;
        friend bool operator==(const Band&, const Band&) = default;
    };

    TDUDBandRegion() = default;
    // The rectangle (empty ones give an empty region). Within the range.
    explicit TDUDBandRegion(const TRect& r);
    // The union of the rectangles (pairwise, as a tree); empty rectangles
    // are left out. Within the range.
    static TDUDBandRegion FromRects(const std::vector<TRect>& rects);
    // The same, or nothing as soon as the union, or any part of it on the
    // way, needs more than maxRects rectangles (all parts at one step of
    // the tree together more than twice that).
    static std::optional<TDUDBandRegion> FromRectsWithin(const std::vector<TRect>& rects, std::size_t maxRects);
    // Appends the row y (below every row so far) with these span edges.
    void AppendRow(int y, const std::vector<int>& spans);

    bool IsEmpty() const { return bands_.empty(); }
    const std::vector<Band>& Bands() const { return bands_; }
    const std::vector<int>& Edges() const { return xs_; }
    // The rectangles, in bands (see DUDRegionRectsBanded).
    std::vector<TRect> Rects() const;
    std::size_t RectCount() const { return xs_.size() / 2; }
    TDUDBandRegion Translated(int dx, int dy) const;

    TDUDBandRegion United(const TDUDBandRegion& o) const { return Combine(*this, o, 0); }
    TDUDBandRegion Intersected(const TDUDBandRegion& o) const { return Combine(*this, o, 1); }
    TDUDBandRegion Subtracted(const TDUDBandRegion& o) const { return Combine(*this, o, 2); }
    friend bool operator==(const TDUDBandRegion&, const TDUDBandRegion&) = default;

private:
    static TDUDBandRegion Combine(const TDUDBandRegion& a, const TDUDBandRegion& b, int op);
    // Into out; false (out half built) once it holds more than maxRects.
    static bool Combine(const TDUDBandRegion& a, const TDUDBandRegion& b, int op, std::size_t maxRects,
                        TDUDBandRegion& out);
    // Takes the edges appended to xs_ from begin on as the rows [top,
    // bottom), joining them to the band above when it has the same spans.
    void CloseBand(int top, int bottom, std::size_t begin);
    std::vector<Band> bands_;
    std::vector<int> xs_;
};

// The most row crossings of the polygon's edges (the sum of the rows each
// edge spans) a polygon region is built for: a 4320-row screen's height
// crossed by 3,800 edges. It bounds the time a stored point list can take.
inline constexpr std::int64_t kDUDPolygonMaxCrossings = std::int64_t(1) << 24;

// The polygon of the points with the odd-even rule: the pixels whose
// centres lie inside. Empty for fewer than three points or a point beyond
// the range; nothing when the edges cross more than kDUDPolygonMaxCrossings
// rows or the region needs more than kDUDRegionMaxRects rectangles.
std::optional<TDUDBandRegion> DUDPolygonBandsWithin(const std::vector<TPoint>& points);
// The same, empty where the other gives nothing.
TDUDBandRegion DUDPolygonBands(const std::vector<TPoint>& points);
// The shields of a window of r's size at r's top left: a round or a pointed
// arch with both top corners cut away. Empty beyond the range.
TDUDBandRegion DUDRoundShieldBands(const TRect& r);
TDUDBandRegion DUDSharpShieldBands(const TRect& r);

// The rectangles of stored region data (see region_mask.h) in bands:
// as they stand when they are in bands already, else united pairwise;
// empty rectangles left out. Nothing when the data is not valid, a
// rectangle reaches beyond the window range or the union needs more than
// kDUDRegionMaxRects rectangles.
std::optional<std::vector<TRect>> DUDRegionBandsFromData(const std::uint8_t* data, std::size_t size);
// The region data of the polygon (odd-even rule) of the points, as a
// point-list outline stores it; empty for no points, a point beyond the
// window range or a polygon beyond the bounds of DUDPolygonBandsWithin.
std::vector<std::uint8_t> DUDPointListRegionData(const std::vector<TPoint>& points);

// The ellipse inside r: the pixels whose centres lie inside it. Empty for
// an empty rectangle or one more than five times the range across; r is
// taken the right way round.
TDUDBandRegion DUDEllipseBands(const TRect& r);

} // namespace kyd::widgets

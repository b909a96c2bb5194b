#include "widgets/shapes/region_bands.h"

#include "widgets/shapes/region_mask.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace kyd::widgets {

namespace {

bool InRange(std::int64_t v) { return v >= -kDUDRegionCoordLimit && v <= kDUDRegionCoordLimit; }

// The spans a[0, na) and b[0, nb) combined, appended to out: 0 union,
// 1 intersection, 2 a less b. For the last two, the edges of both are
// walked in order, keeping whether each side is inside.
void CombineSpans(const int* a, std::size_t na, const int* b, std::size_t nb, int op, std::vector<int>& out)
{
    if (nb == 0 && op != 1) {
        out.insert(out.end(), a, a + na);
        return;
    }
    if (na == 0 || nb == 0) {
        if (op == 0)
            out.insert(out.end(), b, b + nb);
        return;
    }
    std::size_t i = 0, j = 0;
    if (op == 0) {
        // Spans in the order of their starts, each joined to the last when
        // it overlaps or touches it.
        const std::size_t first = out.size();
        while (i < na || j < nb) {
            const int* p;
            if (j == nb || (i < na && a[i] < b[j])) {
                p = a + i;
                i += 2;
            } else {
                p = b + j;
                j += 2;
            }
            if (out.size() > first && p[0] <= out.back())
                out.back() = std::max(out.back(), p[1]);
            else {
                out.push_back(p[0]);
                out.push_back(p[1]);
            }
        }
        return;
    }
    bool ina = false, inb = false, in = false;
    while (i < na || j < nb) {
        const int x = std::min(i < na ? a[i] : INT_MAX, j < nb ? b[j] : INT_MAX);
        while (i < na && a[i] == x) {
            ina = !ina;
            ++i;
        }
        while (j < nb && b[j] == x) {
            inb = !inb;
            ++j;
        }
        const bool r = op == 0 ? (ina || inb) : op == 1 ? (ina && inb) : (ina && !inb);
        if (r != in) {
            out.push_back(x);
            in = r;
        }
        // Nothing more can come out once a is done (or b, intersecting).
        if ((i == na && !ina) || (op == 1 && j == nb && !inb))
            return;
    }
}

} // namespace

bool DUDRegionRectInBounds(const TRect& r)
{
    return InRange(r.Left) && InRange(r.Top) && InRange(r.Right) && InRange(r.Bottom);
}

bool DUDRegionPointInBounds(const TPoint& p) { return InRange(p.X) && InRange(p.Y); }

bool DUDRegionRect64(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, TRect& out)
{
    if (!InRange(left) || !InRange(top) || !InRange(right) || !InRange(bottom))
        return false;
    out = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom)};
    return true;
}

TDUDBandRegion::TDUDBandRegion(const TRect& r)
{
    if (r.IsEmpty())
        return;
    xs_ = {r.Left, r.Right};
    bands_.push_back({r.Top, r.Bottom, 0, 2});
}

TDUDBandRegion TDUDBandRegion::FromRects(const std::vector<TRect>& rects)
{
    return *FromRectsWithin(rects, SIZE_MAX);
}

std::optional<TDUDBandRegion> TDUDBandRegion::FromRectsWithin(const std::vector<TRect>& rects, std::size_t maxRects)
{
    // In order from the top, so that neighbours in the tree share few rows
    // and most unions only lay bands one below the other.
    std::vector<TRect> sorted;
    sorted.reserve(rects.size());
    for (const TRect& r : rects)
        if (!r.IsEmpty())
            sorted.push_back(r);
    std::sort(sorted.begin(), sorted.end(),
              [](const TRect& p, const TRect& q) { return p.Top != q.Top ? p.Top < q.Top : p.Left < q.Left; });
    // All parts at one step together: a union can need more rectangles
    // than its parts (a band of one cut by the bands of the other), and
    // the parts of one step are all held at once.
    const std::size_t stepBudget = maxRects > SIZE_MAX / 2 ? SIZE_MAX : 2 * maxRects;
    std::size_t held = 0;
    const auto fits = [&](const TDUDBandRegion& g) {
        held += g.RectCount();
        return g.RectCount() <= maxRects && held <= stepBudget;
    };
    // The first step unites runs of a few rectangles one after the other,
    // so that no step holds a region for every rectangle.
    constexpr std::size_t kRun = 8;
    std::vector<TDUDBandRegion> level;
    level.reserve(sorted.size() / kRun + 1);
    for (std::size_t i = 0; i < sorted.size(); i += kRun) {
        TDUDBandRegion g(sorted[i]);
        for (std::size_t j = i + 1; j < std::min(sorted.size(), i + kRun); ++j) {
            TDUDBandRegion u;
            if (!Combine(g, TDUDBandRegion(sorted[j]), 0, maxRects, u))
                return std::nullopt;
            g = std::move(u);
        }
        if (!fits(g))
            return std::nullopt;
        level.push_back(std::move(g));
    }
    if (level.empty())
        return TDUDBandRegion();
    while (level.size() > 1) {
        std::vector<TDUDBandRegion> next;
        next.reserve(level.size() / 2 + 1);
        held = 0;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2) {
            TDUDBandRegion u;
            if (!Combine(level[i], level[i + 1], 0, maxRects, u) || !fits(u))
                return std::nullopt;
            next.push_back(std::move(u));
            // The parts united are no longer needed.
            level[i] = TDUDBandRegion();
            level[i + 1] = TDUDBandRegion();
        }
        if (level.size() % 2) {
            if (!fits(level.back()))
                return std::nullopt;
            next.push_back(std::move(level.back()));
        }
        level = std::move(next);
    }
    return std::move(level.front());
}

void TDUDBandRegion::CloseBand(int top, int bottom, std::size_t begin)
{
    const std::size_t end = xs_.size();
    if (end == begin)
        return;
    if (!bands_.empty()) {
        Band& last = bands_.back();
        if (last.Bottom == top && last.End - last.Begin == end - begin &&
            std::equal(xs_.begin() + last.Begin, xs_.begin() + last.End,
                       xs_.begin() + static_cast<std::ptrdiff_t>(begin))) {
            last.Bottom = bottom;
            xs_.resize(begin);
            return;
        }
    }
    bands_.push_back({top, bottom, static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end)});
}

void TDUDBandRegion::AppendRow(int y, const std::vector<int>& spans)
{
    const std::size_t begin = xs_.size();
    xs_.insert(xs_.end(), spans.begin(), spans.end());
    CloseBand(y, y + 1, begin);
}

std::vector<TRect> TDUDBandRegion::Rects() const
{
    std::vector<TRect> out;
    out.reserve(RectCount());
    for (const Band& b : bands_)
        for (std::uint32_t i = b.Begin; i + 1 < b.End; i += 2)
            out.push_back({xs_[i], b.Top, xs_[i + 1], b.Bottom});
    return out;
}

TDUDBandRegion TDUDBandRegion::Translated(int dx, int dy) const
{
    TDUDBandRegion out = *this;
    for (Band& b : out.bands_) {
        b.Top += dy;
        b.Bottom += dy;
    }
    for (int& x : out.xs_)
        x += dx;
    return out;
}

TDUDBandRegion TDUDBandRegion::Combine(const TDUDBandRegion& ra, const TDUDBandRegion& rb, int op)
{
    TDUDBandRegion out;
    Combine(ra, rb, op, SIZE_MAX, out);
    return out;
}

bool TDUDBandRegion::Combine(const TDUDBandRegion& ra, const TDUDBandRegion& rb, int op, std::size_t maxRects,
                             TDUDBandRegion& out)
{
    const std::vector<Band>& a = ra.bands_;
    const std::vector<Band>& b = rb.bands_;
    out = TDUDBandRegion();
    out.bands_.reserve(a.size() + b.size());
    out.xs_.reserve(ra.xs_.size() + rb.xs_.size());
    std::size_t i = 0, j = 0;
    int y = std::min(a.empty() ? INT_MAX : a[0].Top, b.empty() ? INT_MAX : b[0].Top);
    while (y != INT_MAX) {
        while (i < a.size() && a[i].Bottom <= y)
            ++i;
        while (j < b.size() && b[j].Bottom <= y)
            ++j;
        const bool ia = i < a.size() && a[i].Top <= y;
        const bool ib = j < b.size() && b[j].Top <= y;
        int next = INT_MAX;
        if (i < a.size())
            next = std::min(next, ia ? a[i].Bottom : a[i].Top);
        if (j < b.size())
            next = std::min(next, ib ? b[j].Bottom : b[j].Top);
        if (next == INT_MAX)
            break;
        if (ia || ib) {
            const std::size_t begin = out.xs_.size();
            CombineSpans(ia ? ra.xs_.data() + a[i].Begin : nullptr, ia ? a[i].End - a[i].Begin : 0,
                         ib ? rb.xs_.data() + b[j].Begin : nullptr, ib ? b[j].End - b[j].Begin : 0, op, out.xs_);
            out.CloseBand(y, next, begin);
            if (out.RectCount() > maxRects)
                return false;
        }
        y = next;
    }
    return true;
}

TDUDBandRegion DUDPolygonBands(const std::vector<TPoint>& points)
{
    return DUDPolygonBandsWithin(points).value_or(TDUDBandRegion());
}

std::optional<TDUDBandRegion> DUDPolygonBandsWithin(const std::vector<TPoint>& points)
{
    if (points.size() < 3)
        return TDUDBandRegion();
    struct Edge {
        double X0, Y0, Slope;
        int YFirst, YEnd; // the rows whose centres it crosses: [YFirst, YEnd)
    };
    std::vector<Edge> edges;
    int top = INT_MAX, bottom = INT_MIN;
    std::int64_t crossings = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const TPoint& a = points[i];
        const TPoint& b = points[(i + 1) % points.size()];
        if (!DUDRegionPointInBounds(a))
            return TDUDBandRegion();
        crossings += std::abs(std::int64_t(b.Y) - a.Y);
        if (crossings > kDUDPolygonMaxCrossings)
            return std::nullopt;
        if (a.Y == b.Y)
            continue;
        const TPoint& lo = a.Y < b.Y ? a : b;
        const TPoint& hi = a.Y < b.Y ? b : a;
        // Row y's centre y + 0.5 lies in [lo.Y, hi.Y).
        const int first = lo.Y, end = hi.Y;
        edges.push_back({double(lo.X), double(lo.Y), double(hi.X - lo.X) / double(hi.Y - lo.Y), first, end});
        top = std::min(top, first);
        bottom = std::max(bottom, end);
    }
    TDUDBandRegion out;
    if (edges.empty())
        return out;
    std::sort(edges.begin(), edges.end(), [](const Edge& p, const Edge& q) { return p.YFirst < q.YFirst; });
    std::vector<const Edge*> active;
    std::vector<double> xs;
    std::vector<int> spans, merged;
    std::size_t nextEdge = 0;
    for (int y = top; y < bottom; ++y) {
        while (nextEdge < edges.size() && edges[nextEdge].YFirst <= y)
            active.push_back(&edges[nextEdge++]);
        std::erase_if(active, [y](const Edge* e) { return e->YEnd <= y; });
        xs.clear();
        const double yc = y + 0.5;
        for (const Edge* e : active)
            xs.push_back(e->X0 + (yc - e->Y0) * e->Slope);
        std::sort(xs.begin(), xs.end());
        spans.clear();
        for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
            // Pixels whose centres lie in [xa, xb).
            const int x0 = static_cast<int>(std::ceil(xs[k] - 0.5));
            const int x1 = static_cast<int>(std::ceil(xs[k + 1] - 0.5));
            if (x1 <= x0)
                continue;
            if (!spans.empty() && spans.back() >= x0)
                spans.back() = std::max(spans.back(), x1);
            else {
                spans.push_back(x0);
                spans.push_back(x1);
            }
        }
        out.AppendRow(y, spans);
        if (out.RectCount() > kDUDRegionMaxRects)
            return std::nullopt;
    }
    return out;
}

namespace {

// The parts cut out of both shields: two ellipses at the top corners and
// everything above the top.
TDUDBandRegion ShieldCuts(int w, int h)
{
    return DUDEllipseBands({-(w / 2), -(h / 5), w / 2, h / 5})
        .United(DUDEllipseBands({w / 2, -(h / 5), w / 2 + w, h / 5}))
        .United(TDUDBandRegion(TRect{0, -std::max(40, 2 * h), w, 0}));
}

bool ShieldSize(const TRect& r, int& w, int& h)
{
    if (!DUDRegionRectInBounds(r))
        return false;
    w = r.Width();
    h = r.Height();
    return w > 0 && h > 0;
}

} // namespace

TDUDBandRegion DUDRoundShieldBands(const TRect& r)
{
    int w = 0, h = 0;
    if (!ShieldSize(r, w, h))
        return {};
    return DUDEllipseBands({0, h, w, h / 5 - h}).Subtracted(ShieldCuts(w, h)).Translated(r.Left, r.Top);
}

TDUDBandRegion DUDSharpShieldBands(const TRect& r)
{
    int w = 0, h = 0;
    if (!ShieldSize(r, w, h))
        return {};
    const int e = static_cast<int>(8 * std::int64_t(h) / 7);
    const TDUDBandRegion arch = DUDEllipseBands({-w, -e, w, e}).Intersected(DUDEllipseBands({0, -e, 2 * w, e}));
    return arch.Subtracted(ShieldCuts(w, h)).Translated(r.Left, r.Top);
}

TDUDBandRegion DUDEllipseBands(const TRect& rect)
{
    const TRect r{std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom), std::max(rect.Left, rect.Right),
                  std::max(rect.Top, rect.Bottom)};
    const std::int64_t w = std::int64_t(r.Right) - r.Left, h = std::int64_t(r.Bottom) - r.Top;
    // The shields' ellipses reach a little beyond the range; nothing reaches
    // five times its size.
    constexpr std::int64_t most = 5 * std::int64_t(kDUDRegionCoordLimit);
    if (w <= 0 || h <= 0 || w > most || h > most)
        return {};
    std::vector<std::pair<int, int>> rows(static_cast<std::size_t>(h));
    const double cx = w / 2.0, ry = h / 2.0;
    for (std::int64_t k = 0; k < h; ++k) {
        const double dy = (k + 0.5 - ry) / ry;
        const double t = 1.0 - dy * dy;
        if (t <= 0)
            continue;
        const double half = cx * std::sqrt(t);
        // Pixels whose centres lie inside: cx - half < x + 0.5 < cx + half.
        const auto x0 = static_cast<std::int64_t>(std::floor(cx - half - 0.5)) + 1;
        const auto x1 = static_cast<std::int64_t>(std::ceil(cx + half - 0.5));
        if (x1 > x0)
            rows[static_cast<std::size_t>(k)] = {static_cast<int>(r.Left + x0), static_cast<int>(r.Left + x1)};
    }
    TDUDBandRegion out;
    std::vector<int> spans(2);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (rows[k].second <= rows[k].first)
            continue;
        spans[0] = rows[k].first;
        spans[1] = rows[k].second;
        out.AppendRow(r.Top + static_cast<int>(k), spans);
    }
    return out;
}

std::optional<std::vector<TRect>> DUDRegionBandsFromData(const std::uint8_t* data, std::size_t size)
{
    auto rects = DUDDecodeRegionData(data, size);
    if (!rects)
        return std::nullopt;
    for (const TRect& r : *rects)
        if (!r.IsEmpty() && !DUDRegionRectInBounds(r))
            return std::nullopt;
    if (DUDRegionRectsBanded(*rects))
        return rects;
    auto united = TDUDBandRegion::FromRectsWithin(*rects, kDUDRegionMaxRects);
    if (!united)
        return std::nullopt;
    return united->Rects();
}

std::vector<std::uint8_t> DUDPointListRegionData(const std::vector<TPoint>& points)
{
    if (points.empty() || !std::all_of(points.begin(), points.end(), DUDRegionPointInBounds))
        return {};
    const auto polygon = DUDPolygonBandsWithin(points);
    if (!polygon)
        return {};
    return DUDEncodeRegionData(polygon->Rects());
}

} // namespace kyd::widgets

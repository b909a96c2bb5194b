#include "widgets/shapes/shape_outline.h"

#include "widgets/shapes/region_bands.h"

#include <algorithm>
#include <cmath>

namespace kyd::widgets {

void DUDGetLightColors(TDUDLightColor lc, TColor& light, TColor& dark)
{
    switch (lc) {
    case TDUDLightColor::lcNone: light = clBtnFace; dark = clBtnFace; break;
    case TDUDLightColor::lcBlue: light = TColor(0xFF0000); dark = TColor(0x800000); break;
    case TDUDLightColor::lcRed: light = TColor(0x0000FF); dark = TColor(0x000080); break;
    case TDUDLightColor::lcGreen: light = TColor(0x00FF00); dark = TColor(0x008000); break;
    case TDUDLightColor::lcYellow: light = TColor(0x00FFFF); dark = TColor(0x008080); break;
    case TDUDLightColor::lcMarine: light = TColor(0xFFFF00); dark = TColor(0x808000); break;
    case TDUDLightColor::lcPurple: light = TColor(0xFF00FF); dark = TColor(0x800080); break;
    }
}

namespace {

int RoundDiv(std::int64_t num, std::int64_t den) { return static_cast<int>(DivRoundHalfEven(num, den)); }
int RoundReal(double v) { return static_cast<int>(RoundHalfEven(v)); }

struct Box {
    int L, T, R, B;
    int W() const { return R - L; }
    int H() const { return B - T; }
};

// The serrated polygon; the shape type does not count.
void TeethPolygon(const Box& s, const TDUDTeeth& t, std::vector<TPoint>& pts, std::optional<int>& step)
{
    const auto dir = t.Direction();
    const bool vertical = dir == TDUDDirection::tdRight || dir == TDUDDirection::tdLeft;
    int width = t.Width();   // depth of a vertical side's teeth, step of a horizontal side
    int height = t.Height(); // step of a vertical side, depth of a horizontal side
    const int side = vertical ? s.H() : s.W();
    int n = 0;
    if (t.SetPerCount()) {
        n = t.Count() * 2;
        const int st = n > 0 ? RoundDiv(side, n) : 0;
        (vertical ? height : width) = st;
        step = st;
    } else {
        const int st = vertical ? height : width;
        n = st >= 1 ? RoundDiv(side, st) * 2 : 0;
    }
    // No count or no usable step: a straight side.
    if (n <= 0 || (vertical ? height : width) < 1) {
        n = 0;
        (vertical ? width : height) = 0;
    }
    const int o = t.Offset() ? 0 : 1;
    const auto edge = [&](int i) { return t.Offset() ? i % 2 : (i + 1) % 2; };
    const int L = s.L, T = s.T, R = s.R, B = s.B;
    switch (dir) {
    case TDUDDirection::tdRight:
        pts.insert(pts.end(), {{R - width * o - 1, B - 1}, {L, B - 1}, {L, T}, {R - width * o - 1, T}});
        for (int i = 0; i <= n; ++i)
            pts.push_back({R - width * edge(i) - 1, std::min(T + i * height, B)});
        pts.push_back({R - width * edge(n) - 1, B});
        break;
    case TDUDDirection::tdDown:
        pts.insert(pts.end(), {{R - 1, B - height * o}, {R - 1, T}, {L, T}, {L, B - height * o}});
        for (int i = 0; i <= n; ++i)
            pts.push_back({std::min(L + i * width, R), B - height * edge(i)});
        pts.push_back({R, B - height * edge(n)});
        break;
    case TDUDDirection::tdLeft:
        pts.insert(pts.end(), {{L + width * o, B - 1}, {R - 1, B - 1}, {R - 1, T}, {L + width * o, T}});
        for (int i = 0; i <= n; ++i)
            pts.push_back({L + width * edge(i), std::min(T + i * height, B)});
        pts.push_back({L + width * edge(n), B});
        break;
    case TDUDDirection::tdUp:
        pts.insert(pts.end(), {{R - 1, T + height * o}, {R - 1, B - 1}, {L, B - 1}, {L, T + height * o}});
        for (int i = 0; i <= n; ++i)
            pts.push_back({std::min(L + i * width, R), T + height * edge(i)});
        pts.push_back({R, T + height * edge(n)});
        break;
    }
}

} // namespace

TDUDShapeOutline DUDShapeOutline(const TRect& r, TDUDShapeType shape, const TDUDTeeth* teeth, bool square,
                                 int roundPercent, const TDUDSimpleBevel* bevel, const TDUDShadow* shadow)
{
    TDUDShapeOutline out;
    const int depth = shadow && shadow->Style() != TDUDShadowStyle::hssNone ? shadow->Depth() : 0;
    const int pw = !teeth && bevel ? bevel->Width() : 1;
    // The outline's points lie in the window range like every region's:
    // a control wider or higher than that has none, and nothing fits in a
    // control smaller than its shadow.
    const std::int64_t wide = std::int64_t(r.Right) - r.Left, high = std::int64_t(r.Bottom) - r.Top;
    if (wide < depth || high < depth || wide > kDUDRegionCoordLimit || high > kDUDRegionCoordLimit)
        return out;
    const int wc = static_cast<int>(wide);
    const int hc = static_cast<int>(high);
    int offX = 0, offY = 0;
    if (square) {
        if (wc > hc)
            offX = (wc - hc) / 2;
        else
            offY = (hc - wc) / 2;
    }
    const Box s{offX + depth, offY + depth, wc - offX, hc - offY};
    const int L = s.L, T = s.T, R = s.R, B = s.B, W = s.W(), H = s.H();
    const int mx = L + W / 2, my = T + H / 2;
    const int pct = std::clamp(roundPercent, 0, kMaxPercent);
    const int corner = std::min(wc - depth, hc - depth) * pct / 100;
    auto& p = out.Points;
    if (teeth) {
        TeethPolygon(s, *teeth, p, out.TeethStep);
        return out;
    }
    const int a = pw / 2, b = (pw - 1) / 2;
    using ST = TDUDShapeType;
    switch (shape) {
    case ST::stEllipse:
    case ST::stRectangle:
        p = {{L, T}, {R, B}, {L + a, T + a}, {R - b, B - b}};
        break;
    case ST::stRoundRect:
        // The corner size is a size: shadow and pen do not move it.
        p = {{L, T}, {R, B}, {corner, corner}, {L + a, T + a}, {R - b, B - b}, {corner, corner}};
        break;
    case ST::stDirectUp:
        p = {{mx, T}, {R, B}, {L, B}, {mx, T + a}, {R - b, B - b}, {L + 2 * a, B}};
        break;
    case ST::stDirectRight:
        p = {{L, T}, {R, my}, {L, B}, {L + a, T + a}, {R - b, my}, {L + a, B - b}};
        break;
    case ST::stDirectDown:
        p = {{L, T}, {R, T}, {mx, B}, {L + a, T + a}, {R - b, T + a}, {mx, B}};
        break;
    case ST::stDirectLeft:
        p = {{R, T}, {L, my}, {R, B}, {R - b, T + a}, {L + a, my}, {R - b, B - b}};
        break;
    case ST::stDiamond:
        p = {{mx, T}, {R, my}, {mx, B}, {L, my}, {mx, T + a}, {R - b, my}, {mx, B - b}, {L + a, my}};
        break;
    case ST::stComb: {
        const int c = RoundDiv(H, 5);
        // A comb 3 pixels high would round its lower corners one pixel
        // past the bottom; they stay on it.
        const int c4 = std::min(4 * c, H);
        p = {{mx, T}, {R, T + c}, {R, T + c4}, {mx, B}, {L, T + c4}, {L, T + c},
             {mx, T + a}, {R - b, T + c + a}, {R - b, T + c4 + a}, {mx, B - b}, {L + a, T + c4 + a},
             {L + a, T + c + a}};
        break;
    }
    case ST::stOctagon: {
        const double k = std::sqrt(2.0) + 2.0;
        const int pp = RoundReal(W / k), q = RoundReal(H / k);
        const int pp2 = RoundReal(std::sqrt(2.0) * pp), q2 = RoundReal(std::sqrt(2.0) * q);
        p = {{L + pp, T}, {L + pp + pp2, T}, {R, T + q}, {R, T + q + q2},
             {L + pp + pp2, B}, {L + pp, B}, {L, T + q + q2}, {L, T + q}};
        // Moved in: points on the top, bottom and left by +a on X, on the right
        // by -b; on the top, left and right by +a on Y, on the bottom by -b.
        static constexpr int dxs[8] = {1, 1, -1, -1, 1, 1, 1, 1};
        static constexpr int dys[8] = {1, 1, 1, 1, -1, -1, 1, 1};
        for (int i = 0; i < 8; ++i)
            p.push_back({p[i].X + (dxs[i] > 0 ? a : -b), p[i].Y + (dys[i] > 0 ? a : -b)});
        break;
    }
    case ST::stStar: {
        const auto fx = [&](int pc) { return L + RoundDiv(std::int64_t(W) * pc, 100); };
        const auto fy = [&](int pc) { return T + RoundDiv(std::int64_t(H) * pc, 100); };
        p = {{mx, T}, {fx(65), fy(38)}, {R, fy(38)}, {fx(70), fy(60)}, {fx(85), B},
             {mx, fy(75)}, {fx(15), B}, {fx(30), fy(60)}, {L, fy(38)}, {fx(35), fy(38)}};
        for (int i = 0; i < 10; ++i)
            p.push_back(p[i]);
        p[10].Y += a;
        p[12].X -= b;
        p[14].Y -= b;
        p[16].Y -= b;
        p[18].X += b;
        break;
    }
    }
    return out;
}

TDUDShapeOutline DUDShapeOutline(const TRect& r, const TDUDShape& shape, const TDUDTeeth* teeth)
{
    return DUDShapeOutline(r, shape.Shape(), teeth, shape.Square(), shape.RoundPercent(), &shape.Bevel(),
                           &shape.Shadow());
}

void DUDShapeCalc(const TRect& r, TDUDShapeType shape, TDUDTeeth* teeth, bool square, int roundPercent,
                  const TDUDSimpleBevel* bevel, const TDUDShadow* shadow, TDUDPointList& list)
{
    TDUDShapeOutline o = DUDShapeOutline(r, shape, teeth, square, roundPercent, bevel, shadow);
    if (teeth && o.TeethStep) {
        const bool vertical =
            teeth->Direction() == TDUDDirection::tdRight || teeth->Direction() == TDUDDirection::tdLeft;
        teeth->BeginUpdate();
        if (vertical)
            teeth->SetHeight(*o.TeethStep);
        else
            teeth->SetWidth(*o.TeethStep);
        teeth->EndUpdate(false);
    }
    list.Clear();
    for (const TPoint& p : o.Points)
        list.AddPoint(p);
}

TPoint DUDHeldPoint(std::int64_t x, std::int64_t y)
{
    const auto held = [](std::int64_t v) {
        return static_cast<int>(std::clamp<std::int64_t>(v, -kDUDRegionCoordLimit, kDUDRegionCoordLimit));
    };
    return {held(x), held(y)};
}

void DUDOffsetPointArray(TPoint* points, int count, int dx, int dy)
{
    for (int i = 0; points && i < count; ++i)
        points[i] = DUDHeldPoint(std::int64_t(points[i].X) + dx, std::int64_t(points[i].Y) + dy);
}

void DUDOffsetPointList(TDUDPointList* list, int dx, int dy)
{
    if (!list)
        return;
    for (int i = 0; i < list->Count(); ++i) {
        const TPoint p = list->GetPoint(i);
        list->PutPoint(i, DUDHeldPoint(std::int64_t(p.X) + dx, std::int64_t(p.Y) + dy));
    }
}

} // namespace kyd::widgets

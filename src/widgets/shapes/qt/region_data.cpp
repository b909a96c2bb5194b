#include "widgets/shapes/qt/region_data.h"

namespace kyd::widgets {

namespace {

// Rectangles already in bands, none empty, as a region.
QRegion RectsToRegion(const std::vector<TRect>& rects)
{
    QList<QRect> qrects;
    qrects.reserve(static_cast<qsizetype>(rects.size()));
    for (const TRect& r : rects)
        qrects.append(QRect(r.Left, r.Top, r.Width(), r.Height()));
    QRegion region;
    if (!qrects.isEmpty())
        region.setRects(qrects.constData(), static_cast<int>(qrects.size()));
    return region;
}

} // namespace

std::optional<QRegion> DUDRegionFromData(const std::uint8_t* data, std::size_t size)
{
    const auto rects = DUDRegionBandsFromData(data, size);
    if (!rects)
        return std::nullopt;
    return RectsToRegion(*rects);
}

QRegion DUDBandsToRegion(const TDUDBandRegion& bands)
{
    return RectsToRegion(bands.Rects());
}

std::optional<QRegion> DUDRegionFromData(const std::vector<std::uint8_t>& data)
{
    return DUDRegionFromData(data.data(), data.size());
}

std::vector<std::uint8_t> DUDRegionToData(const QRegion& region)
{
    std::vector<TRect> rects;
    rects.reserve(static_cast<std::size_t>(region.rectCount()));
    for (const QRect& q : region)
        rects.push_back({q.left(), q.top(), q.right() + 1, q.bottom() + 1});
    return DUDEncodeRegionData(rects);
}

} // namespace kyd::widgets

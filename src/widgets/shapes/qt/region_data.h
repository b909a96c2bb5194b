// Region data (see widgets/shapes/region_mask.h) as a Qt region and back.
#pragma once

#include "widgets/shapes/region_bands.h"
#include "widgets/shapes/region_mask.h"

#include <QList>
#include <QRect>
#include <QRegion>

#include <optional>

namespace kyd::widgets {

// The region of stored region data; nothing when the data is not valid or
// a rectangle in it reaches beyond what a window can have. Empty
// rectangles are left out. Banded data is taken as it stands, in linear
// time; any other data is united pairwise, in O(n log n).
std::optional<QRegion> DUDRegionFromData(const std::uint8_t* data, std::size_t size);
std::optional<QRegion> DUDRegionFromData(const std::vector<std::uint8_t>& data);
// A band region as a Qt region, in linear time.
QRegion DUDBandsToRegion(const TDUDBandRegion& bands);
// The region data of a region, its rectangles in bands.
std::vector<std::uint8_t> DUDRegionToData(const QRegion& region);

} // namespace kyd::widgets

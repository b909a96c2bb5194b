// Fuzz entry points of the shape outlines and the region mask, Qt-free. Each
// takes any bytes, must neither crash nor hang, and returns 0; a broken
// invariant aborts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyd::widgets::fuzz {

// Region data decoded, encoded again and decoded to the same rectangles.
int FuzzRegionData(const std::uint8_t* data, std::size_t size);
// The mask's property readers: a 4-byte data size, then the stored bytes,
// read as each property in turn.
int FuzzRegionMaskReaders(const std::uint8_t* data, std::size_t size);
// Every outline at a size and settings taken from the bytes; outer points
// stay inside the control, a teeth step comes only with teeth.
int FuzzShapeOutline(const std::uint8_t* data, std::size_t size);
// The window outlines' geometry (polygon corners, nose, thought bubbles) at
// a rectangle, size, bubble count and corner taken from the bytes; polygon
// corners stay on the rectangle, bubbles grow towards the body.
int FuzzRegionGeometry(const std::uint8_t* data, std::size_t size);

// Region data taken as a window region: in bands, within the window range
// and the rectangle bound, covering every rectangle, and the same when
// taken again.
int FuzzRegionBands(const std::uint8_t* data, std::size_t size);
// A stored point list (an integer list of X and Y) made into the point-list
// outline's region data, which decodes to bands within the window range;
// none beyond the range or the bounds of what a polygon may expand to.
int FuzzPointListRegion(const std::uint8_t* data, std::size_t size);
// Ellipses, half rounds and shields at sizes and coordinates anywhere in
// the integer range: within their rectangle and in bands, or nothing.
int FuzzRegionOutlines(const std::uint8_t* data, std::size_t size);

// Stored shape and teeth settings, each property present or not with any
// number: a read error, or settings within what a shape can use whose
// outline on a control of any size lies inside it (teeth within their
// depth of it) or is empty.
int FuzzShapeSettings(const std::uint8_t* data, std::size_t size);

} // namespace kyd::widgets::fuzz

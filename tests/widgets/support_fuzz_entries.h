// Fuzz entry points of the component library's loaders, Qt-free. Each takes
// any bytes, must neither crash nor hang, and returns 0; a broken invariant
// (a round trip that does not give its input back) aborts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyd::widgets::fuzz {

// The block expander on a raw block.
int FuzzLZRWExpand(const std::uint8_t* data, std::size_t size);
// A compressed stream expanded into a memory stream.
int FuzzLoadCompressedStream(const std::uint8_t* data, std::size_t size);
// Every stream reader (values, strings, string lists, waves, pictures), in
// the uncompressed and the compressed form.
int FuzzStreamReaders(const std::uint8_t* data, std::size_t size);
// The WAVE header parser and the wave object's loaders.
int FuzzWaveHeader(const std::uint8_t* data, std::size_t size);
// Compressing any block and expanding it again gives it back.
int FuzzCompressExpand(const std::uint8_t* data, std::size_t size);
// The /proc/meminfo parser.
int FuzzMeminfo(const std::uint8_t* data, std::size_t size);
// The mount-table parser.
int FuzzMountTable(const std::uint8_t* data, std::size_t size);
// The os-release parser.
int FuzzOsRelease(const std::uint8_t* data, std::size_t size);
// The settings' conversions of stored text (numbers, colours, points,
// rectangles, fonts); what they write reads back the same.
int FuzzIniConversions(const std::uint8_t* data, std::size_t size);

// --- containers and list files ---
// A list file of any type: the signature, the table and the items, loaded
// into the container of its type; what loads saves and loads back the same.
int FuzzListFile(const std::uint8_t* data, std::size_t size);
// Container data with offsets (first byte odd) or without, for the string,
// generic and wave containers.
int FuzzContainerData(const std::uint8_t* data, std::size_t size);
// The single-item readers on a list file.
int FuzzListItemReaders(const std::uint8_t* data, std::size_t size);

} // namespace kyd::widgets::fuzz

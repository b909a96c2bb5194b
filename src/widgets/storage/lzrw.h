// The library's block compressor: LZRW1/KH blocks of up to 32781 input bytes.
// A block starts with a flag byte: 0x40 for compressed data (command words of
// 16 items, literals, back references and runs), 0x80 for a block stored as
// it is because compression did not gain anything.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kyd::widgets {

// Largest input of one block.
inline constexpr std::int32_t kLZRWBlockSize = 32781;
// Largest output of one block (a stored block of kLZRWBlockSize bytes).
inline constexpr std::int32_t kLZRWMaxBlock = kLZRWBlockSize + 1;

// Room the compressor needs in dest for size input bytes: it may run up to
// six bytes past size before it notices that nothing is gained.
constexpr std::size_t DUDLZRWDestSize(std::int32_t size) { return static_cast<std::size_t>(size) + 8; }

// Compresses size (0..kLZRWBlockSize) bytes of source into dest, which holds
// DUDLZRWDestSize(size) bytes. Returns the block length (at most size + 1),
// or -1 for a size outside 0..kLZRWBlockSize.
std::int32_t DUDLZRWCompress(const std::uint8_t* source, std::uint8_t* dest, std::int32_t size);

// Expands the block of size bytes at source into dest, which holds
// kLZRWBlockSize bytes. Returns the bytes produced, or -1 for a damaged
// block: an unknown flag, a read past the block's end, a reference before
// the start of the output or more than kLZRWBlockSize bytes out. On -1 the
// contents of dest are undefined.
std::int32_t DUDLZRWDecompress(const std::uint8_t* source, std::uint8_t* dest, std::int32_t size);

// The most a block of size stored bytes can expand to, from its size alone
// (a run of 4111 equal bytes takes 4 bytes): a bound for sizing the output
// before the block is read.
constexpr std::int64_t DUDLZRWMaxExpansion(std::int32_t size)
{
    return size < 1 ? 0 : std::min<std::int64_t>(kLZRWBlockSize, std::int64_t{size} * 1028);
}

// Vector forms for callers that do not keep their own buffers (a block of a
// size outside 0..kLZRWBlockSize compresses to nothing).
std::vector<std::uint8_t> DUDLZRWCompressBlock(const std::uint8_t* source, std::int32_t size);
// Appends the expanded block to out; false (out unchanged) for a damaged block.
bool DUDLZRWExpandBlock(const std::uint8_t* source, std::int32_t size, std::vector<std::uint8_t>& out);

} // namespace kyd::widgets

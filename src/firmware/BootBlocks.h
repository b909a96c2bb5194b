// The code blocks the loader uploads to the CMC: two boot blocks for the
// CPU's serial bootstrap and the routine table.
//
// The blocks are code for the controller's CPU, which this tool does not
// carry; they stand here as self-describing placeholders of the right
// lengths, so a simulated target can tell that the right block arrived
// whole: bytes 0 and 1 hold the length (low byte first), byte 2 the block's
// index (0..11 for the routines, 0x81 and 0x82 for the boot blocks), byte 3
// its complement, then filler, and the last byte makes the sum of all
// bytes 0 modulo 256. Boot block 1 carries 0x13 0xF8 at bytes 16 and 17 (the
// loader sets them when it is created; the sum counts them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kyd::firmware {

struct TRoutine {
    char Command = 0;        // sent as one byte before the block (0: none)
    std::size_t Length = 0;  // bytes in the block
    std::string Block;       // the block itself
};

inline constexpr std::size_t kBootBlock1Length = 32;
inline constexpr std::size_t kBootBlock2Length = 276;
inline constexpr std::uint8_t kBootBlock1Index = 0x81;
inline constexpr std::uint8_t kBootBlock2Index = 0x82;
inline constexpr int kRoutineCount = 12;

// Routine indices.
enum TRoutineIndex : int {
    rtStartUp = 0,
    rtIdentifyFlash = 1,
    rtNodePresence = 2,
    rtNodeList = 3,
    rtFlashErase = 4,
    rtFlashProgram = 5,
    rtFlashVerify = 6,
    rtCanErase = 7,
    rtCanDownload = 8,
    rtCanVerify = 9,
    rtJumperPresence = 10,
    rtSelectNode = 11,
};

// The routine table, index 0..11.
const std::vector<TRoutine>& RoutineTable();

// Boot block 1 as stored (bytes 16 and 17 not yet set) and boot block 2.
std::string BootBlock1Unpatched();
std::string BootBlock2();

// A placeholder block of the format above.
std::string MakePlaceholderBlock(std::size_t length, std::uint8_t index);

} // namespace kyd::firmware

// The simulated bootstrap loader of the CMC: our stand-in for the
// controller's ROM bootstrap and the routines the firmware loader uploads.
//
// A byte-fed state machine, no threads and no I/O: the transport feeds it
// every received byte with the time it arrived and sends what it returns.
//
//   ROM boot        0x00 is answered with the CPU id byte
//   boot block 1    32 bytes (bytes 16-17 = 13 F8), no answer
//   boot block 2    276 bytes, answered A0
//   start-up        the start-up routine's block, answered 00 B0
//   command loop    E3 -> B0 (keep-alive); a command character -> A0, then
//                   the routine's block, checked whole (a corrupt block is
//                   answered AA and expected again); 0x00 starts the ROM
//                   boot again (a pseudo-terminal has no power switch)
//   records         after a download or verify routine, Intel HEX records
//                   (':' and the record's bytes), each answered 00 A0, the
//                   end record 00 A0 B0; a bad checksum is answered AA A0
//   node number     after the node selection routine: 01..08 or FF is
//                   answered B1 B0 when that board answers, FC B0 otherwise
//
// Routine blocks are the loader's placeholders (firmware/BootBlocks.h): the
// length in bytes 0-1, the index and its complement, filler, and a last
// byte that makes the sum 0. The target knows each routine's command
// character and length and refuses any other block.
//
// Flash: a byte array per board (the CMC's and one per NFC node, plus the
// board selected by jumper); erase sets every byte to FF, programming can
// only clear bits (a record that would set one is answered with F9, and
// nothing of it is written), verify mismatches are answered F2. A record
// error ends the record mode: the error byte is followed by B0.
//
// A block or record left incomplete for 500 ms is dropped and the target
// goes back to its command loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kyd::sim {

struct BootConfig {
    int linkBaud = 9600;           // the tool's configured rate; the boot line runs at 6 times it
    std::uint8_t cpuId = 0xC5;     // answered to the ROM boot's zero byte
    std::uint16_t flashId = 0x22AB;
    std::size_t flashSize = 0;     // 0: the size of the chip flashId names (FlashSizeOfId)
    std::size_t nodeFlashSize = 0x40000;
    std::uint8_t initialFill = 0x00; // content of every flash at start
    int eraseMs = 0;               // time an erase takes
    std::uint8_t nodeMask = 0x0F;  // NFC nodes fitted, bit 0 = node 1
    bool jumperNode = false;       // an NFC board is selected by jumper
};

// The size of the CMC flash chip with the id: 512 KiB for the 4-Mbit
// 29F400 parts, 1 MiB for the 8-Mbit 29F800 parts and anything else.
std::size_t FlashSizeOfId(std::uint16_t id);

// Counts: 0 none, N the next N occasions, -1 every one.
struct BootFaults {
    int noCpuId = 0;         // ROM boots without the id byte
    int noReady = 0;         // command characters not answered with A0
    int corruptBlocks = 0;   // routine blocks answered AA as if garbled
    std::uint8_t eraseError = 0; // error byte an erase answers instead of 'q' (0: none)
    int eraseErrors = 0;     // how many erases answer eraseError (-1: all)
    int recordResends = 0;   // records answered AA A0 as if garbled
    std::uint8_t recordError = 0; // error byte a record is answered with
    int recordErrorAt = 0;   // ... the N-th record of a transfer (1-based; 0 none)
    int silent = 0;          // routine and record replies not sent
    int delayMs = 0;         // wait before every answer
    int spurious = 0;        // answers (not the CPU id) preceded by FF F7
    std::uint8_t absentNodes = 0; // fitted nodes that do not answer
    int keepAliveSilent = 0; // keep-alive polls not answered
    int hangUpAfterRecords = 0; // hang the line up after this many records of a transfer (0 never)
};

struct BootChunk {
    int waitMs = 0;
    std::string bytes;
};

struct BootAnswer {
    std::vector<BootChunk> chunks;
    bool hangUp = false;
    bool empty() const { return chunks.empty() && !hangUp; }
};

enum class BootState {
    RomBoot,
    BootBlock1,
    BootBlock2,
    StartUp,
    CommandLoop,
    RoutineBlock,
    Records,
    NodeNumber,
};

// The command character and length of each routine the target knows.
struct BootRoutine {
    char command;
    std::size_t length;
};
const std::vector<BootRoutine>& BootRoutines();

class BootCore {
public:
    explicit BootCore(BootConfig config = {});

    // One received byte, arrived at nowMs; returns the answer, if any.
    BootAnswer feed(std::uint8_t byte, std::int64_t nowMs);

    BootFaults& faults() { return faults_; }
    const BootConfig& config() const { return config_; }
    // Ids, node mask and the like may change at any time; flash sizes and
    // the initial fill count only at construction.
    BootConfig& config() { return config_; }
    BootState state() const { return state_; }

    // Flash images: node 0 is the CMC, 1..8 the NFC nodes, 255 the board
    // selected by jumper.
    std::vector<std::uint8_t>& image(int node);
    // The node selected last (0 none).
    int selectedNode() const { return selected_; }
    // Starts over at the ROM boot, as after switching the power off and on.
    void powerCycle();

    // What happened, one line each ("boot", "routine 5", "record 12", ...).
    const std::vector<std::string>& events() const { return events_; }
    void clearEvents() { events_.clear(); }
    // Records received in the current or last transfer.
    int recordsReceived() const { return records_; }
    int erases() const { return erases_; }

private:
    // reply: the answer of a routine or record (the silent fault applies).
    BootAnswer answer(std::string bytes, bool reply = true);
    void resetCollect();
    bool blockValid(const std::string& block, std::uint8_t index, std::size_t length) const;
    BootAnswer runRoutine(int index);
    BootAnswer onRecord();
    BootAnswer recordError(std::uint8_t code);
    BootAnswer selectNode(std::uint8_t node);
    bool nodeAnswers(int node) const;
    std::vector<std::uint8_t>* transferTarget();
    static bool take(int& count);
    void event(std::string text) { events_.push_back(std::move(text)); }

    BootConfig config_;
    BootFaults faults_;
    BootState state_ = BootState::RomBoot;
    std::string collect_;
    std::size_t want_ = 0;      // bytes the block or record under way has in all
    char command_ = 0;          // command character of the block under way
    std::int64_t lastByteMs_ = 0;
    int routine_ = -1;          // download or verify routine of the record mode
    std::uint32_t base_ = 0;    // extended address of the record mode
    int records_ = 0;
    int erases_ = 0;
    int selected_ = 0;
    std::vector<std::uint8_t> cmc_;
    std::vector<std::vector<std::uint8_t>> nodes_; // 1..8, then the jumper board
    std::vector<std::string> events_;
};

} // namespace kyd::sim

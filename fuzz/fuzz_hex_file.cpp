// Intel HEX files as the firmware loader reads them: the whole-file check
// on any bytes, then, for a file that passes, its records sent as the
// loader sends them to the simulated bootstrap loader (in process, byte by
// byte, after the boot sequence, an erase and the program routine). The
// target must answer every record, must not crash whatever the addresses
// and lengths, and must leave its record mode at the end record.
#include "firmware/BootBlocks.h"
#include "firmware/HexFile.h"
#include "sim/boot_core.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kyd::sim::BootCore;
using kyd::sim::BootState;

struct Target {
    explicit Target(kyd::sim::BootConfig c) : core(c) {}

    std::string Feed(const std::string& bytes)
    {
        std::string out;
        for (char c : bytes) // no time passes: no block is ever stale
            for (auto& chunk : core.feed(static_cast<std::uint8_t>(c), 1000).chunks)
                out += chunk.bytes;
        return out;
    }
    bool Routine(int index)
    {
        const auto& routine = kyd::firmware::RoutineTable()[static_cast<std::size_t>(index)];
        if (Feed(std::string(1, routine.Command)) != "\xA0")
            return false;
        Feed(routine.Block);
        return true;
    }

    BootCore core;
};

std::string BootBlock1()
{
    std::string b = kyd::firmware::BootBlock1Unpatched();
    b[16] = static_cast<char>(0x13);
    b[17] = static_cast<char>(0xF8);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        sum += static_cast<unsigned char>(b[i]);
    b.back() = static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);
    return b;
}

void Require(bool ok, const char* what = "")
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kyd::firmware;
    const bool ok = CheckHexBytes(data, size);
    const std::vector<std::string> lines =
        SplitHexLines(std::string_view(reinterpret_cast<const char*>(data), size));
    Require(ok == CheckHexLines(lines));
    if (!ok)
        return 0;

    // A small flash, so that addresses past its end are easy to reach.
    kyd::sim::BootConfig config;
    config.flashSize = 0x20000;
    config.nodeFlashSize = 0x8000;
    Target t(config);
    static const std::string block1 = BootBlock1();
    Require(t.Feed(std::string(1, '\0')).size() == 1);
    t.Feed(block1);
    Require(t.Feed(BootBlock2()) == "\xA0");
    t.Feed(RoutineTable()[rtStartUp].Block);
    Require(t.core.state() == BootState::CommandLoop);
    Require(t.Routine(rtFlashErase));

    // The loader's record loop, once programming and once verifying: up to
    // the end record, each record's bytes and then its answer; a resend
    // request sends the record again (a few times here). A record cut short
    // is completed by the bytes of the next, as on the line.
    for (int routine : {rtFlashProgram, rtFlashVerify}) {
        if (t.core.state() != BootState::CommandLoop)
            break;
        Require(t.Routine(routine) && t.core.state() == BootState::Records, "record mode");
        for (const std::string& line : lines) {
            const bool end = IsEndRecord(line);
            std::string answer;
            for (int sends = 0; sends < 3; ++sends) {
                answer = t.Feed(RecordBytes(line));
                if (answer != "\xAA\xA0")
                    break;
            }
            if (t.core.state() != BootState::Records) {
                // Left the record mode: the end record or an error byte was
                // answered (bytes after it went to the command loop).
                Require(!answer.empty(), "leaving the record mode");
                break;
            }
            // A line longer than its record is more than one record: one
            // answer each, accepted or asked again.
            for (std::size_t i = 0; i < answer.size(); i += 2)
                Require(answer.compare(i, 2, std::string("\x00\xA0", 2)) == 0 || answer.compare(i, 2, "\xAA\xA0") == 0,
                        "record answer");
            if (end)
                break;
        }
    }
    Require(t.core.image(0).size() == config.flashSize);
    return 0;
}

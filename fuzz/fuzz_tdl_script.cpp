// The TDL loader and engine against the in-process simulated dispenser:
// any file must load and run to an end, with the operator's dialogs
// answered from the input and the simulator's faults set from it.
//
// Input: the script text, then (taken from the end) the options. Work per
// input is bounded: the fake clock moves a second per message-loop turn and
// the script is stopped after a fixed number of exchanges or turns, loop
// counts are capped at 3 and at most five LOOP lines count (a loop whose
// body neither exchanges nor waits does not move the fake clock, so the
// budget cannot stop it; its count is the script's to choose), and
// absolute LOGFILE paths are replaced so nothing is written outside a
// folder that does not exist.
#include "link/TDLScript.h"
#include "link/support_link_stack.h"
#include "link/support_sim_port.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace kyd;
using namespace kyd::link;

constexpr int kMaxExchanges = 200;
constexpr int kMaxTurns = 5000;
constexpr int kMaxLoopCount = 3;
constexpr int kMaxLoops = 5;

std::string ScriptPath()
{
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/kyd_fuzz_tdl_" + std::to_string(::getpid()) + ".tdl";
}

// The word after the first blank, as the engine reads a parameter.
std::string FirstParam(const std::string& line)
{
    const auto p = line.find(' ');
    if (p == std::string::npos)
        return line;
    const std::string rest = line.substr(p + 1);
    return rest.substr(0, rest.find(' '));
}

std::string Bounded(const std::string& text)
{
    std::string out;
    int loops = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        const std::string keyword = line.substr(0, line.find(' '));
        if (keyword == "LOOP") {
            const std::string p = FirstParam(line);
            const bool big = p.find_first_not_of("0123456789+-") == std::string::npos && p.size() > 0 &&
                             (p.size() > 2 || std::atoi(p.c_str()) > kMaxLoopCount);
            if (++loops > kMaxLoops)
                line = "LOOP 1";
            else if (big)
                line = "LOOP " + std::to_string(kMaxLoopCount);
        } else if (keyword == "LOGFILE" && FirstParam(line).rfind('/', 0) == 0) {
            line = "LOGFILE /nonexistent-kyd-fuzz/log";
        }
        out += line;
        if (end < text.size())
            out += '\n';
        start = end + 1;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = ScriptPath();
    FuzzedDataProvider in(data, size);

    test::LinkStack s;
    auto owned = std::make_unique<test::SimLinkPort>();
    test::SimLinkPort& port = *owned;
    s.BuildLink(std::move(owned));
    s.options.settings.LogFile = "/dev/null";
    s.options.settings.ScriptFolder = "/nonexistent-kyd-fuzz/";
    if (s.com->Open(1, 9600, TParity::pEven, 7, 1, false) != 1)
        std::abort();

    // Options from the end of the input.
    const std::uint8_t faults = in.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t cassettes = in.ConsumeIntegral<std::uint8_t>();
    std::uint32_t answers = in.ConsumeIntegral<std::uint32_t>();
    const int runs = in.ConsumeIntegralInRange<int>(1, 2);
    port.simulator.updateFaults([&](sim::SimFaults& f) {
        f.silent = faults & 1 ? 1 : 0;
        f.badChecksum = faults & 2 ? 2 : 0;
        f.bareCr = faults & 4 ? 1 : 0;
        f.fragmentBytes = faults & 8 ? 3 : 0;
        if (faults & 0x10)
            f.noise = "#~";
        if (faults & 0x20)
            f.scripted.push_back(sim::ScriptedStatus{"1*", 1, static_cast<char>('0' + (faults >> 6)), false});
        if (faults & 0x40)
            f.scripted.push_back(sim::ScriptedStatus{":*", 1, 'M', true});
    });
    port.WithCore([&](sim::SimCore& c) {
        for (int pos = 1; pos <= 4; ++pos)
            if (cassettes & (1 << pos))
                c.cassette(pos).state = sim::CassetteState::Open;
        return 0;
    });
    for (int k = 0; k < 16; ++k, answers >>= 2) {
        static constexpr platform::DlgResult kAnswers[] = {platform::DlgResult::Ignore, platform::DlgResult::Abort,
                                                           platform::DlgResult::Yes, platform::DlgResult::No};
        s.dialogs.queueResult(kAnswers[answers & 3]);
    }

    const std::string text = Bounded(in.ConsumeRemainingBytesAsString());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    TTDLScript script(s.cmd.get(), &s.model, &s.ctx);
    int exchanges = 0;
    port.simulator.setCommandHook([&](const std::string&) {
        if (++exchanges >= kMaxExchanges)
            script.Abort();
    });
    int turns = 0;
    bool ticking = true;
    std::function<void()> tick = [&] {
        if (!ticking)
            return;
        s.clock.advance(1000);
        if (++turns >= kMaxTurns)
            script.Abort();
        s.loop.postCall(tick);
    };
    s.loop.postCall(tick);

    if (!script.Load(path))
        std::abort();
    const int result = script.Run(runs);
    if (result != TTDLScript::kDone && result != TTDLScript::kAborted && result != TTDLScript::kSoftBreak)
        std::abort();
    if (script.IsRunning() || TTDLScript::AnyRunning() || s.cmd->Busy())
        std::abort();
    if (script.IsAborted() && turns < kMaxTurns && exchanges < kMaxExchanges)
        (void)script.Resume();
    ticking = false;
    s.loop.processPending();
    std::remove(path.c_str());
    return 0;
}

// The dispenser simulator's command parser, which also answers a person
// typing at it through a terminal: random bytes and random commands with a
// good checksum, in random pieces. Every answer must be whole frames, each
// with a good checksum.
#include "sim/framing.h"
#include "sim/in_process_link.h"
#include "sim/simulator.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kyd::sim;
    FuzzedDataProvider in(data, size);
    SimConfig config;
    config.feeders = in.ConsumeIntegralInRange<int>(0, 8);
    config.longProgramId = in.ConsumeBool();
    config.rejectEvery = in.ConsumeIntegralInRange<int>(0, 5);
    Simulator sim(config);
    InProcessLink link(sim);

    while (in.remaining_bytes() > 0) {
        std::string bytes = in.ConsumeRandomLengthString(64);
        if (in.ConsumeBool())
            bytes = frame(bytes.substr(0, bytes.find('\r')));
        const std::string answer = link.write(bytes);
        std::size_t start = 0;
        while (start < answer.size()) {
            const std::size_t cr = answer.find('\r', start);
            if (cr == std::string::npos || !checksumOk(std::string_view(answer).substr(start, cr - start)))
                std::abort();
            start = cr + 1;
        }
    }
    return 0;
}

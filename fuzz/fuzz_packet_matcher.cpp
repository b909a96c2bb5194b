// The data packet matcher: packets with random start and end conditions cut
// a random byte stream.
//
// First the same stream goes through two fresh managers, once in one read
// and once in random reads: the events must be the same (event handlers
// re-arm or disarm packets in both runs alike). Then random operations (reads,
// timer expiries, flushes, property changes, close and open, removal) run on
// a third manager, where only the sanitizers and the buffer's bounds judge.
//
// The input is capped (max_len), so a packet that collects without end stays
// small.
#include "serial/SioExcept.h"
#include "serial/SioPacket.h"
#include "serial/support_packet.h"

#include "platform/exception_sink.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using sio::TSioDataPacket;
using sio::TSioDataPacketManager;

struct PacketConfig {
    sio::TPacketStartCond start = sio::scAnyData;
    sio::TPacketEndSet end = 0;
    std::string startString, endString;
    std::int32_t size = 0, timeOut = 0;
    bool ignoreCase = true, includeStrings = true, autoEnable = true, flushOnTimeout = true;
};

PacketConfig DrawConfig(FuzzedDataProvider& in)
{
    PacketConfig c;
    c.start = in.ConsumeBool() ? sio::scString : sio::scAnyData;
    c.end = in.ConsumeIntegralInRange<std::uint8_t>(0, 3);
    c.startString = in.ConsumeRandomLengthString(6);
    c.endString = in.ConsumeRandomLengthString(6);
    c.size = in.ConsumeIntegralInRange<std::int32_t>(-1, 40);
    c.timeOut = in.ConsumeIntegralInRange<std::int32_t>(0, 30);
    c.ignoreCase = in.ConsumeBool();
    c.includeStrings = in.ConsumeBool();
    c.autoEnable = in.ConsumeBool();
    c.flushOnTimeout = in.ConsumeBool();
    return c;
}

void Apply(TSioDataPacket& p, const PacketConfig& c)
{
    p.SetStartCond(c.start);
    p.SetEndCond(c.end);
    p.SetStartString(c.startString);
    p.SetEndString(c.endString);
    p.SetPacketSize(c.size);
    p.SetTimeOut(c.timeOut);
    p.SetIgnoreCase(c.ignoreCase);
    p.SetIncludeStrings(c.includeStrings);
    p.SetAutoEnable(c.autoEnable);
    p.SetFlushOnTimeout(c.flushOnTimeout);
}

void TryEnable(TSioDataPacket& p, bool on)
{
    try {
        p.SetEnabled(on);
    } catch (const sio::ESIOException&) {
        // An inconsistent set of properties: the packet stays disarmed.
    }
}

void CheckBuffer(const TSioDataPacketManager& m)
{
    if (m.DataCount() < 0 || m.DataCount() > m.BufferSize())
        std::abort();
}

constexpr std::size_t kPackets = 3;

// What a handler does at the n-th event of the run: nothing, or re-arm or
// disarm one of the packets.
struct HandlerPlan {
    std::array<std::uint8_t, 32> actions{};
};

// One run of the stream in the given reads; returns the events in order.
std::vector<std::string> Run(const std::array<PacketConfig, kPackets>& configs, std::size_t count,
                             const HandlerPlan& plan, const std::string& stream,
                             const std::vector<std::size_t>& reads)
{
    std::vector<std::string> log;
    packet_test::FakeHost host;
    TSioDataPacketManager manager(host);
    std::array<TSioDataPacket, kPackets> packets;
    for (std::size_t k = 0; k < count; ++k) {
        TSioDataPacket& p = packets[k];
        manager.Insert(p);
        Apply(p, configs[k]);
        p.SetOnStringPacket([&, k](TSioDataPacket&, const std::string& s) {
            log.push_back(std::to_string(k) + "S:" + s);
            const std::uint8_t a = plan.actions[log.size() % plan.actions.size()];
            if (a >= 0xC0)
                TryEnable(packets[a % count], (a & 0x10) != 0);
        });
        p.SetOnTimeout([&, k](TSioDataPacket& self) { log.push_back(std::to_string(k) + "T:" + std::to_string(self.GetDataSize())); });
        TryEnable(p, true);
    }
    std::size_t from = 0;
    for (std::size_t n : reads) {
        n = std::min(n, stream.size() - from);
        manager.OnData(reinterpret_cast<const std::uint8_t*>(stream.data()) + from, n);
        from += n;
        CheckBuffer(manager);
    }
    if (from < stream.size())
        manager.OnData(reinterpret_cast<const std::uint8_t*>(stream.data()) + from, stream.size() - from);
    CheckBuffer(manager);
    return log;
}

// Random operations on one manager.
void Chaos(FuzzedDataProvider& in, const std::array<PacketConfig, kPackets>& configs, std::size_t count)
{
    packet_test::FakeHost host;
    auto manager = std::make_unique<TSioDataPacketManager>(host);
    std::array<TSioDataPacket, kPackets> packets;
    std::array<bool, kPackets> bound{};
    for (std::size_t k = 0; k < count; ++k) {
        TSioDataPacket& p = packets[k];
        manager->Insert(p);
        bound[k] = true;
        Apply(p, configs[k]);
        p.SetOnStringPacket([&, k](TSioDataPacket& self, const std::string&) {
            if (in.remaining_bytes() == 0)
                return;
            switch (in.ConsumeIntegralInRange<int>(0, 5)) {
            case 0: TryEnable(self, true); break;
            case 1: TryEnable(packets[(k + 1) % count], false); break;
            case 2: manager->FlushData(); break;
            case 3: self.SetEndString(in.ConsumeRandomLengthString(4)); break;
            default: break;
            }
        });
        p.SetOnTimeout([&](TSioDataPacket& self) {
            if (in.remaining_bytes() > 0 && in.ConsumeBool())
                TryEnable(self, true);
        });
        TryEnable(p, true);
    }
    while (in.remaining_bytes() > 0) {
        const std::size_t k = in.ConsumeIntegralInRange<std::size_t>(0, count - 1);
        switch (in.ConsumeIntegralInRange<int>(0, 11)) {
        case 0: case 1: case 2: case 3: case 4: {
            const std::string bytes = in.ConsumeRandomLengthString(48);
            manager->OnData(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            break;
        }
        case 5:
            host.FireTimer(*manager);
            break;
        case 6:
            manager->FlushData();
            break;
        case 7:
            TryEnable(packets[k], !packets[k].GetEnabled());
            break;
        case 8:
            try {
                Apply(packets[k], DrawConfig(in));
            } catch (const sio::ESIOException&) {
                // Changed while armed into an inconsistent set: disarmed.
            }
            break;
        case 9:
            if (in.ConsumeBool()) {
                host.open = false;
                manager->PortClosed();
                if (manager->DataCount() != 0)
                    std::abort();
            } else {
                host.open = true;
                manager->PortOpened();
            }
            break;
        case 10:
            if (bound[k])
                manager->Remove(packets[k]);
            else
                manager->Insert(packets[k]);
            bound[k] = !bound[k];
            break;
        case 11:
            manager->SetEnabled(!manager->GetEnabled());
            break;
        }
        CheckBuffer(*manager);
    }
    for (std::size_t k = 0; k < count; ++k)
        if (bound[k])
            manager->Remove(packets[k]);
    manager.reset();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A property error raised while matching goes to the sink; it is no fault.
    kyd::platform::ExceptionRecorder exceptions;

    FuzzedDataProvider in(data, size);
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(1, kPackets);
    std::array<PacketConfig, kPackets> configs;
    for (std::size_t k = 0; k < count; ++k)
        configs[k] = DrawConfig(in);
    HandlerPlan plan;
    for (auto& a : plan.actions)
        a = in.ConsumeIntegral<std::uint8_t>();
    std::vector<std::size_t> reads;
    const std::size_t nReads = in.ConsumeIntegralInRange<std::size_t>(1, 24);
    for (std::size_t r = 0; r < nReads; ++r)
        reads.push_back(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    const std::string stream = in.ConsumeRandomLengthString(1024);

    const auto whole = Run(configs, count, plan, stream, {stream.size()});
    const auto split = Run(configs, count, plan, stream, reads);
    if (whole != split)
        std::abort();

    Chaos(in, configs, count);
    return 0;
}

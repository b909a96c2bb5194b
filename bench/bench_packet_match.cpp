// Packet matching throughput: random text fed to the packet manager in
// 256-byte reads, as the dispatch thread hands it over.
//
//  1. the carriage-return packet (any data, ends at CR, CR not delivered),
//     re-armed after every packet so that every line is matched;
//  2. a start/end string packet (start "<p" with case folding, end CR LF)
//     in text with noise between the packets;
//  3. for scale, a minimal loop doing the work of 1 by hand (memchr for the
//     CR, one string per line).
//
// Events run directly (no thread switch): this measures the matching, not
// the hand-over to the main thread. The three run in alternating order over
// several rounds (--rounds N, default 5); prints MB/s and the ratio of the
// carriage-return packet to the minimal loop as median (min, max, rounds),
// that ratio last. Exits with 1 when the packet and the loop disagree on the
// number of lines (nothing was measured).
#include "bench_stats.h"
#include "serial/SioPacket.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

class DirectHost : public sio::PacketHost {
public:
    bool PortIsOpen() const override { return true; }
    void RegisterHandler(sio::TSioDataPacketManager&) override {}
    void DeregisterHandler(sio::TSioDataPacketManager&) override {}
    int AddTimerTrigger() override { return 8; }
    void RemoveTrigger(int) override {}
    void SetTimerTrigger(int, sio::Ticks, bool, sio::Ticks) override {}
    void RunEvent(const std::function<void()>& fn, bool) override { fn(); }
};

constexpr std::size_t kRead = 256;
constexpr std::size_t kBytes = 32u << 20; // per run

std::string CrText(std::mt19937& rng)
{
    std::string s(kBytes, ' ');
    for (char& c : s) {
        std::uint32_t r = rng();
        c = (r % 40 == 0) ? '\r' : static_cast<char>(' ' + (r >> 8) % 95);
    }
    return s;
}

std::string FramedText(std::mt19937& rng)
{
    std::string s;
    s.reserve(kBytes + 256);
    while (s.size() < kBytes) {
        std::uint32_t r = rng();
        // Some noise (including near-starts), then a packet.
        std::size_t noise = r % 16;
        for (std::size_t i = 0; i < noise; ++i)
            s += (rng() % 8 == 0) ? '<' : static_cast<char>('a' + rng() % 26);
        s += (r & 0x100) ? "<P" : "<p";
        std::size_t body = 8 + (r >> 9) % 56;
        for (std::size_t i = 0; i < body; ++i)
            s += static_cast<char>('0' + rng() % 43);
        s += "\r\n";
    }
    s.resize(kBytes);
    return s;
}

template <class F>
double MBps(F&& run)
{
    auto t0 = std::chrono::steady_clock::now();
    run();
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return kBytes / secs / 1e6;
}

void FeedAll(sio::TSioDataPacketManager& m, const std::string& text)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    for (std::size_t off = 0; off < text.size(); off += kRead)
        m.OnData(p + off, std::min(kRead, text.size() - off));
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
    std::mt19937 rng(12345);
    const std::string crText = CrText(rng);
    const std::string framedText = FramedText(rng);

    std::size_t packets = 0, bytes = 0;
    auto count = [&](sio::TSioDataPacket&, const std::string& s) {
        ++packets;
        bytes += s.size();
    };

    // 1. carriage-return packet
    DirectHost host;
    sio::TSioDataPacketManager crManager(host);
    sio::TSioDataPacket cr;
    crManager.Insert(cr);
    cr.SetStartCond(sio::scAnyData);
    cr.SetEndCond(sio::ecString);
    cr.SetEndString("\r");
    cr.SetIncludeStrings(false);
    cr.SetAutoEnable(true);
    cr.SetOnStringPacket(count);
    cr.SetEnabled(true);

    // 2. start/end string packet
    sio::TSioDataPacketManager framedManager(host);
    sio::TSioDataPacket framed;
    framedManager.Insert(framed);
    framed.SetStartCond(sio::scString);
    framed.SetStartString("<p");
    framed.SetIgnoreCase(true);
    framed.SetEndCond(sio::ecString);
    framed.SetEndString("\r\n");
    framed.SetOnStringPacket(count);
    framed.SetEnabled(true);

    // 3. minimal hand-written splitter for the same CR text
    sio::TSioDataPacket sender;
    const auto plainLoop = [&] {
        std::string pending;
        for (std::size_t off = 0; off < crText.size(); off += kRead) {
            const char* b = crText.data() + off;
            const char* e = b + std::min(kRead, crText.size() - off);
            while (b < e) {
                const char* c = static_cast<const char*>(std::memchr(b, '\r', static_cast<std::size_t>(e - b)));
                if (!c) {
                    pending.append(b, e);
                    break;
                }
                pending.append(b, c);
                std::string line;
                line.swap(pending);
                count(sender, line);
                b = c + 1;
            }
        }
    };

    kyd::bench::Spread crMBps, framedMBps, plainMBps;
    std::size_t crPackets = 0, plainPackets = 0, framedPackets = 0;
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 3; ++k) {
            switch (r % 2 ? 2 - k : k) {
            case 0:
                packets = 0;
                crMBps.add(MBps([&] { FeedAll(crManager, crText); }));
                crPackets = packets;
                break;
            case 1:
                packets = 0;
                plainMBps.add(MBps(plainLoop));
                plainPackets = packets;
                break;
            default:
                packets = 0;
                framedMBps.add(MBps([&] { FeedAll(framedManager, framedText); }));
                framedPackets = packets;
                break;
            }
        }
        if (crPackets == 0 || crPackets != plainPackets) {
            std::fprintf(stderr, "bench_packet_match: %zu packets but %zu lines in round %d; nothing measured\n",
                         crPackets, plainPackets, r + 1);
            return 1;
        }
    }

    std::printf("packet matching, %zu MB of random text in %zu-byte reads, %d rounds\n", kBytes >> 20, kRead,
                rounds);
    std::printf("  start/end string packet: median %.1f MB/s (%zu packets)\n", framedMBps.median(), framedPackets);
    std::printf("  minimal splitter loop  : median %.1f MB/s (%zu lines)\n", plainMBps.median(), plainPackets);
    kyd::bench::PrintRatio("carriage-return packet MB/s / goal of 100 MB/s",
                           kyd::bench::Quotient(crMBps, kyd::bench::Spread{std::vector<double>(rounds, 100.0)}));
    kyd::bench::PrintRatio("carriage-return packet / minimal splitter loop", kyd::bench::Quotient(crMBps, plainMBps));
    return 0;
}

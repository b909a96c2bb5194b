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
// the hand-over to the main thread. Prints MB/s per case; the last line
// gives the carriage-return figure against the 100 MB/s goal.
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
double BestMBps(F&& run, int rounds = 3)
{
    double best = 0;
    for (int i = 0; i < rounds; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        run();
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        best = std::max(best, kBytes / secs / 1e6);
    }
    return best;
}

void FeedAll(sio::TSioDataPacketManager& m, const std::string& text)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    for (std::size_t off = 0; off < text.size(); off += kRead)
        m.OnData(p + off, std::min(kRead, text.size() - off));
}

} // namespace

int main()
{
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
    double crMBps = 0;
    std::size_t crPackets = 0;
    {
        sio::TSioDataPacketManager manager(host);
        sio::TSioDataPacket p;
        manager.Insert(p);
        p.SetStartCond(sio::scAnyData);
        p.SetEndCond(sio::ecString);
        p.SetEndString("\r");
        p.SetIncludeStrings(false);
        p.SetAutoEnable(true);
        p.SetOnStringPacket(count);
        p.SetEnabled(true);
        crMBps = BestMBps([&] {
            packets = 0;
            FeedAll(manager, crText);
        });
        crPackets = packets;
    }

    // 2. start/end string packet
    double framedMBps = 0;
    std::size_t framedPackets = 0;
    {
        sio::TSioDataPacketManager manager(host);
        sio::TSioDataPacket p;
        manager.Insert(p);
        p.SetStartCond(sio::scString);
        p.SetStartString("<p");
        p.SetIgnoreCase(true);
        p.SetEndCond(sio::ecString);
        p.SetEndString("\r\n");
        p.SetOnStringPacket(count);
        p.SetEnabled(true);
        framedMBps = BestMBps([&] {
            packets = 0;
            FeedAll(manager, framedText);
        });
        framedPackets = packets;
    }

    // 3. minimal hand-written splitter for the same CR text
    std::size_t plainPackets = 0;
    sio::TSioDataPacket sender;
    double plainMBps = BestMBps([&] {
        std::string pending;
        plainPackets = 0;
        for (std::size_t off = 0; off < crText.size(); off += kRead) {
            const char* b = crText.data() + off;
            const char* e = b + std::min(kRead, crText.size() - off);
            while (b < e) {
                const char* cr = static_cast<const char*>(std::memchr(b, '\r', static_cast<std::size_t>(e - b)));
                if (!cr) {
                    pending.append(b, e);
                    break;
                }
                pending.append(b, cr);
                std::string line;
                line.swap(pending);
                count(sender, line);
                ++plainPackets;
                b = cr + 1;
            }
        }
    });

    std::printf("packet matching, %zu MB of random text in %zu-byte reads (best of 3)\n", kBytes >> 20, kRead);
    std::printf("  carriage-return packet : %8.1f MB/s  (%zu packets)\n", crMBps, crPackets);
    std::printf("  start/end string packet: %8.1f MB/s  (%zu packets)\n", framedMBps, framedPackets);
    std::printf("  minimal splitter loop  : %8.1f MB/s  (%zu lines)\n", plainMBps, plainPackets);
    std::printf("  packet manager / minimal loop: %.2f\n", crMBps / plainMBps);
    std::printf("carriage-return packet: %.1f MB/s, goal 100 MB/s: %s (ratio %.2f)\n", crMBps,
                crMBps >= 100 ? "met" : "NOT met", crMBps / 100.0);
    return 0;
}

// Firmware download over the bootloader link: a 64 KiB image in 16-byte
// records sent by the firmware loader (TDMHexLoader::TransferFlashFile with
// the flash program routine) through the serial library's port component to
// the simulated bootstrap loader on a pseudo-terminal, whose line is paced at
// 57600 baud, 10 bits per character (8N1), with no delay of its own.
//
// The line-rate minimum is
//   T_min = [N + 8 * ceil(N / r) + 10 * E + 9 + L + 4] * 10 / baud
// with N data bytes, r data bytes per record (a record is r + 6 bytes out and
// 2 back), E extended-address records (10 bytes both ways), the end record
// (6 out, 3 back), and the program routine's block of L bytes with its
// command character, ready byte and 2-byte reply.
//
// In alternating rounds, the same transfer is also run by a minimal loop
// (write, poll, read on the raw device) for comparison. Prints the terms,
// min/median/max of both, and the loader's median ratio to T_min last
// (goal <= 1.10). Exits non-zero when a side could not be measured.
// Usage: bench_hex_download [--rounds R] [--kib K] [--record R]
#include "firmware/BootBlocks.h"
#include "firmware/HexFile.h"
#include "firmware/Unit_HexLoaders.h"
#include "platform/dialogs.h"
#include "platform/plain_message_loop.h"
#include "platform/port_resolver.h"
#include "sim/boot_transport.h"
#include "sim/hex_record.h"

#include "bench_stats.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace pf = kyd::platform;
namespace fw = kyd::firmware;
namespace sim = kyd::sim;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr int kCom = 45;
constexpr int kLineBaud = 57600;
constexpr std::uint32_t kBase = 0x10000;

std::uint8_t Pattern(std::size_t i)
{
    return static_cast<std::uint8_t>((i * 131u + (i >> 8) * 7u + 17u) & 0xFFu);
}


// The image at kBase in records of r bytes; counts the extended-address records.
std::vector<std::string> MakeFile(std::size_t size, std::size_t r, int& extended)
{
    std::vector<std::string> lines;
    extended = 0;
    std::uint32_t upper = 0xFFFFFFFF;
    for (std::size_t off = 0; off < size; off += r) {
        const std::uint32_t at = kBase + static_cast<std::uint32_t>(off);
        if ((at >> 16) != upper) {
            upper = at >> 16;
            lines.push_back(sim::HexRecord(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)}));
            ++extended;
        }
        std::vector<std::uint8_t> data;
        for (std::size_t i = off; i < std::min(size, off + r); ++i)
            data.push_back(Pattern(i));
        lines.push_back(sim::HexRecord(0x00, static_cast<std::uint16_t>(at & 0xFFFF), data));
    }
    lines.push_back(":00000001FF");
    return lines;
}

double Since(SteadyClock::time_point t0)
{
    return std::chrono::duration<double>(SteadyClock::now() - t0).count();
}

// The minimal loop: the same bytes on the raw device, each reply read with
// poll() and read().
class MinimalLoader {
public:
    explicit MinimalLoader(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0)
            return;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&t, B57600);
        ::cfsetospeed(&t, B57600);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~MinimalLoader()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    bool Exchange(const std::string& out, std::size_t replyBytes, std::string* reply = nullptr)
    {
        if (::write(fd_, out.data(), out.size()) != static_cast<ssize_t>(out.size()))
            return false;
        std::string got;
        while (got.size() < replyBytes) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return false;
            char buf[64];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0)
                return false;
            got.append(buf, static_cast<std::size_t>(n));
        }
        if (reply)
            *reply = got;
        return true;
    }

    bool Transfer(const std::vector<std::string>& lines)
    {
        const fw::TRoutine& program = fw::RoutineTable()[fw::rtFlashProgram];
        if (!Exchange(std::string(1, program.Command), 1) || !Exchange(program.Block, 2))
            return false;
        for (const std::string& line : lines) {
            const bool end = fw::IsEndRecord(line);
            std::string reply;
            if (!Exchange(fw::RecordBytes(line), end ? 3 : 2, &reply) ||
                static_cast<std::uint8_t>(reply[1]) >= 0xF0)
                return false;
            if (end)
                break;
        }
        return true;
    }

private:
    int fd_ = -1;
};

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    std::size_t kib = 64;
    std::size_t r = 16;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--kib"))
            kib = static_cast<std::size_t>(std::max(1, std::atoi(argv[i + 1])));
        else if (!std::strcmp(argv[i], "--record"))
            r = static_cast<std::size_t>(std::clamp(std::atoi(argv[i + 1]), 1, 255));
    }
    const std::size_t size = kib * 1024;

    pf::PlainMessageLoop loop;
    pf::setMessageLoop(&loop);
    pf::FakeDialogs dialogs;
    pf::setDialogs(&dialogs);

    sim::BootConfig config;
    config.initialFill = 0xFF;
    config.flashSize = kBase + size + 0x10000;
    sim::BootSimulator simulator(config);
    simulator.setPacing(sim::LinePacing{kLineBaud, 10});
    const std::string linkPath = (std::filesystem::temp_directory_path() /
                                  ("kyd_bench_boot_" + std::to_string(::getpid())))
                                     .string();
    sim::BootPtyTransport transport(simulator, linkPath);
    pf::setPortResolverUsesSharedIni(false);
    pf::setPortPathOverride(kCom, linkPath);

    int extended = 0;
    const std::vector<std::string> lines = MakeFile(size, r, extended);
    const std::size_t records = (size + r - 1) / r;
    const std::size_t L = fw::RoutineTable()[fw::rtFlashProgram].Length;
    const double bytes = static_cast<double>(size + 8 * records + 10 * static_cast<std::size_t>(extended) + 9 + L + 4);
    const double tMin = bytes * 10.0 / kLineBaud;

    auto resetFlash = [&] {
        simulator.withCore([](sim::BootCore& c) { std::fill(c.image(0).begin(), c.image(0).end(), 0xFF); });
    };
    auto imageRight = [&] {
        return simulator.withCore([&](sim::BootCore& c) {
            const auto& img = c.image(0);
            for (std::size_t i = 0; i < size; ++i)
                if (img[kBase + i] != Pattern(i))
                    return false;
            return true;
        });
    };

    int rc = 0;
    kyd::bench::Spread ours, minimal;
    {
        sio::TSioComPort port;
        port.SetComNumber(kCom);
        fw::TDMHexLoader loader(nullptr, &port);
        loader.SetBaudRateText([] { return std::string("9600"); });
        if (loader.Connect() != 0) {
            std::fprintf(stderr, "bench_hex_download: the loader could not connect: %s\n",
                         loader.lastErrorMessage().c_str());
            return 1;
        }
        if (!loader.CheckHexFile(lines)) {
            std::fprintf(stderr, "bench_hex_download: the image fails the file check\n");
            return 1;
        }
        for (int round = 0; round < rounds; ++round) {
            resetFlash();
            loader.SetOperationMode(fw::omDownload);
            auto t0 = SteadyClock::now();
            const int result = loader.TransferFlashFile(lines, fw::rtFlashProgram);
            const double t = Since(t0);
            loader.SetOperationMode(fw::omIdle);
            if (result != 0 || !imageRight()) {
                std::fprintf(stderr, "bench_hex_download: the loader's download failed (%d, %s)\n", result,
                             loader.lastErrorMessage().c_str());
                rc = 1;
                break;
            }
            ours.add(t);

            // The minimal loop on the same line, between the loader's rounds.
            port.SetOpen(false);
            resetFlash();
            {
                MinimalLoader m(linkPath);
                auto m0 = SteadyClock::now();
                const bool ok = m.ok() && m.Transfer(lines);
                const double mt = Since(m0);
                if (!ok || !imageRight()) {
                    std::fprintf(stderr, "bench_hex_download: the minimal loop's download failed\n");
                    rc = 1;
                    break;
                }
                minimal.add(mt);
            }
            port.SetOpen(true);
            std::printf("round %d: loader %.3f s, minimal loop %.3f s\n", round + 1, t, minimal.values.back());
            std::fflush(stdout);
        }
        port.SetOpen(false);
    }
    loop.processPending();
    pf::clearPortPathOverrides();
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
    if (rc != 0 || ours.empty() || minimal.empty())
        return 1;

    const kyd::bench::Spread& o = ours;
    const kyd::bench::Spread& m = minimal;
    std::printf("N = %zu data bytes, r = %zu, records = %zu, E = %d, end record 9, L + 4 = %zu\n", size, r, records,
                extended, L + 4);
    std::printf("line: %d baud, 10 bits per byte; %.0f bytes on the line; T_min = %.3f s\n", kLineBaud, bytes, tMin);
    std::printf("loader download s: min %.3f median %.3f max %.3f\n", o.min(), o.median(), o.max());
    std::printf("minimal loop s:    min %.3f median %.3f max %.3f\n", m.min(), m.median(), m.max());
    std::printf("minimal loop / T_min: min %.4f median %.4f max %.4f\n", m.min() / tMin, m.median() / tMin, m.max() / tMin);
    std::printf("loader / minimal loop: median %.4f\n", o.median() / m.median());
    std::printf("loader / T_min: min %.4f median %.4f max %.4f\n", o.min() / tMin, o.median() / tMin, o.max() / tMin);
    std::printf("download time / T_min (goal <= 1.10, median of %d rounds): %.4f, max %.4f\n", rounds, o.median() / tMin,
                o.max() / tMin);
    return 0;
}

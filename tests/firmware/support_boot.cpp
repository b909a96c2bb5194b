#include "support_boot.h"

#include "firmware/BootBlocks.h"
#include "platform/port_resolver.h"
#include "sim/hex_record.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kyd::firmware::test {

std::uint8_t PatternByte(std::size_t i, unsigned seed)
{
    return static_cast<std::uint8_t>((i * 131u + seed * 17u + (i >> 8) * 7u) & 0xFFu);
}

std::vector<std::string> MakeHexFile(std::uint32_t base, std::size_t size, std::size_t r, unsigned seed)
{
    std::vector<std::string> lines;
    std::uint32_t upper = 0;
    for (std::size_t off = 0; off < size; off += r) {
        const std::uint32_t at = base + static_cast<std::uint32_t>(off);
        if ((at >> 16) != upper || off == 0) {
            upper = at >> 16;
            if (upper != 0 || off != 0)
                lines.push_back(sim::HexRecord(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)}));
        }
        std::vector<std::uint8_t> data;
        for (std::size_t i = off; i < std::min(size, off + r); ++i)
            data.push_back(PatternByte(i, seed));
        lines.push_back(sim::HexRecord(0x00, static_cast<std::uint16_t>(at & 0xFFFF), data));
    }
    lines.push_back(":00000001FF");
    return lines;
}

BootStack::BootStack(sim::BootConfig config, bool fakeClock) : fake(fakeClock), sim(config)
{
    if (fake)
        platform::setClock(&clock);
    platform::setMessageLoop(&loop);
    platform::setDialogs(&dialogs);
    static std::atomic<int> serial{0};
    linkPath = (std::filesystem::temp_directory_path() /
                ("kyd_boot_" + std::to_string(::getpid()) + "_" + std::to_string(serial++)))
                   .string();
    static const bool trace = std::getenv("KYD_BOOT_TRACE") != nullptr;
    sim.setLogger([this](const std::string& event) {
        if (trace)
            std::fprintf(stderr, "sim: %s\n", event.c_str());
        std::int64_t ms = 0;
        bool terminate = false;
        {
            std::lock_guard lock(mutex_);
            if (auto it = advances_.find(event); it != advances_.end()) {
                ms = it->second;
                advances_.erase(it);
            }
            if (auto it = std::find(terminates_.begin(), terminates_.end(), event); it != terminates_.end()) {
                terminates_.erase(it);
                terminate = true;
            }
        }
        if (ms > 0)
            loop.postCall([this, ms] { clock.advance(ms); });
        if (terminate)
            loop.postCall([this] { loader->SetTerminate(true); });
    });
    transport = std::make_unique<sim::BootPtyTransport>(sim, linkPath);
    platform::setPortResolverUsesSharedIni(false);
    platform::setPortPathOverride(kCom, linkPath);
    port.SetComNumber(kCom);
    loader = std::make_unique<TDMHexLoader>(&progress, &port);
    loader->SetBaudRateText([this] { return baudText; });
}

BootStack::~BootStack()
{
    loader.reset();
    loop.processPending();
    transport.reset();
    sim.setLogger({});
    platform::clearPortPathOverrides();
    platform::setPortResolverUsesSharedIni(true);
    platform::setDialogs(nullptr);
    platform::setMessageLoop(nullptr);
    if (fake)
        platform::setClock(nullptr);
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
}

void BootStack::AdvanceOn(const std::string& event, std::int64_t ms)
{
    std::lock_guard lock(mutex_);
    advances_[event] = ms;
}

void BootStack::TerminateOn(const std::string& event)
{
    std::lock_guard lock(mutex_);
    terminates_.push_back(event);
}

void BootStack::ConnectAndErase()
{
    ASSERT_EQ(Connect(), 0);
    loader->SetOperationMode(omErase);
    const std::string reply = loader->RunRoutine(rtFlashErase, 3);
    loader->SetOperationMode(omIdle);
    ASSERT_EQ(reply.size(), 3u);
    ASSERT_EQ(reply[1], 'q');
}

bool BootStack::WaitForAliveByte()
{
    return port.PumpUntil([this] { return loader->Alive(); }, 10000);
}

std::vector<std::uint8_t> BootStack::Image(int node)
{
    return sim.withCore([&](sim::BootCore& c) { return c.image(node); });
}

int BootStack::Count(const std::string& event)
{
    return sim.withCore([&](sim::BootCore& c) {
        return static_cast<int>(std::count(c.events().begin(), c.events().end(), event));
    });
}

} // namespace kyd::firmware::test

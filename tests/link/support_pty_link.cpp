#include "support_pty_link.h"

#include "platform/port_resolver.h"

#include <unistd.h>

#include <filesystem>

namespace kyd::link::test {

PtyLinkFixture::PtyLinkFixture()
{
    static std::atomic<int> serial{0};
    linkPath = (std::filesystem::temp_directory_path() /
                ("kyd_e2e_" + std::to_string(::getpid()) + "_" + std::to_string(serial++)))
                   .string();
    // The simulator's line is reached through a stable name, which a
    // hang-up points at the new line.
    transport = std::make_unique<sim::PtyTransport>(simulator, linkPath);
    platform::setPortResolverUsesSharedIni(false);
    platform::setPortPathOverride(kCom, linkPath);
    simulator.setCommandHook([this](const std::string& frame) {
        if (onFrame)
            onFrame(frame);
        if (timeouts_.load() > 0) {
            --timeouts_;
            loop.postCall([this] { clock.advance(static_cast<std::int64_t>(com->PacketTimeoutTicks()) * 55 + 100); });
        }
        if (aborts_.load() > 0) {
            --aborts_;
            loop.postCall([this] { cmd->Abort(); });
        }
    });

    auto p = std::make_unique<SioLinkPort>();
    port = p.get();
    BuildLink(std::move(p));
}

PtyLinkFixture::~PtyLinkFixture()
{
    ReleaseLink();
    simulator.setCommandHook({});
    transport.reset();
    platform::clearPortPathOverrides();
    platform::setPortResolverUsesSharedIni(true);
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
}

void PtyLinkFixture::OpenPort(bool handshake)
{
    options.settings.Handshake = handshake;
    ASSERT_EQ(com->Open(kCom, 9600, TParity::pEven, 7, 1, handshake), kCom);
    ASSERT_TRUE(port->IsOpen());
}

std::vector<std::string> PtyLinkFixture::TakeFrames(std::size_t n, int waitMs)
{
    simulator.waitForFrames(seen_ + n, waitMs);
    const std::vector<std::string> log = simulator.frameLog();
    std::vector<std::string> out;
    for (std::size_t i = seen_; i < log.size(); ++i)
        out.push_back(log[i] + "\r");
    seen_ = log.size();
    return out;
}

std::string PtyLinkFixture::OneFrame()
{
    const std::vector<std::string> f = TakeFrames(1);
    return f.size() == 1 ? f[0] : "<" + std::to_string(f.size()) + " frames>";
}

bool PtyLinkFixture::NoFrame()
{
    return TakeFrames(1, 100).empty();
}

void PtyLinkFixture::ExpectStatus(int cls, int code)
{
    EXPECT_EQ(model.StatusClass, cls);
    EXPECT_EQ(model.StatusCode, code);
}

void PtyLinkFixture::ExpectIdleAndNextCommandWorks()
{
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());
    TakeFrames(0, 0);
    cmd->SendCommand("0", 20); // reset
    EXPECT_EQ(OneFrame(), "030\r");
    EXPECT_EQ(cmd->Reply, "0");
    ExpectStatus(195, 48);
    EXPECT_FALSE(cmd->Busy());
    EXPECT_FALSE(mainWindow.Busy());
}

} // namespace kyd::link::test

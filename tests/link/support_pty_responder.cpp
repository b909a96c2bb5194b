#include "support_pty_responder.h"

#include "platform/port_resolver.h"
#include "sim/pty_line.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>

namespace kyd::link::test {

PtyResponder::PtyResponder(const std::string& linkPath) : pty_(linkPath)
{
    thread_ = std::thread([this] { Run(); });
}

PtyResponder::~PtyResponder()
{
    pty_.stop();
    if (thread_.joinable())
        thread_.join();
}

void PtyResponder::SetScript(Script script)
{
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

void PtyResponder::Write(const std::string& bytes)
{
    std::lock_guard lock(writeMutex_);
    sim::writeAllToPty(pty_, bytes.data(), bytes.size());
}

std::vector<std::string> PtyResponder::Frames() const
{
    std::lock_guard lock(mutex_);
    return frames_;
}

bool PtyResponder::WaitForFrames(std::size_t n, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return framesChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return frames_.size() >= n; });
}

void PtyResponder::Run()
{
    std::string pending;
    char buf[512];
    for (;;) {
        const long n = sim::readFromPty(pty_, buf, sizeof buf);
        if (n < 0)
            return;
        for (long i = 0; i < n; ++i) {
            if (buf[i] != '\r') {
                pending += buf[i];
                continue;
            }
            Script script;
            std::size_t index = 0;
            {
                std::lock_guard lock(mutex_);
                index = frames_.size();
                frames_.push_back(pending);
                script = script_;
            }
            framesChanged_.notify_all();
            const std::string answer = script ? script(pending, index) : std::string();
            pending.clear();
            if (!answer.empty())
                Write(answer);
        }
    }
}

ResponderLinkFixture::ResponderLinkFixture()
{
    static std::atomic<int> serial{0};
    linkPath = (std::filesystem::temp_directory_path() /
                ("kyd_responder_" + std::to_string(::getpid()) + "_" + std::to_string(serial++)))
                   .string();
    responder = std::make_unique<PtyResponder>(linkPath);
    platform::setPortResolverUsesSharedIni(false);
    platform::setPortPathOverride(kCom, linkPath);
    auto p = std::make_unique<SioLinkPort>();
    port = p.get();
    BuildLink(std::move(p));
}

ResponderLinkFixture::~ResponderLinkFixture()
{
    ReleaseLink();
    responder.reset();
    platform::clearPortPathOverrides();
    platform::setPortResolverUsesSharedIni(true);
    std::error_code ec;
    std::filesystem::remove(linkPath, ec);
}

void ResponderLinkFixture::OpenPort()
{
    ASSERT_EQ(com->Open(kCom, 9600, TParity::pEven, 7, 1, false), kCom);
    ASSERT_TRUE(port->IsOpen());
}

void ResponderLinkFixture::ExpectStatus(int cls, int code)
{
    EXPECT_EQ(model.StatusClass, cls);
    EXPECT_EQ(model.StatusCode, code);
}

void ResponderLinkFixture::WaitForStrayBytes(std::size_t n)
{
    // Each arrival at the stray watch wakes the loop. The fake clock stands
    // still meanwhile: bytes that never come end in the test's time limit.
    ASSERT_TRUE(loop.pumpUntil([&] { return port->StrayBytes() >= n; })) << port->StrayBytes();
}

void ResponderLinkFixture::AnswerInTurn(std::vector<std::string> answers)
{
    responder->SetScript([answers = std::move(answers)](const std::string&, std::size_t n) {
        return n < answers.size() ? answers[n] : std::string();
    });
}

void ResponderLinkFixture::ExpectResetSucceeds(bool waitsForQuiet)
{
    quietWaits.clear();
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    EXPECT_EQ(cmd->Reply, "0");
    EXPECT_EQ(quietWaits.size(), waitsForQuiet ? 1u : 0u);
    EXPECT_FALSE(com->OutOfStep());
}

} // namespace kyd::link::test

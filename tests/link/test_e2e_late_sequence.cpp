// The sequence of a dispenser that answers a reset 2 s late, on a
// pseudo-terminal, with the link on the fake clock: the late reply reaches
// the line either inside the quiet wait that follows the time-out (when that
// wait is long enough) or right after the next command went out. Each
// command's status must be its own reply's, or a failure.
#include "support_pty_link.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unistd.h>

namespace kyd::link::test {
namespace {

// The command-strings window, also telling the test when a command is out.
class HookedComStrings final : public ComStringsWindow {
public:
    explicit HookedComStrings(FakeComStrings& lines) : lines_(lines) {}
    void AddLine(const std::string& text) override
    {
        lines_.AddLine(text);
        if (text.rfind("Out: ", 0) == 0 && onOut)
            onOut();
    }
    std::function<void()> onOut;

private:
    FakeComStrings& lines_;
};

class E2eLateSequence : public PtyLinkFixture {
protected:
    static constexpr std::int64_t kLateMs = 2000;

    void SetUp() override
    {
        ctx.ComStrings = &hooked_;
        logPath_ = std::filesystem::temp_directory_path() / ("kyd_late_seq_" + std::to_string(::getpid()) + ".log");
        std::filesystem::remove(logPath_);
        options.settings.LoggingEnabled = true;
        options.settings.LogFile = logPath_.string();
        options.settings.TimeStamp = false;
        options.settings.DateStamp = false;
        autoPassQuietWindows = false;
        // The first reset's reply is held back (until the fake clock has
        // reached 2 s after it was sent), and its 1 s time-out passes.
        onFrame = [this](const std::string& frame) {
            std::unique_lock lock(mutex_);
            if (frame.rfind("030", 0) != 0 || heldOnce_)
                return;
            heldOnce_ = true;
            held_ = true;
            loop.postCall([this] { clock.advance(static_cast<std::int64_t>(com->PacketTimeoutTicks()) * 55 + 100); });
            released_.wait(lock, [this] { return !held_; });
        };
        simulator.setFrameLogger([this](bool incoming, const std::string& text) {
            if (incoming)
                return;
            std::lock_guard lock(mutex_);
            sent_.push_back(text.substr(0, text.find('\r')));
            sentChanged_.notify_all();
        });
        // The late reply comes when its time falls inside a quiet window;
        // otherwise the window passes quietly.
        com->QuietWaitHandler = [this](int ms) {
            quietWaits.push_back(ms);
            const std::int64_t now = clock.monotonicMs();
            if (lateDue_ >= 0 && lateDue_ <= now + ms) {
                clock.advance(lateDue_ - now);
                Release();
            } else {
                loop.postCall([this, ms] { clock.advance(ms + 110); });
            }
        };
        OpenPort();
        simulator.withCore([](sim::SimCore& c) {
            c.cassette(1).notes = 50;
            return 0;
        });
    }
    void TearDown() override
    {
        Release();
        std::filesystem::remove(logPath_);
    }
    std::string Log() const
    {
        std::ifstream in(logPath_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    void Release()
    {
        std::lock_guard lock(mutex_);
        if (!held_)
            return;
        held_ = false;
        lateDue_ = -1;
        released_.notify_all();
    }
    // The reply the simulator gave to the frame it received n-th (from 0).
    std::string ReplyTo(std::size_t n)
    {
        simulator.waitForFrames(n + 1, 5000);
        std::unique_lock lock(mutex_);
        sentChanged_.wait_for(lock, std::chrono::seconds(10), [&] { return sent_.size() > n; });
        return n < sent_.size() ? sent_[n] : "<none>";
    }
    // The command's reply, or a failure.
    void ExpectOwnReplyOrFailure(std::size_t frame)
    {
        if (model.StatusClass == 197 && (model.StatusCode == 200 || model.StatusCode == 202))
            return;
        const std::string own = ReplyTo(frame);
        ASSERT_GE(own.size(), 3u) << own;
        EXPECT_EQ(cmd->Reply, own.substr(0, own.size() - 2)) << model.CodeText;
        EXPECT_EQ(comStrings.Lines.back(), "In : " + own);
    }

    HookedComStrings hooked_{comStrings};
    std::filesystem::path logPath_;
    std::mutex mutex_;
    std::condition_variable released_;
    std::condition_variable sentChanged_;
    std::vector<std::string> sent_; // every reply the simulator sent
    bool held_ = false;
    bool heldOnce_ = false;
    std::int64_t lateDue_ = -1;
};

TEST_F(E2eLateSequence, EachCommandIsCreditedOnlyWithItsOwnReply)
{
    lateDue_ = clock.monotonicMs() + kLateMs;
    cmd->SendCommand("0", 1);
    ExpectStatus(197, 200);
    ASSERT_TRUE(com->OutOfStep());
    // Still held when the next command is out: it arrives now.
    hooked_.onOut = [this] { Release(); };

    // The late "030" comes while the deliver waits for a quiet line: it is
    // thrown away and shown, and the deliver gets the simulator's answer to
    // it.
    cmd->SendCommand("3", 180);
    ASSERT_FALSE(quietWaits.empty());
    EXPECT_GE(quietWaits.front(), kLateMs);
    EXPECT_EQ(com->Discarded(), "030\r");
    EXPECT_NE(std::find(comStrings.Lines.begin(), comStrings.Lines.end(), "Discarded: 030<CR>"),
              comStrings.Lines.end());
    ExpectOwnReplyOrFailure(1);
    EXPECT_NE(model.CodeText, "30 Successful Command");
    EXPECT_NE(Log().find("Out: 030\nIn : \nDiscarded: 030<CR>\nOut: 333\nIn : "), std::string::npos) << Log();

    cmd->SendCommand("4", 180);
    ExpectOwnReplyOrFailure(2);
}

// What reached the port after a command had given up is taken from it
// before the next command goes out.
TEST_F(E2eLateSequence, BytesArrivedBetweenCommandsAreTakenFromThePort)
{
    cmd->SendCommand("0", 1);
    ExpectStatus(197, 200);
    Release();
    // The port's stray watch collects them; each arrival wakes the loop.
    ASSERT_TRUE(loop.pumpUntil([this] { return port->StrayBytes() >= 4; }, 10000));
    EXPECT_EQ(port->TakePendingInput(), "030\r");
    EXPECT_EQ(port->Port().InBuffUsed(), 0u);
    EXPECT_EQ(port->StrayBytes(), 0u);
}

} // namespace
} // namespace kyd::link::test

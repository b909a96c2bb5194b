// What the line sends is never lost and never kept without bound, and no
// reply a command's format allows is refused: a scripted device on a
// pseudo-terminal, the link on the fake clock.
#include "support_pty_responder.h"

#include "link/ReplyShape.h"
#include "serial/SioPosix.h"
#include "sim/framing.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace kyd::link::test {
namespace {

namespace fs = std::filesystem;
using sim::frame;

class E2eLineBounds : public ResponderLinkFixture {
protected:
    void SetUp() override { OpenPort(); }
    void TearDown() override
    {
        if (writer_.joinable())
            writer_.join();
        if (!logPath_.empty())
            fs::remove(logPath_);
    }

    // A stray line between exchanges: the link is out of step.
    void PutOutOfStep()
    {
        responder->Write("x\r");
        WaitForStrayBytes(2);
    }
    // Logging on, without stamps, to a file of the test's own.
    void LogToFile()
    {
        logPath_ = fs::temp_directory_path() / ("kyd_bounds_" + std::to_string(::getpid()) + ".log");
        fs::remove(logPath_);
        options.settings.LoggingEnabled = true;
        options.settings.LogFile = logPath_.string();
        options.settings.TimeStamp = false;
        options.settings.DateStamp = false;
    }
    std::string LogText() const
    {
        std::ifstream in(logPath_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The last n lines of the communication-strings window.
    std::vector<std::string> LastLines(std::size_t n) const
    {
        const auto& l = comStrings.Lines;
        return std::vector<std::string>(l.end() - static_cast<std::ptrdiff_t>(std::min(n, l.size())), l.end());
    }
    // Once the reply packet holds n bytes, the fake clock moves past its
    // time-out (run from inside the link's wait): the exchange's, or a quiet
    // window's of windowMs. The packet may collect on the library's dispatch
    // thread, which does not wake the message loop: a waker thread does,
    // blocked on its condition between wake-ups.
    void TimeOutOnceCollected(std::size_t n, int windowMs = 0)
    {
        loop.postCall([this, n, windowMs] {
            std::mutex m;
            std::condition_variable cv;
            bool collected = false;
            std::thread waker([&] {
                std::unique_lock lock(m);
                while (!cv.wait_for(lock, std::chrono::milliseconds(5), [&] { return collected; }))
                    loop.wakeUp();
            });
            const bool got = loop.pumpUntil([&] {
                std::string s;
                port->Packet().GetCollectingString(s);
                return s.size() >= n;
            });
            {
                std::lock_guard lock(m);
                collected = true;
            }
            cv.notify_all();
            waker.join();
            ASSERT_TRUE(got);
            clock.advance(windowMs > 0 ? windowMs + 110 : static_cast<std::int64_t>(com->PacketTimeoutTicks()) * 55 + 100);
        });
    }
    // Writes the bytes to the link from a thread of their own (a large
    // write would block until the link has read the start of it).
    void WriteApart(std::string bytes)
    {
        if (writer_.joinable())
            writer_.join();
        writer_ = std::thread([this, bytes = std::move(bytes)] { responder->Write(bytes); });
    }
    // The descriptor the serial library reads the line from.
    int DeviceFd()
    {
        auto* d = dynamic_cast<sio::TSioPosixDispatcher*>(port->Port().CurrentDispatcher());
        return d ? d->Device().pollFd() : -1;
    }

    fs::path logPath_;
    std::thread writer_;
};

// A device that floods the line for as long as the quiet wait lasts: the
// first part is shown, the rest only counted; the command then goes out.
TEST_F(E2eLineBounds, FloodDuringTheQuietWaitIsShownInPartAndCounted)
{
    LogToFile();
    AnswerInTurn({frame("0"), frame("0")});
    ExpectResetSucceeds(false);
    PutOutOfStep();

    // Five windows each ended by 50,000 bytes and a carriage return, then
    // a quiet one.
    const std::string piece = std::string(50000, '0') + "\r";
    constexpr int kPieces = 5;
    autoPassQuietWindows = false;
    com->QuietWaitHandler = [&](int ms) {
        quietWaits.push_back(ms);
        if (quietWaits.size() <= kPieces)
            WriteApart(piece);
        else
            loop.postCall([this, ms] { clock.advance(ms + 110); });
    };
    quietWaits.clear();
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    EXPECT_EQ(quietWaits.size(), kPieces + 1u);

    const std::uint64_t flood = 2 + kPieces * piece.size(); // the stray line too
    EXPECT_EQ(com->Discarded().size(), kMaxShownBytes);
    EXPECT_EQ(com->Discarded().size() + com->DiscardedDropped(), flood);
    const std::string shown = DiscardedLine(com->Discarded(), com->DiscardedDropped());
    EXPECT_EQ(shown.substr(0, 20), "Discarded: x<CR>0000");
    EXPECT_NE(shown.find(" ... (" + std::to_string(flood - kMaxShownBytes) + " more bytes not shown)"),
              std::string::npos);
    EXPECT_LT(shown.size(), 2 * kMaxShownBytes);
    EXPECT_EQ(LastLines(3), (std::vector<std::string>{shown, "Out: 030", "In : 030"}));
    EXPECT_NE(LogText().find(shown + "\nOut: 030\nIn : 030\n"), std::string::npos);
}

// Bytes the device holds that the library has not read yet when a command
// starts (here held back by the test) are read before the input is purged:
// shown and logged as discarded, and the command waits for a quiet line. A
// lone line feed there is the end of the reply before, and costs nothing.
TEST_F(E2eLineBounds, BytesStillInTheDeviceWhenACommandStartsAreShownNotPurged)
{
    LogToFile();
    AnswerInTurn({frame("0"), frame("0"), frame("0")});
    ExpectResetSucceeds(false);
    const int fd = DeviceFd();
    ASSERT_GE(fd, 0);
    for (const std::string& held : {std::string("x\r"), std::string("\n")}) {
        SCOPED_TRACE(held == "\n" ? "line feed" : "stray line");
        {
            // While the main thread has taken the device's input over, the
            // library's reader leaves it alone; the main thread reads only
            // inside a wait of the link.
            const auto hold = port->Port().CurrentDispatcher()->BeginOwnerInput();
            ASSERT_TRUE(hold);
            responder->Write(held);
            pollfd p{fd, POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 10000), 1);
            ASSERT_EQ(port->StrayBytes(), 0u);
            const std::size_t before = comStrings.Lines.size();
            ExpectResetSucceeds(held != "\n");
            const std::vector<std::string> lines(comStrings.Lines.begin() + static_cast<std::ptrdiff_t>(before),
                                                 comStrings.Lines.end());
            if (held == "\n")
                EXPECT_EQ(lines, (std::vector<std::string>{"Out: 030", "In : 030"}));
            else
                EXPECT_EQ(lines, (std::vector<std::string>{"Discarded: x<CR>", "Out: 030", "In : 030"}));
        }
    }
    EXPECT_NE(LogText().find("Discarded: x<CR>\nOut: 030\nIn : 030\n"), std::string::npos);
    EXPECT_EQ(responder->Frames().size(), 3u);
}

// A reply packet that ends without its carriage return (its time-out, its
// size limit) shows what it had collected, bounded like discarded bytes.
TEST_F(E2eLineBounds, WhatAFailedReplyPacketCollectedIsShownAndLogged)
{
    LogToFile();
    const std::string item = "RD/001" + sim::checksum("RD/001");
    const std::string big(65537, '1');
    AnswerInTurn({"0<", big + "\r", frame("0")});
    TimeOutOnceCollected(2);
    EXPECT_FALSE(cmd->ReadData(1));
    ExpectStatus(197, 200);
    EXPECT_EQ(LastLines(2), (std::vector<std::string>{"Out: " + item, "In : 0<"}));
    EXPECT_NE(LogText().find("Out: " + item + "\nIn : 0<\n"), std::string::npos);

    // Past the packet's limit of 64 KiB.
    EXPECT_FALSE(cmd->ReadData(1));
    EXPECT_FALSE(model.Succeeded());
    const std::string in = LastLines(1)[0];
    EXPECT_EQ(in, "In : " + std::string(kMaxShownBytes, '1') + " ... (" +
                      std::to_string(65536 - kMaxShownBytes) + " more bytes not shown)");
    EXPECT_NE(LogText().find("\n" + in + "\n"), std::string::npos);
    ExpectResetSucceeds(true);
}

// A reply that carries a line feed cannot forge a line of its own in the
// window or the log: control characters are written as <xx>.
TEST_F(E2eLineBounds, ControlCharactersOfAReplyAreWrittenAsCodes)
{
    LogToFile();
    const std::string forged = "7\nIn : 030";
    ASSERT_TRUE(TCom::CheckReply(forged + TCom::Checksum(forged)));
    AnswerInTurn({frame(forged), frame("0")});
    cmd->SendCommand("0", 20);
    ExpectStatus(197, 202);
    const std::string shown = "In : 7<0A>In : 030" + TCom::Checksum(forged);
    EXPECT_EQ(LastLines(1)[0], shown);
    const std::string log = LogText();
    EXPECT_NE(log.find("\n" + shown + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("\nIn : 030"), std::string::npos) << log;
}

// A command the link never wrote (the line did not fall quiet) is shown and
// logged as not sent, without a reply line.
TEST_F(E2eLineBounds, CommandNeverSentIsShownAndLoggedAsNotSent)
{
    LogToFile();
    AnswerInTurn({frame("0")});
    ExpectResetSucceeds(false);
    PutOutOfStep();
    autoPassQuietWindows = false;
    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        loop.postCall([this] {
            clock.advance(1500);
            responder->Write("x\r");
        });
    };
    const std::string item = "RD/003" + TCom::Checksum("RD/003");
    EXPECT_FALSE(cmd->ReadData(3));
    ExpectStatus(197, 200);
    EXPECT_EQ(responder->Frames().size(), 1u);
    EXPECT_FALSE(com->CommandSent());
    EXPECT_EQ(comStrings.Lines.back(), "Not sent: " + item);
    const std::string log = LogText();
    EXPECT_NE(log.find("Not sent: " + item + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Out: " + item), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - std::string("Not sent: " + item + "\n").size()), "Not sent: " + item + "\n");
}

// Formats of records repeated without a limit of their own take at least 64
// records; bounded formats keep their bound, so a flood before a refusal is
// still refused.
TEST_F(E2eLineBounds, RepeatedRecordsAreNotRefusedAndFloodsStillAre)
{
    auto selfTest = [](int records) {
        std::string p = "0" "0123"; // status, clock sensor state and calibration
        for (int r = 0; r < records; ++r)
            p += "EUR020A" "100" "5" "200" "101" "6" "201";
        return p;
    };
    const std::string flood = std::string(2000, '0') + "8";
    ASSERT_TRUE(sim::checksumOk(flood + sim::checksum(flood)));
    AnswerInTurn({frame(selfTest(25)), frame(selfTest(kMaxRepeatedRecords)), frame(flood), frame("0")});
    ASSERT_EQ(selfTest(25).size() - 1, 529u); // the payload
    EXPECT_TRUE(cmd->SendSelfTestData(-1));
    EXPECT_EQ(model.SelfTestData, selfTest(25).substr(1));
    EXPECT_TRUE(cmd->SendSelfTestData(-1));
    EXPECT_EQ(model.SelfTestData, selfTest(kMaxRepeatedRecords).substr(1));
    EXPECT_FALSE(com->OutOfStep());

    EXPECT_FALSE(cmd->ReadData(2));
    ExpectStatus(197, 202);
    ExpectResetSucceeds(true);
    EXPECT_EQ(MaxReplyChars("RD/002"), TCom::kMaxReplyChars);
    EXPECT_EQ(MaxReplyChars("0"), TCom::kMaxReplyChars);
}

// A device that ends its lines with CR LF and writes the LF on its own: the
// LF comes once the next command is out, at the start of its reply, or
// while the link waits for a quiet line. Either way it ends the line before
// and is dropped.
TEST_F(E2eLineBounds, LateLineFeedOfACrLfDeviceCostsNothing)
{
    std::vector<std::string> answers{frame("0")};
    for (int i = 0; i < 10; ++i)
        answers.push_back("\n" + frame("0"));
    AnswerInTurn(answers);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        ExpectResetSucceeds(false);
    }
    EXPECT_EQ(std::count_if(comStrings.Lines.begin(), comStrings.Lines.end(),
                            [](const std::string& l) { return l != "Out: 030" && l != "In : 030"; }),
              0);

    // A lone line feed in a quiet window: the window was quiet.
    PutOutOfStep();
    autoPassQuietWindows = false;
    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        if (quietWaits.size() == 1)
            responder->Write("\n");
        TimeOutOnceCollected(quietWaits.size() == 1 ? 1 : 0, ms);
    };
    ExpectResetSucceeds(true);
    EXPECT_EQ(LastLines(3), (std::vector<std::string>{"Discarded: x<CR>", "Out: 030", "In : 030"}));
}

} // namespace
} // namespace kyd::link::test

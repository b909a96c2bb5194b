// The simulator on a pseudo-terminal, with every fault hook, talked to by a
// minimal client on the slave side.

#include "support_client.h"

#include "platform/pty_modem.h"
#include "sim/pty_transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kyd::sim;
using simtest::framed;
using simtest::nowMs;
using simtest::PtyClient;

namespace {

class Pty : public ::testing::Test {
protected:
    Simulator sim;
    std::string link = "/tmp/kydsim-test-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    PtyTransport transport{sim, link};
    PtyClient client{link};

    void SetUp() override { ASSERT_TRUE(client.isOpen()); }
};

TEST_F(Pty, AnswersThroughTheLinkAndSurvivesReopening)
{
    EXPECT_EQ(transport.devicePath(), link);
    EXPECT_EQ(client.exchange("0"), "0");
    EXPECT_EQ(client.exchange("5").size(), 1u + 4 * 7);
    // Line feeds and empty lines are ignored, also around a frame.
    client.write("\r\n" + framed("X") + "\n");
    EXPECT_EQ(client.readReply(500), framed("8"));
    EXPECT_EQ(client.readFor(30), "");
    // The tester closes and reopens the port: the simulator keeps answering.
    client.close();
    for (int i = 0; i < 3; ++i) {
        PtyClient again(link);
        ASSERT_TRUE(again.isOpen());
        EXPECT_EQ(again.exchange("0"), "0");
    }
}

TEST_F(Pty, SilentForTheNextFrameOnly)
{
    sim.updateFaults([](SimFaults& f) { f.silent = 1; });
    client.write(framed("0"));
    EXPECT_EQ(client.readFor(80), "");
    EXPECT_EQ(client.exchange("0"), "0");
    EXPECT_EQ(sim.frameLog().size(), 2u); // the unanswered frame was logged too
}

TEST_F(Pty, HangUpMidReplyThenANewLine)
{
    sim.updateFaults([](SimFaults& f) { f.hangUp = 1; });
    client.write(framed("Q"));
    EXPECT_TRUE(client.waitHangUp(1000));
    ASSERT_TRUE(transport.waitForHangUps(1, 1000));
    EXPECT_EQ(transport.hangUps(), 1);
    client.close();
    // The link now points at a fresh line that works.
    PtyClient again(link);
    ASSERT_TRUE(again.isOpen());
    EXPECT_EQ(again.exchange("0"), "0");
}

TEST_F(Pty, ScriptedStatusOnceAndAlways)
{
    ScriptedStatus once;
    once.pattern = "1*";
    once.nth = 2;
    once.status = '6';
    ScriptedStatus always;
    always.pattern = ":";
    always.nth = 1;
    always.status = 'M';
    always.always = true;
    sim.updateFaults([&](SimFaults& f) { f.scripted = {once, always}; });
    sim.withCore([](SimCore& c) { c.config().takeNotesAfterMs = 0; });
    ASSERT_EQ(client.exchange("8"), "0");
    EXPECT_EQ(client.exchange("101001")[0], '0');
    EXPECT_EQ(client.exchange("101001"), "6"); // the second dispense fails, nothing fed
    EXPECT_EQ(client.exchange("101001")[0], '0');
    EXPECT_EQ(sim.withCore([](SimCore& c) { return c.cassette(1).notes; }), 498);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(client.exchange(":"), "M");
    EXPECT_EQ(client.exchange("K"), "M");
}

TEST_F(Pty, ScriptedStatusKeepingThePayload)
{
    ScriptedStatus s;
    s.pattern = "6";
    s.status = '4';
    s.execute = true;
    sim.updateFaults([&](SimFaults& f) { f.scripted = {s}; });
    client.exchange("8");
    client.exchange("101003");
    EXPECT_EQ(client.exchange("6"), "410003");
}

TEST_F(Pty, CommandHookRunsBeforeTheReply)
{
    // A test "presses Abort" on receipt: here it silences the line, so the
    // frame that triggered it goes unanswered.
    std::atomic<int> calls{0};
    sim.setCommandHook([&](const std::string& frame) {
        if (frame == "D00" + simtest::cs("D00"))
            sim.updateFaults([](SimFaults& f) { f.silent = 1; });
        ++calls;
    });
    EXPECT_EQ(client.exchange("0"), "0");
    client.write(framed("D00"));
    EXPECT_EQ(client.readFor(60), "");
    EXPECT_EQ(calls.load(), 2);
    EXPECT_EQ(sim.frameLog(), (std::vector<std::string>{"030", "D00" + simtest::cs("D00")}));
}

TEST_F(Pty, CtsFaultsReachTheModemLineRegistry)
{
    const std::string slave = transport.slavePath();
    EXPECT_FALSE(kyd::platform::ptyCtsOverride(slave).has_value());
    sim.updateFaults([](SimFaults& f) { f.ctsLow = true; });
    auto o = kyd::platform::ptyCtsOverride(slave);
    ASSERT_TRUE(o.has_value());
    EXPECT_EQ(o->forcedCts, std::optional<bool>(false));
    sim.updateFaults([](SimFaults& f) {
        f.ctsLow = false;
        f.ctsDelayMs = 40;
    });
    o = kyd::platform::ptyCtsOverride(slave);
    ASSERT_TRUE(o.has_value());
    EXPECT_FALSE(o->forcedCts.has_value());
    EXPECT_EQ(o->riseDelayMs, 40);
    sim.updateFaults([](SimFaults& f) { f.ctsDelayMs = 0; });
    EXPECT_FALSE(kyd::platform::ptyCtsOverride(slave).has_value());
}

TEST(PtyPacing, RepliesLikeAUartOnAnAbsoluteLineClock)
{
    // 9600 baud, 10 bits: 1041.7 us per character, on a line clock that
    // only moves when the simulator waits on it.
    Simulator sim;
    sim.setPacing({9600, 10});
    FakeLineClock line;
    PtyTransport transport{sim, {}, &line};
    PtyClient client{transport.slavePath()};
    ASSERT_TRUE(client.isOpen());
    const auto at = [](std::size_t chars) { return LinePacing{9600, 10}.arrivalUs(chars - 1); };
    // Each reply character k leaves (k + 1) character times after the reply
    // starts, which is when the command's last character has arrived.
    const auto expectReply = [&](std::size_t from, std::int64_t commandWrittenUs) {
        const auto w = line.writes();
        ASSERT_EQ(w.size(), from + 4);
        const std::int64_t start = commandWrittenUs + at(4);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_EQ(w[from + k].atUs, start + at(k + 1)) << "character " << k;
    };
    EXPECT_EQ(client.exchange("0"), "0"); // "000\r" -> "000\r"
    expectReply(0, 0);
    // The next command is taken as soon as it is written, not a character
    // time later: a client that answers at once keeps the line busy.
    const std::int64_t end1 = line.nowUs();
    EXPECT_EQ(end1, at(8));
    EXPECT_EQ(client.exchange("0"), "0");
    expectReply(4, end1);
    // A client 1 ms late shows up in full in the line's time.
    line.advance(1000);
    const std::int64_t late = line.nowUs();
    EXPECT_EQ(client.exchange("0"), "0");
    expectReply(8, late);
    EXPECT_EQ(line.nowUs(), 3 * at(8) + 1000);
}

TEST(PtyPacing, WithoutARateTheLinesOwnRateAndCharacterSizeCount)
{
    Simulator sim;
    LinePacing follow;
    follow.followLine = true;
    sim.setPacing(follow);
    FakeLineClock line;
    PtyTransport transport{sim, {}, &line};
    PtyClient client{transport.slavePath()};
    ASSERT_TRUE(client.isOpen());
    // The line as a program sets it: 4800 baud, 8 data bits, two stop bits.
    const int fd = ::open(transport.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    ::cfmakeraw(&t);
    t.c_cflag |= CSTOPB;
    ::cfsetispeed(&t, B4800);
    ::cfsetospeed(&t, B4800);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    EXPECT_EQ(client.exchange("0"), "0");
    ::close(fd);
    const auto w = line.writes();
    ASSERT_EQ(w.size(), 4u);
    // 11 bits a character at 4800 baud.
    const LinePacing expected{4800, 11};
    for (std::size_t k = 1; k < 4; ++k)
        EXPECT_EQ(w[k].atUs - w[0].atUs, expected.arrivalUs(k) - expected.arrivalUs(0)) << "character " << k;
}

TEST_F(Pty, StopEndsTheThreadWhileAReplyIsDelayed)
{
    sim.updateFaults([](SimFaults& f) { f.delayMs = 10000; });
    client.write(framed("0"));
    ASSERT_TRUE(sim.waitForFrames(1, 1000));
    long long t0 = nowMs();
    transport.stop();
    EXPECT_LT(nowMs() - t0, 500);
}

} // namespace

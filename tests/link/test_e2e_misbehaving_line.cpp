// A device that misbehaves on the line, scripted on a pseudo-terminal, with
// the link on the fake clock: every command ends as a failure or with its
// own reply, never with another command's or with a success the device did
// not send, and a normal exchange still succeeds afterwards.
#include "support_pty_responder.h"

#include "serial/SioPacket.h"
#include "sim/framing.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kyd::link::test {
namespace {

namespace fs = std::filesystem;
using sim::frame;

class E2eMisbehavingLine : public ResponderLinkFixture {
protected:
    void SetUp() override { OpenPort(); }

    // The command failed as a corrupt reply; the reply as received is
    // shown, its control characters and 8-bit bytes written as <xx>.
    void ExpectCorrupt(const std::string& received)
    {
        ExpectStatus(197, 202);
        EXPECT_EQ(cmd->Reply, "");
        EXPECT_FALSE(model.Succeeded());
        EXPECT_TRUE(com->OutOfStep());
        EXPECT_EQ(comStrings.Lines.back(), "In : " + ShownText(received));
    }
};

// The device answers twice: the copy of a reply comes once the next command
// is out, and that command's own reply comes while no command waits. The
// first mis-credit cannot be told (the protocol has no sequence number),
// but the bytes between the exchanges are shown and logged as discarded,
// the link waits for a quiet line, and the command after gets its own.
TEST_F(E2eMisbehavingLine, DeviceAnsweringTwiceLeavesTheCommandAfterWithItsOwnReply)
{
    const fs::path log = fs::temp_directory_path() / ("kyd_twice_" + std::to_string(::getpid()) + ".log");
    fs::remove(log);
    options.settings.LoggingEnabled = true;
    options.settings.LogFile = log.string();
    options.settings.TimeStamp = false;
    options.settings.DateStamp = false;
    const std::string throat = ":" + TCom::Checksum(":");
    AnswerInTurn({frame("0"),
                  frame("0") + frame("M"), // the reset's copy, then the deliver's own, at once
                  frame("g"),
                  frame("0")}); // the reset's copy; the deliver's own is written apart below
    ExpectResetSucceeds(false);
    for (const bool apart : {false, true}) {
        SCOPED_TRACE(apart ? "own reply written apart" : "own reply right behind the copy");
        cmd->SendCommand("3", 180); // takes the copy: nothing tells it apart
        if (apart) {
            responder->SetScript([](const std::string&, std::size_t) { return frame("g"); });
            responder->Write(frame("M"));
        }
        WaitForStrayBytes(4);
        quietWaits.clear();
        cmd->SendCommand(":", 5);
        EXPECT_EQ(quietWaits.size(), 1u);
        ExpectStatus(195, 'g');
        EXPECT_EQ(cmd->Reply, "g");
        EXPECT_FALSE(com->OutOfStep());
        ASSERT_GE(comStrings.Lines.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(comStrings.Lines.end() - 3, comStrings.Lines.end()),
                  (std::vector<std::string>{"Discarded: M4=<CR>", "Out: " + throat, "In : " + frame("g").substr(0, 3)}));
    }
    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Discarded: M4=<CR>\nOut: " + throat + "\nIn : g"), std::string::npos) << text.str();
    fs::remove(log);
}

// A device that ends its lines with a line feed after the carriage return
// (written with the reply, so it comes in the same read) costs nothing: the
// line feed answers nothing and is no noise.
TEST_F(E2eMisbehavingLine, LineFeedBehindTheCarriageReturnIsNoStrayByte)
{
    AnswerInTurn({frame("0") + "\n", frame("0") + "\n", frame("M") + "\n"});
    ExpectResetSucceeds(false);
    ExpectResetSucceeds(false);
    cmd->SendCommand("3", 180);
    ExpectStatus(196, 'M');
    EXPECT_TRUE(quietWaits.empty());
    EXPECT_EQ(std::count_if(comStrings.Lines.begin(), comStrings.Lines.end(),
                            [](const std::string& l) { return l.rfind("Discarded", 0) == 0; }),
              0);
}

// The checksum is an exclusive-or: a NUL (also what a line break reads as)
// changes nothing in it, and two equal bytes cancel. The line carries 7-bit
// printable text, so any other byte before the carriage return makes the
// reply corrupt.
TEST_F(E2eMisbehavingLine, BytesTheChecksumCannotSeeMakeTheReplyCorrupt)
{
    const std::vector<std::string> corrupt = {
        std::string("0\0", 2) + "30", // a NUL
        "0\xC1\xC1" "30",             // two bytes above 0x7F that cancel
        "0\x85\x85" "30",
        "0\n" + TCom::Checksum("0\n"), // control characters
        "0\t" + TCom::Checksum("0\t"),
        "0\x7F" + TCom::Checksum("0\x7F"),
        "\xB0" + TCom::Checksum("\xB0"), // the status character itself
    };
    std::vector<std::string> answers;
    for (const std::string& c : corrupt) {
        ASSERT_TRUE(TCom::CheckReply(c)) << c;
        answers.push_back(c + "\r");
        answers.push_back(frame("0"));
    }
    AnswerInTurn(answers);
    for (const std::string& c : corrupt) {
        SCOPED_TRACE(c);
        cmd->SendCommand("0", 20);
        ExpectCorrupt(c);
        ExpectResetSucceeds(true);
    }
}

// A reply longer than any command has is corrupt, whatever its checksum: a
// run of '0' cancels in it, so a flood of them before a failure reply read
// as a success (here the reply to a dispense, which takes a payload).
TEST_F(E2eMisbehavingLine, ReplyLongerThanAnyCommandHasIsCorrupt)
{
    const std::string flood = std::string(4000, '0') + "7";
    const std::string longest = "0/" + std::string(TCom::kMaxReplyChars - 4, '1'); // with the checksum
    const std::string dispense = "101002";
    const std::string item = "RD/311";
    AnswerInTurn({frame(flood), frame("0"), frame(longest), frame(longest + "1"), frame("0")});
    cmd->Dispense('1', '0', {2, 0, 0, 0, 0, 0, 0, 0});
    ExpectCorrupt(flood + TCom::Checksum(flood));
    EXPECT_NE(model.CodeText, "30 Successful Command");
    ExpectResetSucceeds(true);

    EXPECT_TRUE(cmd->ReadData(311));
    EXPECT_TRUE(model.Succeeded()) << model.CodeText;
    EXPECT_EQ(model.ReadData, longest.substr(1));
    EXPECT_FALSE(cmd->ReadData(311));
    ExpectCorrupt(longest + "1" + TCom::Checksum(longest + "1"));
    ExpectResetSucceeds(true);
    const std::vector<std::string> frames = responder->Frames();
    EXPECT_EQ(frames, (std::vector<std::string>{dispense + TCom::Checksum(dispense), "030", item + TCom::Checksum(item),
                                                item + TCom::Checksum(item), "030"}));
}

// The longest replies the formats allow are no flood: a status table that
// counts every status code (65 records of 5 characters) and a reject table
// that counts every two-digit reason (100 records) are read whole.
TEST_F(E2eMisbehavingLine, FullStatusAndRejectTablesAreNoCorruptReplies)
{
    std::string statusTable = "0/";
    for (int code = 0x30; code <= 0x70; ++code) {
        static const char hex[] = "0123456789ABCDEF";
        statusTable += hex[code >> 4];
        statusTable += hex[code & 15];
        statusTable += "001";
    }
    std::string rejectTable = "0/";
    for (int code = 0; code < 100; ++code)
        rejectTable += std::to_string(code / 10) + std::to_string(code % 10) + "002";
    ASSERT_EQ(statusTable.size() + 2, 329u);
    ASSERT_EQ(rejectTable.size() + 2, 504u);
    AnswerInTurn({frame(statusTable), frame(rejectTable)});
    EXPECT_TRUE(cmd->ReadData(301));
    EXPECT_EQ(model.ReadData, statusTable.substr(1));
    EXPECT_FALSE(com->OutOfStep());
    EXPECT_TRUE(cmd->ReadData(300));
    EXPECT_EQ(model.ReadData, rejectTable.substr(1));
    EXPECT_FALSE(com->OutOfStep());
}

// A line that never falls quiet (here a stray line 1.5 s into every quiet
// window) holds the command a few seconds at most and fails it unsent; the
// operator's abort ends the wait at once; the link stays out of step until
// an exchange ends well.
TEST_F(E2eMisbehavingLine, LineThatNeverFallsQuietFailsTheCommandUnsentWithinSeconds)
{
    responder->SetScript([](const std::string& f, std::size_t) { return f == "030" ? frame("0") : std::string(); });
    ExpectResetSucceeds(false);
    responder->Write("x\r"); // between exchanges: out of step
    WaitForStrayBytes(2);

    autoPassQuietWindows = false;
    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        loop.postCall([this] {
            clock.advance(1500);
            responder->Write("x\r");
        });
    };
    quietWaits.clear();
    const std::int64_t start = clock.monotonicMs();
    cmd->SendCommand("0", 20);
    ExpectStatus(197, 200);
    EXPECT_EQ(cmd->Reply, "");
    EXPECT_LE(clock.monotonicMs() - start, 6000);
    EXPECT_GE(quietWaits.size(), 2u);
    EXPECT_LE(quietWaits.size(), 3u);
    EXPECT_TRUE(com->OutOfStep());
    EXPECT_FALSE(cmd->Busy());
    EXPECT_EQ(responder->Frames().size(), 1u); // nothing went out
    EXPECT_NE(std::find(comStrings.Lines.begin(), comStrings.Lines.end(), "Discarded: x<CR>x<CR>x<CR>x<CR>"),
              comStrings.Lines.end());

    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        loop.postCall([this] { cmd->Abort(); });
    };
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 205);
    EXPECT_TRUE(com->OutOfStep());
    EXPECT_EQ(responder->Frames().size(), 1u);

    autoPassQuietWindows = true;
    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        loop.postCall([this, ms] { clock.advance(ms + 110); });
    };
    ExpectResetSucceeds(true);
    EXPECT_EQ(responder->Frames().size(), 2u);
}

// A few stray lines that end quiet windows one after the other, then
// silence: the line has fallen quiet within the time a noisy line is given,
// so the command goes out and gets its own reply.
TEST_F(E2eMisbehavingLine, StrayLinesInQuickSuccessionThenQuietLetTheCommandGoOut)
{
    responder->SetScript([](const std::string& f, std::size_t) { return f == "030" ? frame("0") : std::string(); });
    ExpectResetSucceeds(false);
    responder->Write("x\r");
    WaitForStrayBytes(2);

    autoPassQuietWindows = false;
    com->QuietWaitHandler = [this](int ms) {
        quietWaits.push_back(ms);
        if (quietWaits.size() <= 3)
            loop.postCall([this] { responder->Write("x\r"); }); // ends the window at once
        else
            loop.postCall([this, ms] { clock.advance(ms + 110); });
    };
    quietWaits.clear();
    cmd->SendCommand("0", 20);
    ExpectStatus(195, 48);
    EXPECT_EQ(cmd->Reply, "0");
    EXPECT_EQ(quietWaits.size(), 4u);
    EXPECT_FALSE(com->OutOfStep());
    EXPECT_EQ(responder->Frames().size(), 2u);
}

// The port lent to another user (the firmware downloader closes it and
// opens it with its own settings and packets): the stray watch is stopped,
// so every byte is the borrower's; the link's own open starts it again.
TEST_F(E2eMisbehavingLine, PortLentToAnotherUserHasNoStrayWatch)
{
    sio::TSioComPort& lent = port->Port();
    lent.SetOpen(false);
    lent.SetDataBits(8);
    lent.SetParity(sio::pNone);
    lent.SetOpen(true);
    // The borrower's packet starts at an 'A' (a running watch would take
    // that byte first, being earlier in the port's list).
    sio::TSioDataPacket borrowers;
    borrowers.SetStartCond(sio::scString);
    borrowers.SetStartString("A");
    borrowers.SetEndCond(sio::ecString);
    borrowers.SetEndString("\r");
    borrowers.SetTimeOut(0);
    std::string got;
    borrowers.SetOnStringPacket([&](sio::TSioDataPacket&, const std::string& text) { got = text; });
    borrowers.SetComPort(&lent);
    borrowers.SetEnabled(true);
    responder->Write("AB\r");
    ASSERT_TRUE(loop.pumpUntil([&] { return !got.empty() || port->StrayBytes() > 0; }));
    EXPECT_EQ(got, "AB\r");
    EXPECT_EQ(port->StrayBytes(), 0u);
    borrowers.SetComPort(nullptr);

    AnswerInTurn({frame("0")});
    OpenPort(); // the link's own settings again
    responder->Write("x\r");
    WaitForStrayBytes(2);
    ExpectResetSucceeds(true);
}

} // namespace
} // namespace kyd::link::test

// One exchange through the command layer: lines shown, status classified,
// faults of the line, abort, busy state, and the port that is not open.
#include "serial/SioExcept.h"
#include "support_fixture.h"

#include <set>

namespace kyd::link::test {
namespace {

class CommandLayer : public LinkFixture {
protected:
    void SetUp() override { OpenPort(); }

    // The exchange ended cleanly: busy cleared everywhere, one status shown.
    void ExpectEnded(std::size_t exchanges = 1)
    {
        EXPECT_FALSE(cmd->Busy());
        EXPECT_FALSE(mainWindow.Busy());
        EXPECT_EQ(mainWindow.StatusTexts.size(), exchanges);
    }

    // The next command works normally.
    void ExpectNextWorks()
    {
        port->onWrite = nullptr;
        cmd->SendCommand("0", 5);
        EXPECT_EQ(LastFrame(), "030\r");
        EXPECT_EQ(cmd->Reply, "0");
        ExpectStatus(195, 48);
    }
};

TEST_F(CommandLayer, SuccessfulExchange)
{
    port->QueueReply("0");
    cmd->SendCommand("3", 180);
    EXPECT_EQ(LastFrame(), "333\r");
    EXPECT_EQ(comStrings.Lines, (std::vector<std::string>{"Out: 333", "In : 030"}));
    EXPECT_EQ(cmd->Reply, "0");
    ExpectStatus(195, 48);
    EXPECT_EQ(model.CodeText, "30 Successful Command");
    EXPECT_TRUE(model.Succeeded());
    EXPECT_EQ(mainWindow.BusyCalls, (std::vector<int>{1, 0}));
    ASSERT_EQ(mainWindow.StatusTexts.size(), 1u);
    EXPECT_EQ(mainWindow.StatusTexts[0].first, "0");
    EXPECT_EQ(mainWindow.StatusTexts[0].second, "30 Successful Command");
    ExpectEnded();
}

TEST_F(CommandLayer, RejectAndIllegalFlagsDecideClass)
{
    port->QueueReply("4");
    cmd->SendCommand("3", 5);
    EXPECT_EQ(model.StatusClass, 195);
    cmd->RejectIsError = true;
    port->QueueReply("4");
    cmd->SendCommand("3", 5);
    EXPECT_EQ(model.StatusClass, 197);
    EXPECT_EQ(model.CodeText, "34 Rejected Notes");

    port->QueueReply("8");
    cmd->SendCommand("3", 5);
    EXPECT_EQ(model.StatusClass, 197);
    cmd->IgnoreIllegal = true;
    port->QueueReply("8");
    cmd->SendCommand("3", 5);
    EXPECT_EQ(model.StatusClass, 195);
}

TEST_F(CommandLayer, EveryStatusByteHasOneOfTheClasses)
{
    std::set<int> classes;
    for (int c = 0; c < 256; ++c) {
        cmd->ClassifyReply(static_cast<char>(c));
        classes.insert(model.StatusClass);
        EXPECT_EQ(model.StatusCode, c);
    }
    EXPECT_EQ(classes, (std::set<int>{195, 196, 197, 198, 199, 203}));
    const std::pair<char, int> examples[] = {{'0', 195}, {'2', 196}, {'7', 197}, {'6', 198},
                                             {'5', 199}, {'p', 199}, {'X', 203}, {'\xC8', 203}};
    for (auto [c, cls] : examples) {
        cmd->ClassifyReply(c);
        EXPECT_EQ(model.StatusClass, cls) << c;
    }
    EXPECT_EQ(model.CodeText, "Unknown Status  C8");
}

TEST_F(CommandLayer, UnknownStatusAndFatalMark)
{
    port->QueueReply("X");
    cmd->SendCommand("3", 5);
    ExpectStatus(203, 88);
    EXPECT_EQ(model.CodeText, "Unknown Status  58");
    EXPECT_EQ(model.FatalMark, 0);
    port->QueueReply("p");
    cmd->SendCommand("3", 5);
    ExpectStatus(199, 112);
    EXPECT_EQ(model.FatalMark, 3);
}

TEST_F(CommandLayer, WaitDoesNotEndBeforeTheTimeOut)
{
    // One tick short of the time-out: the wait goes on until the backstop
    // of the link would end it; the packet's own time-out fires first.
    port->QueueSilence();
    bool endedEarly = true;
    port->onWrite = [this, &endedEarly](const std::string&) {
        loop.postCall([this] { clock.advance(99 * 55 - 1); });
        loop.postCall([this, &endedEarly] {
            endedEarly = !cmd->Busy();
            clock.advance(1);
        });
    };
    cmd->SendCommand("3", 5);
    EXPECT_FALSE(endedEarly);
    ExpectStatus(197, 200);
}

TEST_F(CommandLayer, BadChecksumOnShortReplyIsNoConnection)
{
    port->QueueRaw({"01\r"});
    cmd->SendCommand("3", 5);
    ExpectStatus(197, 200);
    EXPECT_EQ(cmd->Reply, "");
    ExpectNextWorks();
}

TEST_F(CommandLayer, BareCarriageReturnEndsTheWaitAtOnce)
{
    port->QueueRaw({"\r"});
    const auto before = clock.monotonicMs();
    cmd->SendCommand("3", 180);
    EXPECT_EQ(clock.monotonicMs(), before); // no time-out was needed
    EXPECT_EQ(comStrings.Lines.back(), "In : ");
    ExpectStatus(197, 200);
    ExpectEnded();
    ExpectNextWorks();
}

TEST_F(CommandLayer, EmptyReplyWithGoodChecksumIsNoConnection)
{
    port->QueueRaw({"00\r"});
    cmd->SendCommand("3", 5);
    EXPECT_EQ(comStrings.Lines.back(), "In : 00");
    EXPECT_EQ(cmd->Reply, "");
    ExpectStatus(197, 200);
    ExpectEnded();
    ExpectNextWorks();
}

TEST_F(CommandLayer, PartialReplyThenLineDeadTimesOut)
{
    port->QueueRaw({"03"});
    StepClockOnWrite(TCom::TimeoutTicks(20) * 55);
    cmd->SendCommand("3", 20);
    ExpectStatus(197, 200);
    ExpectEnded();
    ExpectNextWorks();
}

TEST_F(CommandLayer, AbortMidExchangeIsCancelledNotSuccess)
{
    port->QueueRaw({"030\r"}); // arrives after the abort
    port->onWrite = [this](const std::string&) { loop.postCall([this] { cmd->Abort(); }); };
    cmd->SendCommand("3", 180);
    EXPECT_EQ(cmd->Reply, "");
    ExpectStatus(195, 205);
    EXPECT_EQ(model.CodeText, "Communication Canceled");
    EXPECT_FALSE(model.Succeeded());
    EXPECT_FALSE(port->packetEnabled());
    ExpectEnded();
    // The late reply of the cancelled command is flushed, never taken as
    // the reply of the next one.
    port->onWrite = nullptr;
    port->QueueReply("2");
    cmd->SendCommand("5", 20);
    EXPECT_EQ(cmd->Reply, "2");
    ExpectStatus(196, 50);
}

TEST_F(CommandLayer, AbortDuringCtsWaitWithHandshake)
{
    OpenPort(true);
    port->ctsHeldLow = true;
    port->onRtsRaised = [this] { loop.postCall([this] { cmd->Abort(); }); };
    cmd->SendCommand("3", 5);
    EXPECT_TRUE(port->written.empty());
    ExpectStatus(195, 205);
    ExpectEnded();
}

TEST_F(CommandLayer, SecondCommandWhileBusyIsDropped)
{
    port->QueueReply("0");
    port->onWrite = [this](const std::string&) {
        loop.postCall([this] {
            cmd->SendCommand("5", 5);
            cmd->ReadLastStatus();
        });
    };
    cmd->SendCommand("3", 5);
    EXPECT_EQ(port->written, (std::vector<std::string>{"333\r"}));
    EXPECT_EQ(comStrings.Lines.size(), 2u);
    ExpectEnded();
}

TEST_F(CommandLayer, QuitWhileWaitingCancelsTheCommand)
{
    port->QueueSilence();
    port->onWrite = [this](const std::string&) { loop.postCall([this] { loop.requestQuit(); }); };
    cmd->SendCommand("3", 180);
    ExpectStatus(195, 205);
    ExpectEnded();
}

} // namespace
} // namespace kyd::link::test

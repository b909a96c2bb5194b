// The dispatcher core on an in-memory device, single-threaded, fake clock.
#include "serial/SioExcept.h"
#include "support_dispatch_core.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

TEST_F(Core, SetLineWithValuesInForceDoesNotTouchTheDevice)
{
    const int calls = st->setSettingsCalls;
    EXPECT_EQ(0, d->SetLine(9600, static_cast<int>(Parity::Even), 1, 7));
    EXPECT_EQ(0, d->ChangeBaud(0));
    EXPECT_EQ(calls, st->setSettingsCalls);
    EXPECT_EQ(0, d->SetLine(19200, 5, 3, 9));
    EXPECT_EQ(19200u, st->settings.baud);
    EXPECT_EQ(7, st->settings.dataBits); // unchanged values kept
    EXPECT_EQ(2, d->SetLine(0, 5, 2, 9) == 0 ? st->settings.stopBits : 0);
    // Five data bits take one and a half stop bits (sent as 2), whatever
    // was asked for.
    ASSERT_EQ(0, d->SetLine(0, 5, 1, 5));
    EXPECT_EQ(5, st->settings.dataBits);
    EXPECT_EQ(2, st->settings.stopBits);
    std::uint32_t baud;
    Parity p;
    std::uint16_t db, sb;
    ASSERT_EQ(0, d->GetLine(baud, p, db, sb));
    EXPECT_EQ(2, sb);
}

TEST_F(Core, RefusedBaudRateIsReported)
{
    st->refuseBaudAbove = true;
    st->refuseLimit = 115200;
    EXPECT_EQ(ecodes::ecBaudRate, d->ChangeBaud(230400));
    // The shadow follows the device, so asking again is not "unchanged".
    EXPECT_EQ(ecodes::ecBaudRate, d->ChangeBaud(230400));
    EXPECT_EQ(0, d->ChangeBaud(57600));
}

TEST_F(Core, BaudZeroReadBackNeverDividesByZero)
{
    auto st2 = std::make_shared<FakeDeviceState>();
    st2->settings.baud = 0;
    TSioPosixDispatcher d2(nullptr, std::make_unique<FakeSerialDevice>(st2));
    d2.SetManualThreads(true);
    ASSERT_EQ(0, d2.InitPort("/dev/fake2", 0, Parity::None, 8, 1, 4096, 4096, 0));
    ASSERT_EQ(0, d2.PutString("x"));
    d2.WriterStep();
    EXPECT_EQ(0, d2.SetLine(0, static_cast<int>(Parity::Odd), 3, 9));
}

TEST_F(Core, DispatchBufferFillsExactlyAndWaitsForRoom)
{
    st->push(std::vector<std::uint8_t>(kDispatchBufferSize + 100, 'x'));
    for (int i = 0; i < 10; ++i)
        pump();
    EXPECT_EQ(kDispatchBufferSize, d->InBuffUsed());
    EXPECT_EQ(0u, d->InBuffFree());
    EXPECT_TRUE(d->ExtractData()); // full: reports true, reads nothing
    EXPECT_EQ(kDispatchBufferSize, d->InBuffUsed());
    std::vector<std::uint8_t> buf(100);
    EXPECT_EQ(100, d->GetBlock(buf.data(), 100));
    pump();
    EXPECT_EQ(kDispatchBufferSize, d->InBuffUsed()); // the rest came in
    EXPECT_EQ(0u, d->InQueueUsed());
}

// Bytes that came while nobody listened are announced to the first handler
// registered, even when the full buffer takes in nothing more.
TEST_F(Core, HandlerRegisteredWhileAFullBufferWaitsIsTold)
{
    d->ChangeLengthTrigger(1);
    st->push(std::vector<std::uint8_t>(kDispatchBufferSize + 10, 'x'));
    for (int i = 0; i < 10; ++i)
        pump();
    ASSERT_EQ(kDispatchBufferSize, d->InBuffUsed());
    listen(100);
    d->DispatchInputPass();
    ASSERT_EQ(1u, only(kMsgTriggerAvail).size());
    EXPECT_EQ(kDispatchBufferSize, only(kMsgTriggerAvail)[0].second);
    EXPECT_EQ(100u, read.size());
    d->DispatchInputPass(); // the room made lets the rest in, announced as new
    ASSERT_EQ(2u, only(kMsgTriggerAvail).size());
    EXPECT_EQ(kDispatchBufferSize - 90, only(kMsgTriggerAvail)[1].second);
}

TEST_F(Core, HandlerRegisteredWhileBytesWaitIsToldOnceOnly)
{
    d->ChangeLengthTrigger(1);
    feed("early");
    listen();
    pump();
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(5u, notes[0].second);
    pump(); // read nothing: not announced again until more arrive
    EXPECT_EQ(1u, notes.size());
    // A second handler hears of them as well.
    std::vector<std::uint32_t> second;
    d->RegisterEventTriggerHandler(&second, [&](std::uint32_t m, std::uint32_t n, std::int32_t) {
        if (m == kMsgTriggerAvail)
            second.push_back(n);
    });
    pump();
    EXPECT_EQ(std::vector<std::uint32_t>{5}, second);
}

TEST_F(Core, ReadingOperations)
{
    feed("abc");
    std::uint8_t c = 0;
    EXPECT_TRUE(d->CharReady());
    EXPECT_EQ(0, d->PeekChar(c, 2));
    EXPECT_EQ('b', c);
    EXPECT_EQ(ecodes::ecBufferIsEmpty, d->PeekChar(c, 4));
    std::uint8_t block[4] = {};
    EXPECT_EQ(ecodes::ecBufferIsEmpty, d->GetBlock(block, 4));
    EXPECT_EQ(3u, d->InBuffUsed());
    EXPECT_EQ(0, d->GetChar(c));
    EXPECT_EQ('a', c);
    EXPECT_EQ(2, d->PeekBlock(block, 2));
    EXPECT_EQ(0, d->FlushInBuffer());
    EXPECT_FALSE(d->CharReady());
    EXPECT_EQ(ecodes::ecBufferIsEmpty, d->GetChar(c));
}

TEST_F(Core, PutBlockExactlyFillingTheOutputBuffer)
{
    std::vector<std::uint8_t> block(4096, 'z');
    EXPECT_EQ(0, d->PutBlock(block.data(), 4096));
    EXPECT_EQ(4096u, d->OutBuffUsed());
    EXPECT_EQ(0u, d->OutBuffFree());
    EXPECT_EQ(ecodes::ecOutputBufferTooSmall, d->PutChar('1'));
    EXPECT_EQ(0, d->WriterStep());
    EXPECT_EQ(block, st->takeTx());
    EXPECT_EQ(0u, d->OutBuffUsed());
    EXPECT_EQ(0, d->PutBlock(block.data(), 0));
}

TEST_F(Core, UnsentOutputStaysQueuedAndFlushDropsIt)
{
    st->writeChunk = 0; // the device takes nothing now
    ASSERT_EQ(0, d->PutString("0123456789"));
    EXPECT_EQ(1, d->WriterStep());
    EXPECT_EQ(10u, d->OutBuffUsed());
    EXPECT_EQ(0, d->FlushOutBuffer());
    EXPECT_EQ(0u, d->OutBuffUsed());
    st->writeChunk = 3;
    EXPECT_EQ(0, d->WriterStep());
    EXPECT_TRUE(st->takeTx().empty());
    ASSERT_EQ(0, d->PutString("abcdefg"));
    EXPECT_EQ(0, d->WriterStep()); // taken in pieces of 3
    const auto tx = st->takeTx();
    EXPECT_EQ("abcdefg", std::string(tx.begin(), tx.end()));
}

TEST_F(Core, FlowControlThresholds)
{
    EXPECT_EQ(0, d->HWFlowOptions(3686, 409, 2 | 8));
    EXPECT_EQ(410, d->LineState().XoffLim);
    EXPECT_EQ(409, d->LineState().XonLim);
    EXPECT_TRUE(st->settings.rtsCtsFlow);
    std::uint32_t hw, sw;
    std::uint8_t xon, xoff;
    ASSERT_EQ(0, d->GetFlowOptions(hw, sw, xon, xoff));
    EXPECT_EQ(10u, hw);
    EXPECT_EQ(ecodes::ecBadArgument, d->HWFlowOptions(400, 500, 2));
    EXPECT_EQ(ecodes::ecBadArgument, d->HWFlowOptions(5000, 10, 2));
    EXPECT_EQ(1, d->SetRts(false)); // RTS under flow control: nothing done
    EXPECT_EQ(0, d->SWFlowEnable(3686, 409, 3));
    EXPECT_TRUE(st->settings.xonXoffIn && st->settings.xonXoffOut);
    EXPECT_EQ(2, d->SWFlowState());
    EXPECT_EQ(0, d->SWFlowDisable());
    EXPECT_EQ(1, d->SWFlowState());
}

TEST_F(Core, ModemStatusTriggerAndLineErrors)
{
    listen();
    st->lines = pf::kLineCts | pf::kLineDsr;
    d->StatusStep(); // first poll: remembers the lines
    pump();
    EXPECT_TRUE(d->CheckCTS());
    const int h = d->AddStatusTrigger(stModem);
    ASSERT_EQ(0, d->SetStatusTrigger(static_cast<std::uint32_t>(h), 0x10, true)); // watch CTS
    st->lines = pf::kLineDsr;
    d->StatusStep();
    pump();
    ASSERT_EQ(1u, only(kMsgTriggerStatus).size());
    EXPECT_EQ(static_cast<std::uint32_t>(h), only(kMsgTriggerStatus)[0].second);
    EXPECT_FALSE(d->CheckCTS());
    EXPECT_TRUE(d->CheckDSR());

    st->errors = pf::kErrParity | pf::kErrBreak;
    d->StatusStep();
    pump();
    EXPECT_EQ(3, d->GetLineError());
    EXPECT_TRUE(d->CheckLineBreak());
    EXPECT_EQ(0, d->GetLineError());
}

TEST_F(Core, DataTriggerMatching)
{
    listen();
    const int ab = d->AddDataTrigger("ab", false);
    feed("aab");
    ASSERT_EQ(1u, only(kMsgTriggerData).size());
    EXPECT_EQ(static_cast<std::uint32_t>(ab), only(kMsgTriggerData)[0].second);
    EXPECT_EQ(d->PortIndex() * 65536 + 2, only(kMsgTriggerData)[0].third);
    d->RemoveTrigger(ab);
    notes.clear();

    d->AddDataTrigger("aa", false);
    feed("aaa");
    EXPECT_EQ(2u, only(kMsgTriggerData).size());
    d->RemoveAllTriggers();
    notes.clear();

    d->AddDataTrigger("ABA", true);
    feed("abab");
    EXPECT_EQ(1u, only(kMsgTriggerData).size());
    feed("a");
    EXPECT_EQ(2u, only(kMsgTriggerData).size());
}

TEST_F(Core, TwoTriggersOnOneByteNotifyLaterCreatedFirst)
{
    listen();
    const int first = d->AddDataTrigger("xy", false);
    const int second = d->AddDataTrigger("y", false);
    feed("xy");
    const auto data = only(kMsgTriggerData);
    ASSERT_EQ(2u, data.size());
    EXPECT_EQ(static_cast<std::uint32_t>(second), data[0].second);
    EXPECT_EQ(static_cast<std::uint32_t>(first), data[1].second);
}

TEST_F(Core, LengthTriggerAndDataTrigger)
{
    listen(1000);
    d->ChangeLengthTrigger(5);
    d->AddDataTrigger("\r", false);
    feed("abc\r");
    EXPECT_EQ(0u, only(kMsgTriggerAvail).size());
    EXPECT_EQ(1u, only(kMsgTriggerData).size());
    notes.clear();
    d->ChangeLengthTrigger(1);
    feed("defghij\r");
    // The bytes before the string are announced first, then the match.
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(kMsgTriggerAvail, notes[0].msg);
    EXPECT_EQ(kMsgTriggerData, notes[1].msg);
}

TEST_F(Core, MatchThatBeganBeforeTheTailAnnouncesNothing)
{
    d->AddDataTrigger("abc", false);
    listen();
    feed("ab");
    std::uint8_t two[2];
    ASSERT_EQ(2, d->GetBlock(two, 2)); // "ab" taken before the match completes
    notes.clear();
    d->ChangeLengthTrigger(1);
    feed("c");
    EXPECT_EQ(1u, only(kMsgTriggerData).size());
    for (auto& n : only(kMsgTriggerAvail))
        EXPECT_GT(n.second, 0u);
}

TEST_F(Core, AvailabilityHandlerThatReadsNothing)
{
    bool result = true;
    d->RegisterEventTriggerHandler(this, [&](std::uint32_t m, std::uint32_t, std::int32_t) { notes.push_back({m, 0, 0}); });
    d->ChangeLengthTrigger(1);
    st->push("hello");
    d->ReaderStep();
    d->ExtractData();
    result = d->CheckReceiveTriggers();
    EXPECT_FALSE(result);
    EXPECT_EQ(1u, notes.size());
    EXPECT_FALSE(d->CheckReceiveTriggers()); // not announced again
    EXPECT_EQ(1u, notes.size());
    feed("!");
    EXPECT_EQ(2u, notes.size());
}

TEST_F(Core, ReadsDuringAnAvailabilityNoticeAreHeldUntilItEnds)
{
    std::uint32_t usedInside = 0;
    d->RegisterEventTriggerHandler(this, [&](std::uint32_t m, std::uint32_t n, std::int32_t) {
        if (m != kMsgTriggerAvail)
            return;
        std::uint8_t c;
        d->GetChar(c);
        d->GetChar(c);
        usedInside = d->InBuffUsed();
    });
    d->ChangeLengthTrigger(1);
    feed("wxyz");
    EXPECT_EQ(2u, usedInside);
    EXPECT_EQ(2u, d->InBuffUsed()); // two dropped when the notice ended
    std::uint8_t c;
    d->GetChar(c);
    EXPECT_EQ('y', c);
}

TEST_F(Core, StatusTriggerOutputFreeFiresOncePerArming)
{
    listen();
    const int h = d->AddStatusTrigger(stOutFree);
    ASSERT_GT(h, 0);
    EXPECT_EQ(stOutFree, TSioBaseDispatcher::ClassifyStatusTrigger(static_cast<std::uint32_t>(h)));
    ASSERT_EQ(0, d->SetStatusTrigger(static_cast<std::uint32_t>(h), 0, true));
    d->DispatchTimerPass();
    d->DispatchTimerPass();
    ASSERT_EQ(1u, only(kMsgTriggerStatus).size());
    EXPECT_EQ(d->PortIndex() * 65536 + 4096, only(kMsgTriggerStatus)[0].third);
    d->SetStatusTrigger(static_cast<std::uint32_t>(h), 0, true);
    d->DispatchTimerPass();
    EXPECT_EQ(2u, only(kMsgTriggerStatus).size());
    EXPECT_EQ(ecodes::ecBadTriggerHandle, d->SetStatusTrigger(12345, 0, true));
    EXPECT_EQ(ecodes::ecBadArgument, d->AddStatusTrigger(6));
}

TEST_F(Core, TimerTriggerOnTheFakeClock)
{
    listen();
    const int h = d->AddTimerTrigger();
    ASSERT_EQ(0, d->SetTimerTrigger(static_cast<std::uint32_t>(h), 10, true));
    clock->advance(9 * 55);
    d->DispatchTimerPass();
    EXPECT_TRUE(only(kMsgTriggerTimer).empty());
    clock->advance(3 * 55);
    d->DispatchTimerPass();
    d->DispatchTimerPass();
    ASSERT_EQ(1u, only(kMsgTriggerTimer).size());
    EXPECT_EQ(static_cast<std::uint32_t>(h), only(kMsgTriggerTimer)[0].second);
    EXPECT_EQ(ecodes::ecBadTriggerHandle, d->SetTimerTrigger(8888, 1, true));

    // Counted from an earlier tick: 10 ticks from 12 ticks ago have run out.
    ASSERT_EQ(0, d->SetTimerTrigger(static_cast<std::uint32_t>(h), 10, true, NowTicks() - 12));
    EXPECT_EQ(0, d->NextTimerDueMs());
    d->DispatchTimerPass();
    EXPECT_EQ(2u, only(kMsgTriggerTimer).size());
    // From 4 ticks ago: 6 more to go.
    ASSERT_EQ(0, d->SetTimerTrigger(static_cast<std::uint32_t>(h), 10, true, NowTicks() - 4));
    Ticks left = 0;
    ASSERT_EQ(0, d->TimerTicksRemaining(static_cast<std::uint32_t>(h), left));
    EXPECT_EQ(6, left);
}

TEST_F(Core, HandlesAreReusedOnlyWhenFree)
{
    EXPECT_EQ(8, d->AddTimerTrigger());
    EXPECT_EQ(16 + stModem, d->AddStatusTrigger(stModem));
    EXPECT_EQ(ecodes::ecTriggerTooLong, d->AddDataTriggerLen(reinterpret_cast<const std::uint8_t*>("0123456789012345678901"), false, 22));
    for (int i = 3; i < 4096; ++i) {
        const int h = d->AddTimerTrigger();
        ASSERT_EQ(i * 8, h);
        if (i > 3)
            d->RemoveTrigger(static_cast<std::uint32_t>(h));
    }
    // Counter exhausted: the smallest free multiple of 8 comes back.
    EXPECT_EQ(32, d->AddTimerTrigger());
    EXPECT_EQ(40, d->AddTimerTrigger());
    EXPECT_EQ(ecodes::ecBadTriggerHandle, d->RemoveTrigger(0));
}

TEST_F(Core, RestoredTriggersKeepHandlesAndNewOnesDoNotCollide)
{
    for (int i = 0; i < 5; ++i)
        d->AddTimerTrigger();
    TTriggerSave save;
    d->SaveTriggers(save);
    d->RemoveAllTriggers();
    d->RestoreTriggers(save);
    EXPECT_EQ(ttTimer, d->TriggerTypeOf(40));
    EXPECT_EQ(48, d->AddTimerTrigger());
    TSioBaseDispatcher::ClearSaveBuffers(save);
    EXPECT_FALSE(save.Valid);
}

TEST_F(Core, HandlerRemovedDuringANotificationIsRemovedAfterIt)
{
    int calls = 0;
    d->RegisterEventTriggerHandler(&calls, [&](std::uint32_t, std::uint32_t, std::int32_t) {
        ++calls;
        d->DeregisterEventTriggerHandler(&calls);
    });
    d->AddDataTrigger("!", false);
    feed("!!");
    EXPECT_EQ(1, calls);
    EXPECT_FALSE(d->HandlersExist());
}

TEST_F(Core, DataPointersAndOptions)
{
    int x;
    void* p = nullptr;
    EXPECT_EQ(0, d->SetDataPointer(&x, 2));
    EXPECT_EQ(0, d->GetDataPointer(p, 2));
    EXPECT_EQ(&x, p);
    EXPECT_EQ(ecodes::ecBadArgument, d->SetDataPointer(&x, 4));
    d->OptionsOn(5);
    EXPECT_TRUE(d->OptionsAreOn(4));
    d->OptionsOff(4);
    EXPECT_FALSE(d->OptionsAreOn(5));
}

TEST(CoreOpen, OpenFailuresAndSecondOpen)
{
    auto st = std::make_shared<FakeDeviceState>();
    st->open = true; // held elsewhere
    TSioPosixDispatcher d(nullptr, std::make_unique<FakeSerialDevice>(st));
    d.SetManualThreads(true);
    EXPECT_EQ(ecodes::ecAlreadyOpen, d.InitPort("/dev/x", 9600, Parity::None, 8, 1, 4096, 4096, 0));
    EXPECT_FALSE(d.IsOpen());
    st->open = false;
    EXPECT_EQ(ecodes::ecByteSize, d.InitPort("/dev/x", 9600, Parity::None, 4, 1, 4096, 4096, 0));
    EXPECT_FALSE(st->open); // closed again after the failure
    EXPECT_EQ(0, d.InitPort("/dev/x", 9600, Parity::None, 8, 1, 4096, 4096, 0));
    EXPECT_EQ(ecodes::ecAlreadyOpen, d.InitPort("/dev/x", 9600, Parity::None, 8, 1, 4096, 4096, 0));
    EXPECT_EQ(0, d.DonePort());
    EXPECT_FALSE(st->open);
}

} // namespace
} // namespace sio::test

// Setters and getters of the port component on a fake device (no threads):
// what is stored while closed, what reaches the device while open.
#include "platform/plain_message_loop.h"
#include "serial/SioPort.h"
#include "serial/SioPosix.h"
#include "support_fake_device.h"
#include "support_port.h"

#include <gtest/gtest.h>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

class PortProps : public ::testing::Test {
protected:
    void SetUp() override
    {
        pf::setMessageLoop(&loop);
        port.SetAutoOpen(false);
        port.SetComNumber(1);
        port.SetCustomDispatcher([this](TSioCustomComPort& p) -> std::unique_ptr<TSioBaseDispatcher> {
            ++created;
            auto device = std::make_unique<RefusingDevice>(std::make_unique<FakeSerialDevice>(state), refuseRts, refusals);
            auto d = std::make_unique<TSioPosixDispatcher>(&p, std::move(device));
            d->SetManualThreads(true);
            return d;
        });
    }
    void TearDown() override
    {
        port.SetOpen(false);
        pf::setMessageLoop(nullptr);
    }
    int settingsCalls()
    {
        std::lock_guard lock(state->mutex);
        return state->setSettingsCalls;
    }
    pf::LineSettings deviceLine()
    {
        std::lock_guard lock(state->mutex);
        return state->settings;
    }

    pf::PlainMessageLoop loop;
    std::shared_ptr<FakeDeviceState> state = std::make_shared<FakeDeviceState>();
    std::shared_ptr<bool> refuseRts = std::make_shared<bool>(false);
    std::shared_ptr<Refusals> refusals = std::make_shared<Refusals>();
    int created = 0;
    TSioComPort port;
};

TEST_F(PortProps, DefaultsAndClosedPortValues)
{
    TSioComPort p;
    EXPECT_EQ(0, p.GetComNumber());
    EXPECT_EQ(19200, p.GetBaud());
    EXPECT_EQ(pNone, p.GetParity());
    EXPECT_EQ(8, p.GetDataBits());
    EXPECT_EQ(1, p.GetStopBits());
    EXPECT_EQ(4096, p.GetInSize());
    EXPECT_EQ(4096, p.GetOutSize());
    EXPECT_TRUE(p.GetPromptForPort());
    EXPECT_TRUE(p.GetAutoOpen());
    EXPECT_TRUE(p.GetDTR());
    EXPECT_TRUE(p.GetRTS());
    EXPECT_EQ("DIDA.TRC", p.GetTraceName());
    EXPECT_EQ("DIDA.LOG", p.GetLogName());
    EXPECT_EQ(1, p.GetTriggerLength());
    EXPECT_EQ(psClosed, p.GetPortState());
    EXPECT_FALSE(p.GetOpen());
    p.SetAutoOpen(false);
    p.SetOutSize(1234);
    EXPECT_EQ(8192u, p.InBuffFree());
    EXPECT_EQ(1234u, p.OutBuffFree());
    EXPECT_EQ(0u, p.InBuffUsed());
    EXPECT_FALSE(p.CTS());
    EXPECT_EQ(0, p.LineError());
    EXPECT_EQ(fcOff, p.FlowState());
    EXPECT_EQ("v4.07", p.Version());
    // Only off and on are stored on a closed port.
    p.SetTracing(tlDump);
    EXPECT_EQ(tlOff, p.GetTracing());
    p.SetLogging(tlOn);
    EXPECT_EQ(tlOn, p.GetLogging());
    p.SetTraceSize(5000000);
    EXPECT_EQ(4000000u, p.GetTraceSize());
    p.SetLogSize(20000000);
    EXPECT_EQ(16000000u, p.GetLogSize());
}

TEST_F(PortProps, FlowControlThresholdsDefaultFromTheInputSize)
{
    port.SetBufferFull(5000);
    EXPECT_EQ(3686, port.GetBufferFull());
    port.SetBufferFull(0);
    port.SetSWFlowOptions(swfBoth);
    EXPECT_EQ(3686, port.GetBufferFull());
    EXPECT_EQ(409, port.GetBufferResume());
    port.SetBufferResume(4000); // above BufferFull
    EXPECT_EQ(368, port.GetBufferResume());

    TSioComPort other;
    other.SetHWFlowOptions(hwfUseRTS | hwfRequireCTS);
    EXPECT_EQ(3686, other.GetBufferFull());
    EXPECT_EQ(409, other.GetBufferResume());
    other.SetRS485Mode(true);
    EXPECT_EQ(0, other.GetHWFlowOptions() & (hwfUseRTS | hwfRequireCTS));
    EXPECT_FALSE(other.GetRTS());
    other.SetHWFlowOptions(hwfRequireCTS);
    EXPECT_FALSE(other.GetRS485Mode());
}

// Assign copies the settings and the events and closes the port; the users
// (and with them the packets) stay with each port.
TEST_F(PortProps, AssignCopiesTheSettingsButNotTheUsers)
{
    TSioComPort source;
    source.SetComNumber(7);
    source.SetBaud(9600);
    source.SetParity(pEven);
    source.SetDataBits(7);
    source.SetStopBits(2);
    source.SetInSize(2048);
    source.SetOutSize(1024);
    source.SetAutoOpen(false);
    source.SetPromptForPort(false);
    source.SetRS485Mode(true);
    source.SetThreadBoost(tbPlusTwo);
    source.SetDTR(false);
    source.SetBufferFull(1000);
    source.SetBufferResume(100);
    source.SetHWFlowOptions(hwfUseDTR | hwfRequireDSR);
    source.SetSWFlowOptions(swfBoth);
    source.SetXOnChar('a');
    source.SetXOffChar('b');
    source.SetTraceSize(500);
    source.SetTraceName("a.trc");
    source.SetTraceHex(false);
    source.SetTraceAllHex(true);
    source.SetLogSize(600);
    source.SetLogName("a.log");
    source.SetLogHex(false);
    source.SetLogAllHex(true);
    source.SetTriggerLength(5);
    source.SetTapiMode(tmOff);
    int sourceOpens = 0, eventOpens = 0, targetOpens = 0;
    source.RegisterUserCallback(&sourceOpens, [&](TSioCustomComPort&, bool o) { sourceOpens += o; });
    source.SetOnPortOpen([&](TSioCustomComPort&) { ++eventOpens; });
    port.RegisterUserCallback(&targetOpens, [&](TSioCustomComPort&, bool o) { targetOpens += o; });
    port.SetOpen(true);
    ASSERT_EQ(1, targetOpens);

    port.Assign(source);
    EXPECT_FALSE(port.GetOpen()); // closed by it
    EXPECT_EQ(psClosed, port.GetPortState());
    EXPECT_EQ(7, port.GetComNumber());
    EXPECT_EQ(9600, port.GetBaud());
    EXPECT_EQ(pEven, port.GetParity());
    EXPECT_EQ(7, port.GetDataBits());
    EXPECT_EQ(2, port.GetStopBits());
    EXPECT_EQ(2048, port.GetInSize());
    EXPECT_EQ(1024, port.GetOutSize());
    EXPECT_FALSE(port.GetAutoOpen());
    EXPECT_FALSE(port.GetPromptForPort());
    EXPECT_TRUE(port.GetRS485Mode());
    EXPECT_EQ(tbPlusTwo, port.GetThreadBoost());
    EXPECT_FALSE(port.GetDTR());
    EXPECT_FALSE(port.GetRTS()); // RS485 mode turned it off
    EXPECT_EQ(1000, port.GetBufferFull());
    EXPECT_EQ(100, port.GetBufferResume());
    EXPECT_EQ(hwfUseDTR | hwfRequireDSR, port.GetHWFlowOptions());
    EXPECT_EQ(swfBoth, port.GetSWFlowOptions());
    EXPECT_EQ('a', port.GetXOnChar());
    EXPECT_EQ('b', port.GetXOffChar());
    EXPECT_EQ(500u, port.GetTraceSize());
    EXPECT_EQ("a.trc", port.GetTraceName());
    EXPECT_FALSE(port.GetTraceHex());
    EXPECT_TRUE(port.GetTraceAllHex());
    EXPECT_EQ(600u, port.GetLogSize());
    EXPECT_EQ("a.log", port.GetLogName());
    EXPECT_FALSE(port.GetLogHex());
    EXPECT_TRUE(port.GetLogAllHex());
    EXPECT_EQ(5, port.GetTriggerLength());
    EXPECT_EQ(tmOff, port.GetTapiMode());

    // Each keeps its own users; the events came along.
    EXPECT_EQ(1u, port.UserCount());
    EXPECT_EQ(1u, source.UserCount());
    port.SetComNumber(1);
    port.SetOpen(true);
    EXPECT_EQ(2, targetOpens);
    EXPECT_EQ(0, sourceOpens);
    EXPECT_EQ(1, eventOpens);
    port.SetOpen(false);
    port.DeregisterUserCallback(&targetOpens);
}

TEST_F(PortProps, LineSettersTouchTheDeviceOnlyWhenOpenAndChanged)
{
    port.SetBaud(9600);
    EXPECT_EQ(0, created);
    port.SetOpen(true);
    ASSERT_EQ(1, created);
    const int calls = settingsCalls();
    port.SetBaud(9600); // unchanged: the device is not touched
    EXPECT_EQ(calls, settingsCalls());
    port.SetParity(pEven);
    port.SetDataBits(7);
    EXPECT_EQ(9600u, deviceLine().baud);
    EXPECT_EQ(Parity::Even, deviceLine().parity);
    EXPECT_EQ(7, deviceLine().dataBits);
    port.SetBaud(19200);
    EXPECT_EQ(19200u, deviceLine().baud);
    EXPECT_EQ(Parity::Even, deviceLine().parity);
    EXPECT_EQ(7, deviceLine().dataBits);
    EXPECT_EQ(1, deviceLine().stopBits);
}

TEST_F(PortProps, RefusedRtsRaisesAndKeepsTheOldValue)
{
    port.SetOpen(true);
    ASSERT_TRUE(port.GetRTS());
    *refuseRts = true;
    EXPECT_THROW(port.SetRTS(false), ESIOException);
    EXPECT_TRUE(port.GetRTS());
    *refuseRts = false;
    port.SetRTS(false);
    EXPECT_FALSE(port.GetRTS());
    std::lock_guard lock(state->mutex);
    EXPECT_FALSE(state->rts);
}

TEST_F(PortProps, OpenPushesEverySettingToTheDevice)
{
    port.SetRTS(false);
    port.SetSWFlowOptions(swfBoth);
    port.SetXOnChar(1);
    port.SetXOffChar(2);
    port.SetOpen(true);
    pf::LineSettings l = deviceLine();
    EXPECT_TRUE(l.xonXoffIn);
    EXPECT_TRUE(l.xonXoffOut);
    EXPECT_EQ(1, l.xonChar);
    EXPECT_EQ(2, l.xoffChar);
    std::lock_guard lock(state->mutex);
    EXPECT_FALSE(state->rts);
    EXPECT_TRUE(state->dtr);
}

TEST_F(PortProps, AssigningATriggerEventMakesTheDispatcherNotifyTheWindow)
{
    port.SetOpen(true);
    TSioBaseDispatcher* d = port.CurrentDispatcher();
    ASSERT_NE(nullptr, d);
    EXPECT_FALSE(d->HandlersExist());
    port.SetOnTriggerAvail([](TSioCustomComPort&, std::uint16_t) {});
    EXPECT_TRUE(d->HandlersExist());
    port.SetOnTriggerAvail({});
    EXPECT_FALSE(d->HandlersExist());
}

TEST_F(PortProps, DeviceLayerAndOwnerTree)
{
    port.SetDeviceLayer(dlWinsock); // not among the accepted layers
    EXPECT_EQ(dlWin32, port.GetDeviceLayer());
    port.SetDeviceLayers(DeviceLayerBit(dlWin32) | DeviceLayerBit(dlWinsock));
    port.SetDeviceLayer(dlWinsock);
    EXPECT_EQ(dlWinsock, port.GetDeviceLayer());

    TSioComPort plain;
    plain.SetDeviceLayers(DeviceLayerBit(dlWinsock));
    plain.SetDeviceLayer(dlWinsock);
    plain.SetComNumber(1);
    EXPECT_THROW(plain.SetOpen(true), ENullApi);

    TSioBaseComponent form;
    TSioBaseComponent frame(&form);
    EXPECT_EQ(nullptr, SearchComPort(&form));
    {
        TSioComPort inner(&frame);
        EXPECT_EQ(&inner, SearchComPort(&form));
    }
    EXPECT_EQ(nullptr, SearchComPort(&form));
    EXPECT_EQ("COM12", ComName(12));
}

TEST_F(PortProps, LoadingDefersTheOpenAndRaisesNothing)
{
    port.SetLoading(true);
    port.SetOpen(true);
    EXPECT_EQ(0, created);
    port.Loaded();
    EXPECT_EQ(1, created);
    EXPECT_TRUE(port.GetOpen());
}

TEST_F(PortProps, TraceSizeZeroKeepsTheSizeAndTheTraceStillOpens)
{
    port.SetTracing(tlOn);
    port.SetTraceSize(0);
    EXPECT_EQ(10000u, port.GetTraceSize());
    port.SetOpen(true);
    ASSERT_TRUE(port.GetOpen());
    EXPECT_EQ(tlOn, port.GetTracing());
    port.SetTraceSize(0); // while tracing: neither stops nor breaks the trace
    EXPECT_EQ(10000u, port.GetTraceSize());
    EXPECT_EQ(tlOn, port.GetTracing());
}

TEST_F(PortProps, RefusedOutputPurgeRaisesTheDeviceWriteErrorAndEmptiesTheBuffer)
{
    port.SetOpen(true);
    {
        std::lock_guard lock(state->mutex);
        state->writeChunk = 0; // the device takes nothing: the bytes stay queued
    }
    port.PutString("queued");
    ASSERT_EQ(6u, port.OutBuffUsed());
    refusals->flushOutput = true;
    try {
        port.FlushOutBuffer();
        ADD_FAILURE() << "a refused purge passed as done";
    } catch (const EInOutError& e) {
        EXPECT_EQ(160, e.ErrorCode);
        EXPECT_STREQ("Device write error", e.what());
    }
    EXPECT_EQ(0u, port.OutBuffUsed());
    refusals->flushOutput = false;
    EXPECT_NO_THROW(port.FlushOutBuffer());
}

TEST(PortCheckForString, MatchesAcrossRestarts)
{
    std::uint16_t i = 1;
    const std::string text = "ok";
    bool hit = false;
    for (char c : std::string("xoOK"))
        hit = TSioCustomComPort::CheckForString(i, c, text, true) || hit;
    EXPECT_TRUE(hit);
    i = 1;
    EXPECT_FALSE(TSioCustomComPort::CheckForString(i, 'O', text, false));
}

} // namespace
} // namespace sio::test

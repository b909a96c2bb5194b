// Flushing the input while a notification is under way, end to end on a
// pseudo-terminal: the bytes received before the flush are gone at once,
// for the handler that flushed and for every handler after it, and the
// bytes that come after the flush all arrive.
#include "serial/SioDispatch.h"
#include "serial/SioExcept.h"
#include "support_pty_port.h"

namespace sio::test {
namespace {

using InputFlush = PtyPortTest;

TEST_F(InputFlush, FlushInsideAnAvailabilityHandlerDropsTheBytesAtOnce)
{
    port->SetOpen(true);
    bool flushed = false;
    std::uint32_t usedAfterFlush = 99;
    bool readyAfterFlush = true;
    std::vector<std::string> refused; // reads after the flush
    std::string got;
    port->SetOnTriggerAvail([&](TSioCustomComPort& p, std::uint16_t n) {
        if (!flushed) {
            flushed = true;
            p.FlushInBuffer();
            usedAfterFlush = p.InBuffUsed();
            readyAfterFlush = p.CharReady();
            const auto expectEmpty = [&](const char* what, const std::function<void()>& read) {
                try {
                    read();
                } catch (const EBufferIsEmpty&) {
                    refused.push_back(what);
                }
            };
            expectEmpty("GetChar", [&] { p.GetChar(); });
            expectEmpty("PeekChar", [&] { p.PeekChar(1); });
            char block[3];
            expectEmpty("PeekBlock", [&] { p.PeekBlock(block, 3); });
            expectEmpty("GetBlock", [&] { p.GetBlock(block, 3); });
            return;
        }
        std::string b(n, '\0');
        p.GetBlock(b.data(), n);
        got += b;
    });
    ASSERT_TRUE(pty.write("OLDBYTES"));
    ASSERT_TRUE(pumpUntil([&] { return flushed; }));
    EXPECT_EQ(0u, usedAfterFlush);
    EXPECT_FALSE(readyAfterFlush);
    EXPECT_EQ((std::vector<std::string>{"GetChar", "PeekChar", "PeekBlock", "GetBlock"}), refused);

    // What comes next is whole: the end of the notice takes nothing of it.
    ASSERT_TRUE(pty.write("NEW"));
    ASSERT_TRUE(pumpUntil([&] { return got.size() >= 3; }));
    EXPECT_EQ("NEW", got);
    EXPECT_EQ(0u, port->InBuffUsed());
    port->SetOnTriggerAvail({});
}

// The link's exchange after stray bytes: a slower first handler of the
// strays' notice lets the main thread flush before the reply packet's
// manager takes its bytes. The reply that follows is the reply alone.
TEST_F(InputFlush, FlushWhileANoticeIsUnderWayKeepsTheStrayBytesOutOfTheReply)
{
    port->SetOpen(true);
    // Handlers run in the order they came; this one is before the packet's.
    bool flushed = false;
    TSioBaseDispatcher* d = port->CurrentDispatcher();
    d->RegisterSyncEventTriggerHandler(this, [&](std::uint32_t msg, std::uint32_t, std::int32_t) {
        if (msg != kMsgTriggerAvail || flushed)
            return;
        flushed = true;
        port->FlushInBuffer();
    });
    makeReplyPacket();
    packet->SetEnabled(true);
    ASSERT_TRUE(pty.write("OLD"));
    ASSERT_TRUE(pumpUntil([&] { return flushed; }));
    ASSERT_TRUE(pty.write("NEW\r"));
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(std::vector<std::string>{"S:NEW"}, events);
    d->DeregisterEventTriggerHandler(this);
}

} // namespace
} // namespace sio::test

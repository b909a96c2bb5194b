// The port's trigger events on a pseudo-terminal while its handlers read
// the input themselves: availability counts after a handler read ahead, and
// data notices after a wait that read more than the dispatch buffer holds.
#include "serial/SioExcept.h"
#include "support_pty_port.h"

#include <thread>

namespace sio::test {
namespace {

using PortTriggerInput = PtyPortTest;

// A data handler that takes everything there is, the next line too: the
// line's own notice then has nothing before it to announce.
TEST_F(PortTriggerInput, AvailabilityCountsOnlyWhatIsStillThere)
{
    port->SetOpen(true);
    port->SetTriggerLength(1);
    port->AddDataTrigger("\r", false);
    std::vector<int> counts;
    std::vector<std::string> errors;
    std::string got;
    port->SetOnTriggerAvail([&](TSioCustomComPort& p, std::uint16_t n) {
        counts.push_back(n);
        std::string b(n, '\0');
        try {
            p.GetBlock(b.data(), n);
            got += b;
        } catch (const ESIOException& e) {
            errors.push_back(e.what());
        }
    });
    port->SetOnTriggerData([&](TSioCustomComPort& p, std::uint16_t) {
        std::string b(p.InBuffUsed(), '\0');
        p.GetBlock(b.data(), static_cast<std::uint32_t>(b.size()));
        got += b;
    });
    ASSERT_TRUE(pty.write("abc\rdef\r"));
    ASSERT_TRUE(pumpUntil([&] { return got.size() >= 8; }));
    ASSERT_TRUE(pty.write("gh\r")); // its notices come after any left over from the first
    ASSERT_TRUE(pumpUntil([&] { return got.size() >= 11; }));
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ("abc\rdef\rgh\r", got);
    // {3, 2} when the first two lines came in one read.
    ASSERT_FALSE(counts.empty());
    for (const int n : counts)
        EXPECT_LE(n, 3);
    EXPECT_EQ(2, counts.back());
    port->SetOnTriggerAvail({});
    port->SetOnTriggerData({});
}

// 20 KB pass through the dispatch buffer while a wait holds the handlers;
// the one 'Z' among them, still in the buffer when the wait ends, is
// announced once.
TEST_F(PortTriggerInput, OneMatchDuringALongWaitIsOneNotice)
{
    port->SetOpen(true);
    const int z = port->AddDataTrigger("Z", false);
    const int y = port->AddDataTrigger("Y", false);
    int zs = 0, ys = 0;
    port->SetOnTriggerData([&](TSioCustomComPort&, std::uint16_t h) {
        zs += h == z ? 1 : 0;
        ys += h == y ? 1 : 0;
    });
    std::string bytes(20 * 1024, '.');
    bytes[19000] = 'Z';
    bytes += "END";
    port->PrepareWait();
    bool wrote = false;
    std::thread writer([&] { wrote = pty.write(bytes); });
    const bool found = port->WaitForString("END", 2184, true, false);
    writer.join();
    ASSERT_TRUE(wrote);
    ASSERT_TRUE(found);
    EXPECT_EQ(0, zs);
    // The dispatch thread scans what the wait left at its next pass; a
    // byte sent once the first notice is in is scanned after all of it.
    ASSERT_TRUE(pumpUntil([&] { return zs >= 1; }));
    ASSERT_TRUE(pty.write("Y"));
    ASSERT_TRUE(pumpUntil([&] { return ys == 1; }));
    EXPECT_EQ(1, zs);
    port->SetOnTriggerData({});
}

} // namespace
} // namespace sio::test

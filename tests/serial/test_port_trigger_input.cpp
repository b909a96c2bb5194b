// The port's trigger events on a pseudo-terminal while its handlers read
// the input themselves: availability counts after a handler read ahead.
#include "serial/SioExcept.h"
#include "support_pty_port.h"

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

} // namespace
} // namespace sio::test

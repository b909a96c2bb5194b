// However the reads split the stream, the same packets come out; and the
// manager stays consistent with a real dispatch thread handing events to a
// main thread.
#include "serial/SioPacket.h"
#include "support_packet.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

using namespace sio;
using packet_test::FakeHost;
using packet_test::FeedSplit;
using packet_test::Recorder;

namespace {

using Log = std::vector<std::string>;

// Portable draws from a fixed-seed generator.
struct Rng {
    std::mt19937 gen;
    explicit Rng(std::uint32_t seed)
        : gen(seed)
    {
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(gen() % n); }
};

std::string RandomStream(Rng& rng, const std::string& alphabet, std::size_t length)
{
    std::string s;
    for (std::size_t i = 0; i < length; ++i)
        s += alphabet[rng.Below(alphabet.size())];
    return s;
}

struct Config {
    const char* name;
    std::function<void(TSioDataPacket&, TSioDataPacket&)> setup; // second is used when enabled
    std::string alphabet;
};

// Runs the stream through a fresh manager with the given cuts and returns
// the events of both packets, in order.
Log RunStream(const Config& c, const std::string& stream, const std::vector<std::size_t>& cuts)
{
    FakeHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket a, b;
    manager.Insert(a);
    manager.Insert(b);
    Recorder rec;
    rec.Attach(a);
    rec.Attach(b);
    c.setup(a, b);
    FeedSplit(manager, stream, cuts);
    rec.log.push_back("end:" + std::to_string(manager.DataCount()));
    return rec.log;
}

class PacketSplits : public ::testing::TestWithParam<Config> {};

TEST_P(PacketSplits, AnySplitGivesTheSamePackets)
{
    const Config& c = GetParam();
    Rng rng(20240611u);
    const std::string stream = RandomStream(rng, c.alphabet, 4000);
    const Log whole = RunStream(c, stream, {});
    ASSERT_GT(whole.size(), 20u) << "the stream should produce packets";

    std::vector<std::size_t> every;
    for (std::size_t i = 1; i < stream.size(); ++i)
        every.push_back(i);
    EXPECT_EQ(RunStream(c, stream, every), whole) << "byte by byte";

    for (int round = 0; round < 60; ++round) {
        std::vector<std::size_t> cuts;
        std::size_t pos = 0;
        while (pos < stream.size()) {
            pos += 1 + rng.Below(round % 2 ? 7 : 300);
            cuts.push_back(pos);
        }
        ASSERT_EQ(RunStream(c, stream, cuts), whole) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PacketSplits,
    ::testing::Values(
        Config{"CarriageReturn",
               [](TSioDataPacket& a, TSioDataPacket&) {
                   a.SetStartCond(scAnyData);
                   a.SetEndCond(ecString);
                   a.SetEndString("\r");
                   a.SetIncludeStrings(false);
                   a.SetEnabled(true);
               },
               "0123456789ABCDEF\r\r\r"},
        Config{"StartEndWithWildcardsAndCase",
               [](TSioDataPacket& a, TSioDataPacket&) {
                   a.SetStartString("<?a");
                   a.SetEndCond(ecString);
                   a.SetEndString("\\?b>");
                   a.SetEnabled(true);
               },
               "<<aAbB?>>x?"},
        Config{"BothEndConditions",
               [](TSioDataPacket& a, TSioDataPacket&) {
                   a.SetStartCond(scAnyData);
                   a.SetEndCond(ecString | ecPacketSize);
                   a.SetEndString("\r\n");
                   a.SetPacketSize(7);
                   a.SetEnabled(true);
               },
               "abc\r\r\n\n"},
        Config{"OneByte",
               [](TSioDataPacket& a, TSioDataPacket&) {
                   a.SetStartCond(scAnyData);
                   a.SetEndCond(ecPacketSize);
                   a.SetPacketSize(1);
                   a.SetEnabled(true);
               },
               "xyz"},
        Config{"FoldedLettersAndSize",
               [](TSioDataPacket& a, TSioDataPacket&) {
                   a.SetStartString("qa");
                   a.SetEndCond(ecString | ecPacketSize);
                   a.SetEndString("z");
                   a.SetPacketSize(9);
                   a.SetEnabled(true);
               },
               "qQaAzZ.."},
        Config{"TwoPackets",
               [](TSioDataPacket& a, TSioDataPacket& b) {
                   a.SetStartString("ABA");
                   a.SetIgnoreCase(false);
                   a.SetEnabled(true);
                   b.SetStartString("[");
                   b.SetEndCond(ecString | ecPacketSize);
                   b.SetEndString("]");
                   b.SetPacketSize(6);
                   b.SetIncludeStrings(false);
                   b.SetEnabled(true);
               },
               "ABab[]x"}),
    [](const ::testing::TestParamInfo<Config>& i) { return std::string(i.param.name); });

// --- with threads: a dispatch thread feeds, a main thread runs the events ---

// Runs synchronised events on the thread that calls Pump, as the message
// loop does for the dispatch thread.
class ThreadedHost : public FakeHost {
public:
    void RunEvent(const std::function<void()>& fn, bool sync) override
    {
        if (!sync) {
            fn();
            return;
        }
        std::unique_lock<std::mutex> l(m_);
        bool done = false;
        queue_.push_back([&] {
            fn();
            std::lock_guard<std::mutex> g(m_);
            done = true;
            cv_.notify_all();
        });
        cv_.notify_all();
        cv_.wait(l, [&] { return done; });
    }
    // Main thread: runs events, calling between() after each, until Stop()
    // was called and nothing is queued.
    void Pump(const std::function<void()>& between)
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> l(m_);
                cv_.wait(l, [&] { return !queue_.empty() || stopped_; });
                if (queue_.empty() && stopped_)
                    return;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            job();
            between();
        }
    }
    void Stop()
    {
        std::lock_guard<std::mutex> g(m_);
        stopped_ = true;
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    bool stopped_ = false;
};

TEST(PacketThreads, DispatchThreadAndMainThreadAgreeOnEveryByte)
{
    ThreadedHost host;
    TSioDataPacketManager manager(host);
    TSioDataPacket bytes, idle;
    manager.Insert(bytes);
    manager.Insert(idle);
    bytes.SetStartCond(scAnyData);
    bytes.SetEndCond(ecPacketSize);
    bytes.SetPacketSize(1);
    idle.SetStartString("never-seen");
    std::string got;
    bytes.SetOnPacket([&](TSioDataPacket& p, const std::uint8_t* data, std::int32_t size) {
        ASSERT_EQ(size, 1);
        got += static_cast<char>(data[0]);
        EXPECT_EQ(p.GetDataSize(), 1);
    });
    bytes.SetEnabled(true);

    Rng rng(7u);
    const std::string stream = RandomStream(rng, "abcdefgh", 3000);
    std::thread dispatch([&] {
        Rng split(11u);
        std::size_t pos = 0;
        while (pos < stream.size()) {
            std::size_t n = std::min<std::size_t>(1 + split.Below(40), stream.size() - pos);
            manager.OnData(reinterpret_cast<const std::uint8_t*>(stream.data()) + pos, n);
            pos += n;
        }
        host.Stop();
    });
    int toggles = 0;
    host.Pump([&] {
        // The main thread changes another packet while the dispatch thread
        // is matching.
        idle.SetEnabled(++toggles % 2 == 1);
        (void)manager.DataCount();
    });
    dispatch.join();
    EXPECT_EQ(got, stream);
}

} // namespace

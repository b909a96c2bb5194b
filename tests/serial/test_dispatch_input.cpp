// The dispatcher's input side on an in-memory device, mostly with the
// threads' work done by hand: reads with lengths beyond what waits,
// availability counts after handlers have read ahead, the data-trigger scan
// after a long held wait, the match walk against a plain rendering of it,
// and an input purge with a block still held back by the reader (also with
// the threads running).
#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"
#include "serial/SioExcept.h"
#include "support_dispatch_core.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <random>

namespace sio::test {
namespace {

// Lengths and indexes that no dispatch buffer holds, some of them such that
// adding the bytes already read overflows 32 bits.
const std::uint32_t kHugeLengths[] = {
    UINT32_MAX, UINT32_MAX - 1, UINT32_MAX - 2, UINT32_MAX - 3, UINT32_MAX - kDispatchBufferSize,
    0x80000000u, INT_MAX, INT_MAX - 1u, INT_MAX - 3u, kDispatchBufferSize + 1,
};

// Every read beyond the unread bytes fails with "Buffer is empty" and
// copies nothing, however large its length; an exact one still works.
void expectNothingBeyond(TSioBaseDispatcher& d, std::uint32_t unread)
{
    for (const std::uint32_t len : kHugeLengths) {
        std::array<std::uint8_t, 64> buf;
        buf.fill(0xEE);
        EXPECT_EQ(ecodes::ecBufferIsEmpty, d.PeekBlock(buf.data(), len)) << len;
        EXPECT_EQ(ecodes::ecBufferIsEmpty, d.GetBlock(buf.data(), len)) << len;
        EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](std::uint8_t b) { return b == 0xEE; })) << len;
        std::uint8_t c = 0xEE;
        EXPECT_EQ(ecodes::ecBufferIsEmpty, d.PeekChar(c, len)) << len;
        EXPECT_EQ(0xEE, c) << len;
    }
    std::uint8_t c = 0;
    EXPECT_EQ(ecodes::ecBufferIsEmpty, d.PeekChar(c, unread + 1));
    std::vector<std::uint8_t> buf(unread + 1);
    EXPECT_EQ(ecodes::ecBufferIsEmpty, d.PeekBlock(buf.data(), unread + 1));
    EXPECT_EQ(static_cast<int>(unread), d.PeekBlock(buf.data(), unread));
    EXPECT_EQ(unread, d.InBuffUsed());
}

class Input : public Core {
protected:
    // Moves the bytes through the dispatch buffer while the handlers are
    // held, reading each piece as a wait would.
    void passWhileHeld(const std::string& bytes)
    {
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
            st->push(bytes.substr(at, 1000));
            d->ReaderStep();
            d->DispatchInputPass();
            std::vector<std::uint8_t> buf(d->InBuffUsed());
            ASSERT_EQ(static_cast<int>(buf.size()), d->GetBlock(buf.data(), static_cast<std::uint32_t>(buf.size())));
        }
    }
    // The positions (1-based) at which a new data trigger fires, fed one
    // byte at a time.
    std::vector<int> firings(const std::string& trigger, const std::string& text)
    {
        d->RemoveAllTriggers();
        d->FlushInBuffer();
        d->AddDataTrigger(trigger, false);
        std::vector<int> at;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::size_t before = notes.size();
            feed(text.substr(i, 1));
            for (std::size_t k = before; k < notes.size(); ++k)
                if (notes[k].msg == kMsgTriggerData)
                    at.push_back(static_cast<int>(i) + 1);
        }
        return at;
    }
};

TEST_F(Input, HugeReadLengthsAndIndexesFindTheBufferEmpty)
{
    feed("0123456789");
    expectNothingBeyond(*d, 10);
    EXPECT_EQ(0, d->PeekBlock(nullptr, 0)); // an empty read needs no block
    EXPECT_EQ(0, d->GetBlock(nullptr, 0));

    // Inside an availability notice reads are held: each one read moves
    // the start of the next further on.
    std::vector<std::uint32_t> unreadSeen;
    d->RegisterEventTriggerHandler(this, [&](std::uint32_t m, std::uint32_t n, std::int32_t) {
        if (m != kMsgTriggerAvail)
            return;
        for (std::uint32_t held = 0; held < 4; ++held) {
            expectNothingBeyond(*d, n - held);
            unreadSeen.push_back(d->InBuffUsed());
            std::uint8_t c = 0;
            ASSERT_EQ(0, d->GetChar(c));
            EXPECT_EQ('0' + held, c);
        }
        std::uint8_t c = 0;
        ASSERT_EQ(0, d->PeekChar(c, 1));
        EXPECT_EQ('4', c);
    });
    d->FlushInBuffer();
    d->ChangeLengthTrigger(1);
    feed("0123456789");
    EXPECT_EQ((std::vector<std::uint32_t>{10, 9, 8, 7}), unreadSeen);
    EXPECT_EQ(6u, d->InBuffUsed()); // the four held reads were taken at the end
}

// A handler that reads past the next match leaves nothing before it: the
// availability notice for that match must not count the ring the wrong way
// round.
TEST_F(Input, AvailabilityCountAfterTheHandlersReadPastTheMatch)
{
    std::vector<std::uint32_t> counts;
    std::vector<int> results;
    std::string got;
    d->RegisterEventTriggerHandler(this, [&](std::uint32_t m, std::uint32_t n, std::int32_t) {
        std::vector<std::uint8_t> buf;
        if (m == kMsgTriggerAvail) {
            counts.push_back(n);
            buf.resize(n);
            results.push_back(d->GetBlock(buf.data(), n));
        } else if (m == kMsgTriggerData) {
            buf.resize(d->InBuffUsed()); // everything there is, the next line too
            results.push_back(d->GetBlock(buf.data(), static_cast<std::uint32_t>(buf.size())));
        }
        got.append(buf.begin(), buf.end());
    });
    d->ChangeLengthTrigger(1);
    d->AddDataTrigger("\r", false);
    feed("abc\rdef\r"); // one read
    ASSERT_EQ(std::vector<std::uint32_t>{3}, counts);
    for (const int r : results)
        EXPECT_GE(r, 0);
    EXPECT_EQ("abc\rdef\r", got);
    EXPECT_EQ(0u, d->InBuffUsed());

    // Later lines are counted as before.
    feed("gh\r");
    EXPECT_EQ((std::vector<std::uint32_t>{3, 2}), counts);
    EXPECT_EQ("abc\rdef\rgh\r", got);
}

TEST_F(Input, BytesPassingWhileHandlersAreHeldAreScannedOnce)
{
    listen();
    d->AddDataTrigger("Z", false);
    std::string bytes(20 * 1024, '.');
    bytes[50] = 'Z';    // written over before the scan: lost to it
    bytes[16484] = 'Z'; // still in the buffer, where the first round began
    d->SetEventBusy(true);
    passWhileHeld(bytes);
    EXPECT_TRUE(notes.empty());
    d->SetEventBusy(false);
    pump();
    EXPECT_EQ(1u, only(kMsgTriggerData).size());
    feed("..Z");
    EXPECT_EQ(2u, only(kMsgTriggerData).size());
}

TEST_F(Input, APartialMatchDoesNotReachAcrossBytesTheScanLost)
{
    listen();
    d->AddDataTrigger("AB", false);
    feed("xA"); // begins a match
    std::string bytes(20 * 1024, '.');
    bytes[bytes.size() - kDispatchBufferSize] = 'B'; // the oldest byte still there
    d->SetEventBusy(true);
    passWhileHeld(bytes);
    d->SetEventBusy(false);
    pump();
    EXPECT_TRUE(only(kMsgTriggerData).empty());
    feed("AB");
    EXPECT_EQ(1u, only(kMsgTriggerData).size());
}

// A plain rendering of the match walk: slots 1..n, slot 1 always
// looked at; a later one when it is active, or, as long as no slot holds a
// match begun or restarted with this byte, when the byte is the first of
// the string. A completion clears every slot, and the walk goes on.
std::vector<int> referenceWalk(const std::string& s, const std::string& text)
{
    const std::size_t n = s.size();
    std::vector<int> count(n, 0);
    std::vector<int> at;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::vector<bool> setNow(n, false); // slots set to 1 by this byte
        bool matched = false;
        for (std::size_t slot = 0; slot < n; ++slot) {
            bool begunNow = false;
            for (std::size_t j = 0; j < n; ++j)
                begunNow = begunNow || (setNow[j] && count[j] == 1);
            if (slot > 0 && count[slot] == 0 && (begunNow || c != s[0]))
                continue;
            int& k = count[slot];
            if (c == s[static_cast<std::size_t>(k)]) {
                ++k;
                setNow[slot] = k == 1;
                if (k == static_cast<int>(n)) {
                    matched = true;
                    std::fill(count.begin(), count.end(), 0);
                }
            } else if (c == s[0]) {
                k = 1;
                setNow[slot] = true;
            } else {
                k = 0;
            }
        }
        if (matched)
            at.push_back(static_cast<int>(i) + 1);
    }
    return at;
}

TEST_F(Input, MatchBegunBeforeACompletionIsFollowed)
{
    listen();
    EXPECT_EQ((std::vector<int>{3, 5, 7}), firings("aba", "abababa"));
    EXPECT_EQ((std::vector<int>{3, 5, 7}), referenceWalk("aba", "abababa"));
    // The cases the library has always promised.
    EXPECT_EQ((std::vector<int>{3}), firings("ab", "aab"));
    EXPECT_EQ((std::vector<int>{2, 3}), firings("aa", "aaa"));
    EXPECT_EQ((std::vector<int>{3, 5}), firings("aba", "ababa"));
}

TEST_F(Input, MatchWalkAgreesWithItsDescriptionOnRandomTwoLetterText)
{
    listen();
    std::mt19937 rng(4812);
    for (int round = 0; round < 3000; ++round) {
        const char letters[2] = {'a', 'b'};
        std::string s(1 + rng() % 6, 'a');
        for (char& c : s)
            c = letters[rng() % 2];
        std::string text(1 + rng() % 24, 'a');
        for (char& c : text)
            c = letters[rng() % 2];
        ASSERT_EQ(referenceWalk(s, text), firings(s, text)) << "trigger " << s << " on " << text;
    }
}

// A handler of an availability notice flushes the input: the data notice
// of the same match speaks of bytes that are gone and is not sent; the
// next line is announced whole.
TEST_F(Input, FlushInAHandlerDropsTheRestOfItsNotices)
{
    d->ChangeLengthTrigger(1);
    d->AddDataTrigger("\r", false);
    bool flushed = false;
    d->RegisterEventTriggerHandler(this, [&](std::uint32_t m, std::uint32_t s, std::int32_t t) {
        notes.push_back({m, s, t});
        if (m == kMsgTriggerAvail && !flushed) {
            flushed = true;
            EXPECT_EQ(0, d->FlushInBuffer());
            EXPECT_EQ(0u, d->InBuffUsed());
        }
    });
    feed("OLD\r");
    ASSERT_EQ(1u, notes.size());
    EXPECT_EQ(kMsgTriggerAvail, notes[0].msg);
    EXPECT_EQ(3u, notes[0].second);
    EXPECT_EQ(0u, d->InBuffUsed());

    // (The bytes left unread are announced again after the line's notices.)
    feed("NEW\r");
    ASSERT_GE(notes.size(), 3u);
    EXPECT_EQ(kMsgTriggerAvail, notes[1].msg);
    EXPECT_EQ(3u, notes[1].second);
    EXPECT_EQ(kMsgTriggerData, notes[2].msg);
    std::vector<std::uint8_t> buf(d->InBuffUsed());
    ASSERT_EQ(4u, buf.size());
    ASSERT_EQ(4, d->GetBlock(buf.data(), 4));
    EXPECT_EQ("NEW\r", std::string(buf.begin(), buf.end()));
}

// The reader keeps one block back while the I/O queue is full; a purge of
// the input drops it with all else received before the purge.
TEST_F(Input, FlushInBufferDropsTheBlockTheReaderHeldBack)
{
    const std::size_t old = kDispatchBufferSize + kIOQueueLimit + 3 * TSioPosixDispatcher::kReadBlockSize;
    st->push(std::vector<std::uint8_t>(old, 'o'));
    for (int i = 0; i < 4; ++i) {
        d->ReaderStep();
        d->ExtractData();
    }
    ASSERT_EQ(kDispatchBufferSize, d->InBuffUsed());
    ASSERT_EQ(1, d->ReaderStep()); // stalled, a block in hand
    ASSERT_FALSE(st->rx.empty());

    EXPECT_EQ(0, d->FlushInBuffer());
    EXPECT_EQ(0u, d->InBuffUsed());
    feed("new\r");
    for (int i = 0; i < 3; ++i)
        pump();
    std::vector<std::uint8_t> buf(d->InBuffUsed());
    ASSERT_EQ(4u, buf.size());
    ASSERT_EQ(4, d->GetBlock(buf.data(), 4));
    EXPECT_EQ("new\r", std::string(buf.begin(), buf.end()));
}

// A dispatcher with its threads running on an in-memory device, told of
// each line end ("\r").
class InputPurge : public ::testing::Test {
protected:
    void SetUp() override { kyd::platform::setMessageLoop(&loop); }
    void TearDown() override
    {
        if (d)
            d->DonePort();
        d.reset();
        kyd::platform::setMessageLoop(nullptr);
    }
    void open()
    {
        d = std::make_unique<TSioPosixDispatcher>(nullptr, std::make_unique<FakeSerialDevice>(st));
        d->RegisterEventTriggerHandler(&m, [this](std::uint32_t msg, std::uint32_t, std::int32_t) {
            if (msg != kMsgTriggerData)
                return;
            std::lock_guard lock(m);
            ++lineEnds;
            cv.notify_all();
        });
        ASSERT_EQ(0, d->InitPort("/dev/fake", 9600, Parity::None, 8, 1, 4096, 4096, 3));
        d->AddDataTrigger("\r", false);
    }
    bool waitForLineEnds(int n)
    {
        std::unique_lock lock(m);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return lineEnds == n; });
    }

    kyd::platform::PlainMessageLoop loop;
    std::shared_ptr<FakeDeviceState> st = std::make_shared<FakeDeviceState>();
    std::mutex m;
    std::condition_variable cv;
    int lineEnds = 0;
    std::unique_ptr<TSioPosixDispatcher> d;
};

// The same with the dispatcher's threads running: the reader has read all
// there is and holds the last block back from the full queue when the
// purge comes; only the line sent after it arrives.
TEST_F(InputPurge, StaleBytesDoNotFollowAPurgeWhileTheThreadsRun)
{
    st->push(std::vector<std::uint8_t>(kDispatchBufferSize + kIOQueueLimit + TSioPosixDispatcher::kReadBlockSize, 'o'));
    ASSERT_NO_FATAL_FAILURE(open());
    {
        std::unique_lock lock(st->mutex);
        ASSERT_TRUE(st->rxTaken.wait_for(lock, std::chrono::seconds(10), [&] { return st->rx.empty(); }));
    }
    EXPECT_EQ(0, d->FlushInBuffer());
    st->push("new\r");
    ASSERT_TRUE(waitForLineEnds(1));
    std::vector<std::uint8_t> buf(d->InBuffUsed());
    ASSERT_EQ(4u, buf.size());
    ASSERT_EQ(4, d->GetBlock(buf.data(), 4));
    EXPECT_EQ("new\r", std::string(buf.begin(), buf.end()));
}

// Bytes that come while the input is purged, once the device has dropped
// the old ones, are new: the reader may take them before the purge is
// over, and they still arrive. Repeated, as the reader races the purge.
TEST_F(InputPurge, BytesArrivingDuringAPurgeAreKept)
{
    st->afterFlushInput = [&] {
        const std::string line = "new\r";
        st->rx.insert(st->rx.end(), line.begin(), line.end());
        st->dataEvent.signal();
    };
    ASSERT_NO_FATAL_FAILURE(open());
    for (int i = 1; i <= 3000; ++i) {
        EXPECT_EQ(0, d->FlushInBuffer());
        ASSERT_TRUE(waitForLineEnds(i)) << "purge " << i;
        std::vector<std::uint8_t> buf(d->InBuffUsed());
        ASSERT_EQ(4u, buf.size()) << "purge " << i;
        ASSERT_EQ(4, d->GetBlock(buf.data(), 4));
        ASSERT_EQ("new\r", std::string(buf.begin(), buf.end()));
    }
}

} // namespace
} // namespace sio::test

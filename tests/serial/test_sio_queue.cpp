// TIOQueue: ownership, peek/pop, clear with held buffers, waits and the bound.
#include "platform/clock.h"
#include "serial/SioQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace sio;

namespace {

std::unique_ptr<TIOBuffer> data(std::int32_t size, std::uint8_t tag = 0)
{
    auto b = std::make_unique<TDataBuffer>(size);
    if (size > 0)
        b->Data[0] = tag;
    b->BytesFilled = size;
    return b;
}

} // namespace

TEST(SioQueue, PeekTwiceLendsOnlyOnce)
{
    TIOQueue q;
    ASSERT_TRUE(q.Push(data(256, 1)));
    TIOBuffer* first = q.Peek();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->InUse());
    EXPECT_EQ(q.Peek(), nullptr) << "still held by the consumer";
    first->SetInUse(false);
    EXPECT_EQ(q.Peek(), first) << "released: lent again";
    auto popped = q.Pop();
    EXPECT_EQ(popped.get(), first);
    EXPECT_EQ(q.Peek(), nullptr);
    EXPECT_EQ(q.Pop(), nullptr);
}

TEST(SioQueue, ClearKeepsTheHeldBuffer)
{
    TIOQueue q;
    q.Push(data(256, 1));
    q.Push(data(100, 2));
    q.Push(std::make_unique<TStatusBuffer>(0x80));
    EXPECT_EQ(q.TotalSize(), 256 + 100 + 4);
    TIOBuffer* held = q.Peek();
    q.Clear();
    EXPECT_EQ(q.Count(), 1u);
    EXPECT_EQ(q.TotalSize(), 256);
    EXPECT_EQ(static_cast<TDataBuffer*>(held)->Data[0], 1) << "the held buffer is intact";
    held->SetInUse(false);
    q.Clear();
    EXPECT_EQ(q.Count(), 0u);
    EXPECT_EQ(q.TotalSize(), 0);
}

TEST(SioQueue, StatusBehindDataComesAfterTheData)
{
    TIOQueue q;
    q.Push(data(10, 1));
    q.Push(data(10, 2));
    q.Push(std::make_unique<TStatusBuffer>(0x4));
    q.Push(data(10, 3));
    std::vector<int> seen;
    while (auto b = q.Pop()) {
        if (auto* d = dynamic_cast<TDataBuffer*>(b.get()))
            seen.push_back(d->Data[0]);
        else if (auto* s = dynamic_cast<TStatusBuffer*>(b.get()))
            seen.push_back(-static_cast<int>(s->Status));
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, -4, 3}));
}

TEST(SioQueue, PopTransfersOwnershipOfAHeldBuffer)
{
    TIOQueue q;
    q.Push(data(8));
    TIOBuffer* lent = q.Peek();
    std::unique_ptr<TIOBuffer> owned = q.Pop();
    EXPECT_EQ(owned.get(), lent);
    EXPECT_EQ(q.TotalSize(), 0);
}

TEST(SioQueue, LimitRefusesAndLeavesTheBufferWithTheCaller)
{
    TIOQueue q;
    q.SetLimit(512);
    EXPECT_TRUE(q.Push(data(256)));
    EXPECT_TRUE(q.Push(data(256)));
    std::unique_ptr<TIOBuffer> extra = data(1, 42);
    EXPECT_FALSE(q.Push(std::move(extra)));
    ASSERT_NE(extra, nullptr) << "refused: still ours";
    EXPECT_EQ(q.TotalSize(), 512);
    q.Pop();
    EXPECT_TRUE(q.Push(std::move(extra)));
    EXPECT_EQ(extra, nullptr) << "accepted: the queue owns it";
    q.SetLimit(0);
    EXPECT_TRUE(q.Push(data(4096)));
    EXPECT_FALSE(q.Push(nullptr));
}

TEST(SioQueue, LogBufferAccountsForItsBytes)
{
    const std::uint8_t bytes[] = {1, 2, 3};
    TLogBuffer b(1, 15001, 123, 7, bytes, 3);
    EXPECT_EQ(b.GetMoreData(), 3);
    EXPECT_EQ(b.MoreData, (std::vector<std::uint8_t>{1, 2, 3}));
    TLogBuffer empty(2, 0, 0, 0);
    EXPECT_EQ(empty.Size(), 0);
    EXPECT_THROW(TDataBuffer(-1), std::invalid_argument);
}

TEST(SioQueue, WaitForBufferReadyAtOnceWhenPushedBefore)
{
    kyd::platform::ScopedFakeClock fake; // a real wait would never end
    TIOQueue q;
    q.Push(data(1));
    EXPECT_EQ(q.WaitForBuffer(1000), WaitResult::Ready);
    EXPECT_EQ(q.WaitForBuffer(-1), WaitResult::Ready);
}

TEST(SioQueue, WaitForBufferTimesOutOnTheProcessClock)
{
    TIOQueue q;
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Timeout);
    EXPECT_EQ(q.WaitForBuffer(5), WaitResult::Timeout);

    kyd::platform::ScopedFakeClock fake;
    std::atomic<bool> done{false};
    std::int64_t start = fake->monotonicMs();
    std::thread ticker([&] {
        while (!done) {
            fake->advance(50);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    EXPECT_EQ(q.WaitForBuffer(1000), WaitResult::Timeout);
    done = true;
    ticker.join();
    EXPECT_GE(fake->monotonicMs() - start, 1000);
}

TEST(SioQueue, WakeReleasesAWaitingConsumer)
{
    TIOQueue q;
    std::atomic<int> result{-1};
    std::thread consumer([&] { result = static_cast<int>(q.WaitForBuffer(-1)); });
    q.Wake();
    consumer.join();
    EXPECT_EQ(result, static_cast<int>(WaitResult::Woken));
}

TEST(SioQueue, WakeBeforeTheWaitIsNotLostAndIsOneShot)
{
    TIOQueue q;
    q.Wake();
    EXPECT_EQ(q.WaitForBuffer(-1), WaitResult::Woken);
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Timeout);
    q.Wake();
    q.Push(data(1));
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Ready) << "data first";
    q.Pop();
    EXPECT_EQ(q.WaitForBuffer(0), WaitResult::Woken) << "the wake is still pending";
}

TEST(SioQueue, ProducerWaitsForSpaceUntilAPop)
{
    TIOQueue q;
    q.SetLimit(300);
    q.Push(data(256));
    EXPECT_TRUE(q.WaitForSpace(44, 0));
    EXPECT_FALSE(q.WaitForSpace(45, 0));
    std::atomic<bool> gotSpace{false};
    std::thread producer([&] { gotSpace = q.WaitForSpace(256, -1); });
    q.Pop();
    producer.join();
    EXPECT_TRUE(gotSpace);
}

TEST(SioQueue, WakeReleasesAWaitingProducer)
{
    TIOQueue q;
    q.SetLimit(10);
    q.Push(data(10));
    std::atomic<int> result{-1};
    std::thread producer([&] { result = q.WaitForSpace(1, -1) ? 1 : 0; });
    // The wake must reach the producer while it waits: repeat until it has
    // returned (a wake before its wait began is not seen).
    while (result < 0) {
        q.Wake();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    producer.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(q.Count(), 1u);
}

TEST(SioQueue, ConcurrentProducersAndOneConsumer)
{
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 2000;
    TIOQueue q;
    q.SetLimit(64 * 1024);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&q, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                std::unique_ptr<TIOBuffer> b;
                if (i % 10 == 9) {
                    b = std::make_unique<TStatusBuffer>(static_cast<std::uint32_t>(p << 16 | i));
                } else {
                    auto d = std::make_unique<TDataBuffer>(256);
                    d->Data[0] = static_cast<std::uint8_t>(p);
                    d->Data[1] = static_cast<std::uint8_t>(i & 0xFF);
                    d->Data[2] = static_cast<std::uint8_t>(i >> 8);
                    d->BytesFilled = 3;
                    b = std::move(d);
                }
                while (!q.Push(std::move(b))) // full: wait for the consumer
                    q.WaitForSpace(b->Size(), -1);
            }
        });
    }

    std::vector<int> next(kProducers, 0);
    int received = 0;
    bool inOrder = true;
    while (received < kProducers * kPerProducer) {
        if (q.WaitForBuffer(-1) != WaitResult::Ready)
            continue;
        // Alternate the two consumer styles: peek-then-pop and plain pop.
        std::unique_ptr<TIOBuffer> b;
        if (received % 2 == 0) {
            TIOBuffer* lent = q.Peek();
            ASSERT_NE(lent, nullptr);
            b = q.Pop();
            ASSERT_EQ(b.get(), lent);
        } else {
            b = q.Pop();
        }
        ASSERT_NE(b, nullptr);
        int p = 0;
        int i = 0;
        if (auto* d = dynamic_cast<TDataBuffer*>(b.get())) {
            p = d->Data[0];
            i = d->Data[1] | d->Data[2] << 8;
        } else {
            auto* s = static_cast<TStatusBuffer*>(b.get());
            p = static_cast<int>(s->Status >> 16);
            i = static_cast<int>(s->Status & 0xFFFF);
        }
        inOrder = inOrder && i == next[p];
        next[p] = i + 1;
        ++received;
    }
    for (auto& t : producers)
        t.join();
    EXPECT_TRUE(inOrder) << "every producer's buffers arrive in its order";
    EXPECT_EQ(q.Count(), 0u);
    EXPECT_EQ(q.TotalSize(), 0);
}

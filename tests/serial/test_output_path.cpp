// The output path with the dispatcher's threads running on an in-memory
// device: a block handed over while nothing is queued goes to the device at
// once, what the device does not take is sent by the writer, and no byte
// ever overtakes another.
#include "serial/SioPosix.h"
#include "support_fake_device.h"

#include "platform/message_loop.h"
#include "platform/plain_message_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace sio::test {
namespace {

namespace pf = kyd::platform;

class OutputPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        pf::setMessageLoop(&loop);
        d = std::make_unique<TSioPosixDispatcher>(nullptr, std::make_unique<FakeSerialDevice>(st));
    }
    void TearDown() override
    {
        d.reset();
        pf::setMessageLoop(nullptr);
    }
    void open() { ASSERT_EQ(0, d->InitPort("/dev/fake", 9600, Parity::Even, 7, 1, 4096, 4096, 3)); }
    std::string sent()
    {
        std::lock_guard lock(st->mutex);
        return std::string(st->tx.begin(), st->tx.end());
    }
    void setChunk(std::size_t n)
    {
        {
            std::lock_guard lock(st->mutex);
            st->writeChunk = n;
        }
        st->writableEvent.signal();
    }
    // Waits until the device holds n bytes (at most 5 s).
    bool waitSent(std::size_t n)
    {
        std::unique_lock lock(st->mutex);
        return st->txChanged.wait_for(lock, std::chrono::seconds(5), [&] { return st->tx.size() >= n; });
    }

    pf::PlainMessageLoop loop;
    std::shared_ptr<FakeDeviceState> st = std::make_shared<FakeDeviceState>();
    std::unique_ptr<TSioPosixDispatcher> d;
};

TEST_F(OutputPath, IdlePortHandsTheBlockToTheDeviceAtOnce)
{
    open();
    ASSERT_EQ(0, d->PutString("333\r"));
    EXPECT_EQ("333\r", sent());
    EXPECT_EQ(0u, d->OutBufUsed());
    EXPECT_EQ(0, d->PutString("030\r"));
    EXPECT_EQ("333\r030\r", sent());
    d->DonePort();
}

TEST_F(OutputPath, WhatTheDeviceDoesNotTakeIsSentInOrderByTheWriter)
{
    st->writeChunk = 3;
    open();
    ASSERT_EQ(0, d->PutString("ABCDEFGHIJ"));
    ASSERT_EQ(0, d->PutString("KLM"));
    ASSERT_EQ(0, d->PutString("N"));
    ASSERT_TRUE(waitSent(14));
    EXPECT_EQ("ABCDEFGHIJKLMN", sent());
    d->DonePort();
}

TEST_F(OutputPath, ManyBlocksWhileTheWriterIsBusyKeepTheirOrder)
{
    st->writeChunk = 5;
    open();
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        std::string block = std::to_string(i) + std::string(static_cast<std::size_t>(i % 7), static_cast<char>('a' + i % 26)) + ";";
        ASSERT_EQ(0, d->PutString(block)); // all blocks together fit in the buffer
        expected += block;
    }
    ASSERT_TRUE(waitSent(expected.size()));
    EXPECT_EQ(expected, sent());
    d->DonePort();
}

TEST_F(OutputPath, NothingIsWrittenDirectlyWhileOutputIsQueued)
{
    st->writeChunk = 0; // the device takes nothing for now
    open();
    ASSERT_EQ(0, d->PutString("first"));
    EXPECT_EQ(5u, d->OutBufUsed());
    ASSERT_EQ(0, d->PutString("second"));
    EXPECT_EQ("", sent());
    setChunk(SIZE_MAX);
    ASSERT_TRUE(waitSent(11));
    EXPECT_EQ("firstsecond", sent());
    d->DonePort();
}

TEST_F(OutputPath, LineChangeOnTheMainThreadWaitsForTheWriterAndIsWokenByIt)
{
    st->writeChunk = 0;
    open();
    ASSERT_EQ(0, d->PutString("hello"));
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        setChunk(SIZE_MAX);
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(0, d->ChangeBaud(19200)); // waits (pumping) until the output is gone
    const auto waited = std::chrono::steady_clock::now() - t0;
    later.join();
    EXPECT_EQ("hello", sent());
    EXPECT_EQ(19200u, st->settings.baud);
    // Woken when the writer emptied the buffer, not by the 10 s limit.
    EXPECT_LT(waited, std::chrono::seconds(5));
    d->DonePort();
}

// The character times a line change waits for what was sent last pass with
// the message loop running, like every wait of the library on the main
// thread.
TEST_F(OutputPath, LineChangeOnTheMainThreadKeepsTheLoopRunningWhileTheLastCharactersGoOut)
{
    open();
    ASSERT_EQ(0, d->PutString("hello")); // taken by the device at once
    ASSERT_TRUE(waitSent(5));
    bool inside = false;
    bool ranInside = false;
    loop.postCall([&] { ranInside = inside; });
    inside = true;
    EXPECT_EQ(0, d->ChangeBaud(1200));
    inside = false;
    EXPECT_TRUE(ranInside);
    d->DonePort();
}

} // namespace
} // namespace sio::test

// The fixture of the dispatcher core tests: a dispatcher on an in-memory
// device, without threads (the test runs each thread's work by hand), on a
// fake clock.
#pragma once

#include "platform/clock.h"
#include "serial/SioPosix.h"
#include "support_fake_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sio::test {

struct Note {
    std::uint32_t msg, second;
    std::int32_t third;
};

class Core : public ::testing::Test {
protected:
    void SetUp() override
    {
        d = std::make_unique<TSioPosixDispatcher>(nullptr, std::make_unique<FakeSerialDevice>(st));
        d->SetManualThreads(true);
        ASSERT_EQ(0, d->InitPort("/dev/fake", 9600, Parity::Even, 7, 1, 4096, 4096, 3));
    }

    // Moves device input through the I/O queue into the dispatch buffer and
    // runs the trigger checks, as the threads would.
    void pump()
    {
        d->ReaderStep();
        for (int i = 0; i < 100 && d->InQueueUsed() > 0; ++i)
            d->DispatchInputPass();
        d->DispatchInputPass();
    }
    void feed(const std::string& s)
    {
        st->push(s);
        pump();
    }
    // Records every notification; reads `take` bytes of each availability notice.
    void listen(std::uint32_t take = 0)
    {
        d->RegisterEventTriggerHandler(this, [this, take](std::uint32_t m, std::uint32_t s, std::int32_t t) {
            notes.push_back({m, s, t});
            if (m == kMsgTriggerAvail && take) {
                std::vector<std::uint8_t> buf(std::min(take, s));
                d->GetBlock(buf.data(), static_cast<std::uint32_t>(buf.size()));
                read.insert(read.end(), buf.begin(), buf.end());
            }
        });
    }
    std::vector<Note> only(std::uint32_t msg) const
    {
        std::vector<Note> r;
        for (auto& n : notes)
            if (n.msg == msg)
                r.push_back(n);
        return r;
    }

    kyd::platform::ScopedFakeClock clock;
    std::shared_ptr<FakeDeviceState> st = std::make_shared<FakeDeviceState>();
    std::unique_ptr<TSioPosixDispatcher> d;
    std::vector<Note> notes;
    std::vector<std::uint8_t> read;
};

} // namespace sio::test

// The firmware loader on the serial library's port component, talking to the
// simulated bootstrap loader on a pseudo-terminal (its own thread answers on
// the master side), with a plain message loop, a fake clock and recording
// dialogs. Time-outs run on the fake clock: the simulator's events can move
// it past a wait, so a silent target costs no real time.
#pragma once

#include "firmware/Unit_HexLoaders.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/plain_message_loop.h"
#include "sim/boot_transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kyd::firmware::test {

class RecordingProgress final : public TLoaderProgress {
public:
    int Position() const override { return position; }
    void SetPosition(int value) override { position = value; }
    int Max() const override { return max; }
    void SetMax(int value) override { max = value; }
    int position = 0;
    int max = 100;
};

// An Intel HEX file of size data bytes from address base in records of r
// bytes (type-04 records where the upper address changes), then the end
// record; the data are a fixed pattern of seed.
std::vector<std::string> MakeHexFile(std::uint32_t base, std::size_t size, std::size_t r, unsigned seed = 1);
// The data byte of MakeHexFile at offset i.
std::uint8_t PatternByte(std::size_t i, unsigned seed = 1);

struct BootStack {
    static constexpr int kCom = 46;

    explicit BootStack(sim::BootConfig config = {}, bool fakeClock = true);
    ~BootStack();

    // When the simulator logs event, the fake clock jumps ms ahead (from
    // inside the loader's wait).
    void AdvanceOn(const std::string& event, std::int64_t ms);
    // When the simulator logs event, the loader is told to terminate.
    void TerminateOn(const std::string& event);

    int Connect() { return loader->Connect(); }
    // Connects and erases the CMC's flash through its erase routine.
    void ConnectAndErase();
    std::vector<std::uint8_t> Image(int node = 0);
    int Count(const std::string& event);
    // After a record's error byte the board still sends its alive byte: the
    // loader's wait ends at the error byte, so the test waits for the alive
    // byte to have come in before it polls (on the event, not on time).
    bool WaitForAliveByte();
    template <class F>
    void Faults(F&& f)
    {
        sim.withCore([&](sim::BootCore& c) { f(c.faults()); });
    }

    platform::FakeClock clock;
    bool fake;
    platform::PlainMessageLoop loop;
    platform::FakeDialogs dialogs;
    sim::BootSimulator sim;
    std::string linkPath;
    std::unique_ptr<sim::BootPtyTransport> transport;
    sio::TSioComPort port;
    RecordingProgress progress;
    std::string baudText = "9600";
    std::unique_ptr<TDMHexLoader> loader;

private:
    std::mutex mutex_;
    std::map<std::string, std::int64_t> advances_;
    std::vector<std::string> terminates_;
};

class BootFixture : public ::testing::Test, protected BootStack {
};

} // namespace kyd::firmware::test

// An in-memory serial device for dispatcher tests. The test keeps the
// shared state after handing the device to a dispatcher.
#pragma once

#include "platform/serial_device.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace sio::test {

struct FakeDeviceState {
    std::mutex mutex;
    bool open = false;
    std::deque<std::uint8_t> rx;     // bytes the device will deliver
    std::vector<std::uint8_t> tx;    // bytes written to the device
    kyd::platform::LineSettings settings;
    int setSettingsCalls = 0;
    bool refuseBaudAbove = false;    // refuse any baud above refuseLimit
    std::uint32_t refuseLimit = 0;
    bool rts = false, dtr = false, brk = false;
    unsigned lines = 0;              // CTS/DSR/RI/DCD bits as read
    std::uint32_t errors = 0;        // line errors reported once
    std::size_t writeChunk = SIZE_MAX; // most bytes one write takes
    bool hangup = false;
    kyd::platform::WakeEvent dataEvent;
    kyd::platform::WakeEvent writableEvent; // signal after raising writeChunk from 0
    std::condition_variable txChanged;      // notified (under mutex) when tx grows
    std::condition_variable rxTaken;        // notified (under mutex) when a read takes bytes
    // Runs (under mutex) right after an input flush: bytes arriving then.
    std::function<void()> afterFlushInput;

    void push(const std::vector<std::uint8_t>& bytes);
    void push(const std::string& s);
    std::vector<std::uint8_t> takeTx();
};

class FakeSerialDevice final : public kyd::platform::SerialDevice {
public:
    explicit FakeSerialDevice(std::shared_ptr<FakeDeviceState> s) : s_(std::move(s)) {}

    int open(const std::string& path) override;
    void close() override;
    bool isOpen() const override;
    std::string path() const override { return path_; }
    int setSettings(const kyd::platform::LineSettings& s) override;
    int getSettings(kyd::platform::LineSettings& s) override;
    long read(void* buf, std::size_t len) override;
    long write(const void* buf, std::size_t len) override;
    int setDtr(bool on) override;
    int setRts(bool on) override;
    int setBreak(bool on) override;
    int modemLines(unsigned& lines) override;
    bool modemLinesEmulated() const override { return false; }
    int flushInput() override;
    int flushOutput() override { return 0; }
    long outputQueued() override { return 0; }
    int takeLineErrors(std::uint32_t& bits) override;
    kyd::platform::WaitResult waitReadable(kyd::platform::WakeEvent& wake, int timeoutMs) override;
    kyd::platform::WaitResult waitWritable(kyd::platform::WakeEvent& wake, int timeoutMs) override;
    int lastErrno() const override { return 0; }
    std::string lastErrorText() const override { return {}; }

private:
    std::shared_ptr<FakeDeviceState> s_;
    std::string path_;
};

} // namespace sio::test

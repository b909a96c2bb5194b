// Helpers for the port component tests: the line settings of a pty slave as
// the kernel holds them, a fixture with a message loop, and a wrapper device
// that refuses chosen operations.
#pragma once

#include "platform/plain_message_loop.h"
#include "platform/serial_device.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace sio::test {

struct SlaveLine {
    std::uint32_t baud = 0;
    bool raw = false;    // no canonical mode, echo, signals or output processing
    bool twoStop = false;
};

// Keeps a descriptor of a pty slave (opened before the port takes it) to
// read the slave's settings back.
class SlaveProbe {
public:
    explicit SlaveProbe(const std::string& slavePath);
    ~SlaveProbe();
    SlaveProbe(const SlaveProbe&) = delete;
    SlaveProbe& operator=(const SlaveProbe&) = delete;
    bool ok() const { return fd_ >= 0; }
    SlaveLine read() const;

private:
    int fd_ = -1;
};

// Counts the status thread's polls of a RefusingDevice (each poll asks for
// the line errors once) and lets a test wait for them.
class PollCounter {
public:
    void count();
    std::uint64_t polls();
    // Blocks until at least n polls were counted; false after maxSeconds
    // (which only a failing test meets).
    bool waitFor(std::uint64_t n, int maxSeconds);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::uint64_t polls_ = 0;
};

// What a RefusingDevice refuses (kDevIo), switchable while it is in use.
struct Refusals {
    std::atomic<bool> modemLines{false}; // a driver without modem lines
    std::atomic<bool> flushOutput{false};
};

// A device that forwards to another and can refuse RTS changes, the
// modem-line query and output purges, and count the status polls.
class RefusingDevice final : public kyd::platform::SerialDevice {
public:
    RefusingDevice(std::unique_ptr<kyd::platform::SerialDevice> inner, std::shared_ptr<bool> refuseRts,
                   std::shared_ptr<Refusals> refusals = nullptr, std::shared_ptr<PollCounter> polls = nullptr)
        : inner_(std::move(inner)), refuseRts_(std::move(refuseRts)),
          refusals_(refusals ? std::move(refusals) : std::make_shared<Refusals>()), polls_(std::move(polls)) {}
    int open(const std::string& path) override { return inner_->open(path); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    std::string path() const override { return inner_->path(); }
    int setSettings(const kyd::platform::LineSettings& s) override { return inner_->setSettings(s); }
    int getSettings(kyd::platform::LineSettings& s) override { return inner_->getSettings(s); }
    long read(void* b, std::size_t n) override { return inner_->read(b, n); }
    long write(const void* b, std::size_t n) override { return inner_->write(b, n); }
    int setDtr(bool on) override { return inner_->setDtr(on); }
    int setRts(bool on) override { return *refuseRts_ ? kyd::platform::kDevIo : inner_->setRts(on); }
    int setBreak(bool on) override { return inner_->setBreak(on); }
    int modemLines(unsigned& l) override
    {
        return refusals_->modemLines.load() ? kyd::platform::kDevIo : inner_->modemLines(l);
    }
    bool modemLinesEmulated() const override { return inner_->modemLinesEmulated(); }
    int flushInput() override { return inner_->flushInput(); }
    int flushOutput() override
    {
        return refusals_->flushOutput.load() ? kyd::platform::kDevIo : inner_->flushOutput();
    }
    long outputQueued() override { return inner_->outputQueued(); }
    int takeLineErrors(std::uint32_t& b) override
    {
        const int r = inner_->takeLineErrors(b);
        if (polls_)
            polls_->count();
        return r;
    }
    kyd::platform::WaitResult waitReadable(kyd::platform::WakeEvent& w, int t) override { return inner_->waitReadable(w, t); }
    kyd::platform::WaitResult waitWritable(kyd::platform::WakeEvent& w, int t) override { return inner_->waitWritable(w, t); }
    int lastErrno() const override { return inner_->lastErrno(); }
    std::string lastErrorText() const override { return inner_->lastErrorText(); }

private:
    std::unique_ptr<kyd::platform::SerialDevice> inner_;
    std::shared_ptr<bool> refuseRts_;
    std::shared_ptr<Refusals> refusals_;
    std::shared_ptr<PollCounter> polls_;
};

} // namespace sio::test

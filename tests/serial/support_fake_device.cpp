#include "support_fake_device.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sio::test {

namespace pf = kyd::platform;

void FakeDeviceState::push(const std::vector<std::uint8_t>& bytes)
{
    {
        std::lock_guard lock(mutex);
        rx.insert(rx.end(), bytes.begin(), bytes.end());
    }
    dataEvent.signal();
}

void FakeDeviceState::push(const std::string& s)
{
    push(std::vector<std::uint8_t>(s.begin(), s.end()));
}

std::vector<std::uint8_t> FakeDeviceState::takeTx()
{
    std::lock_guard lock(mutex);
    return std::exchange(tx, {});
}

int FakeSerialDevice::open(const std::string& path)
{
    std::lock_guard lock(s_->mutex);
    if (s_->open)
        return pf::kDevBusy;
    s_->open = true;
    path_ = path;
    return pf::kDevOk;
}

void FakeSerialDevice::close()
{
    std::lock_guard lock(s_->mutex);
    s_->open = false;
}

bool FakeSerialDevice::isOpen() const
{
    std::lock_guard lock(s_->mutex);
    return s_->open;
}

int FakeSerialDevice::setSettings(const pf::LineSettings& s)
{
    std::lock_guard lock(s_->mutex);
    ++s_->setSettingsCalls;
    pf::LineSettings applied = s;
    if (s_->refuseBaudAbove && s.baud > s_->refuseLimit)
        applied.baud = s_->settings.baud;
    s_->settings = applied;
    return applied == s ? pf::kDevOk : pf::kDevRefused;
}

int FakeSerialDevice::getSettings(pf::LineSettings& s)
{
    std::lock_guard lock(s_->mutex);
    s = s_->settings;
    return pf::kDevOk;
}

long FakeSerialDevice::read(void* buf, std::size_t len)
{
    std::lock_guard lock(s_->mutex);
    if (s_->rx.empty())
        return s_->hangup ? pf::kDevHangup : 0;
    const std::size_t n = std::min(len, s_->rx.size());
    std::copy_n(s_->rx.begin(), n, static_cast<std::uint8_t*>(buf));
    s_->rx.erase(s_->rx.begin(), s_->rx.begin() + static_cast<long>(n));
    s_->rxTaken.notify_all();
    return static_cast<long>(n);
}

long FakeSerialDevice::write(const void* buf, std::size_t len)
{
    std::lock_guard lock(s_->mutex);
    if (s_->hangup)
        return pf::kDevHangup;
    const std::size_t n = std::min(len, s_->writeChunk);
    const auto* p = static_cast<const std::uint8_t*>(buf);
    s_->tx.insert(s_->tx.end(), p, p + n);
    if (n > 0)
        s_->txChanged.notify_all();
    return static_cast<long>(n);
}

int FakeSerialDevice::setDtr(bool on)
{
    std::lock_guard lock(s_->mutex);
    s_->dtr = on;
    return pf::kDevOk;
}

int FakeSerialDevice::setRts(bool on)
{
    std::lock_guard lock(s_->mutex);
    s_->rts = on;
    return pf::kDevOk;
}

int FakeSerialDevice::setBreak(bool on)
{
    std::lock_guard lock(s_->mutex);
    s_->brk = on;
    return pf::kDevOk;
}

int FakeSerialDevice::modemLines(unsigned& lines)
{
    std::lock_guard lock(s_->mutex);
    lines = s_->lines;
    return s_->hangup ? pf::kDevHangup : pf::kDevOk;
}

int FakeSerialDevice::flushInput()
{
    std::lock_guard lock(s_->mutex);
    s_->rx.clear();
    if (s_->afterFlushInput)
        s_->afterFlushInput();
    return pf::kDevOk;
}

int FakeSerialDevice::takeLineErrors(std::uint32_t& bits)
{
    std::lock_guard lock(s_->mutex);
    bits = std::exchange(s_->errors, 0);
    return pf::kDevOk;
}

pf::WaitResult FakeSerialDevice::waitReadable(pf::WakeEvent& wake, int timeoutMs)
{
    {
        std::lock_guard lock(s_->mutex);
        if (!s_->rx.empty())
            return pf::WaitResult::Ready;
        if (s_->hangup)
            return pf::WaitResult::Hangup;
    }
    pf::WakeEvent* events[2] = {&wake, &s_->dataEvent};
    const int r = pf::waitAny(events, 2, timeoutMs);
    if (r == 0)
        return pf::WaitResult::Woken;
    if (r == 1)
        return pf::WaitResult::Ready;
    return pf::WaitResult::Timeout;
}

pf::WaitResult FakeSerialDevice::waitWritable(pf::WakeEvent& wake, int timeoutMs)
{
    pf::WakeEvent* events[2] = {&wake, &s_->writableEvent};
    const int r = pf::waitAny(events, 2, timeoutMs);
    if (r == 0)
        return pf::WaitResult::Woken;
    if (r == 1)
        return pf::WaitResult::Ready;
    return pf::WaitResult::Timeout;
}

} // namespace sio::test

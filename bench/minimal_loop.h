// The yardstick of the round-trip benchmarks: the same exchange as the
// library's, done with nothing but write, poll and read on the device.
#pragma once

#include "platform/serial_device.h"

#include <chrono>
#include <string>

namespace kyd::bench {

// Seconds for count exchanges (after warmUp more) of command against
// expected reply on the device at path, 9600 7E1; negative on a failure.
inline double MinimalLoopSeconds(const std::string& path, const std::string& command,
                                 const std::string& expected, int count, int warmUp)
{
    namespace pf = kyd::platform;
    auto dev = pf::createPosixSerialDevice();
    if (dev->open(path) != pf::kDevOk)
        return -1;
    pf::LineSettings l;
    l.baud = 9600;
    l.dataBits = 7;
    l.parity = pf::Parity::Even;
    dev->setSettings(l);
    pf::WakeEvent wake;
    char buf[256];
    const auto exchange = [&]() -> bool {
        std::size_t off = 0;
        while (off < command.size()) {
            const long n = dev->write(command.data() + off, command.size() - off);
            if (n < 0)
                return false;
            off += static_cast<std::size_t>(n);
        }
        std::string got;
        while (got.find('\r') == std::string::npos) {
            if (dev->waitReadable(wake, 5000) != pf::WaitResult::Ready)
                return false;
            const long n = dev->read(buf, sizeof buf);
            if (n < 0)
                return false;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got == expected;
    };
    for (int i = 0; i < warmUp; ++i)
        if (!exchange())
            return -1;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        if (!exchange())
            return -1;
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    dev->close();
    return s;
}

} // namespace kyd::bench

// Line pacing: how long characters take on a real serial line.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace kyd::sim {

struct LinePacing {
    int baud = 0;         // 0: no pacing
    // start + 7 data + parity + stop = 10, and so is 8N1 (start + 8 data +
    // stop); 11 with a second stop bit or with 8 data bits and parity.
    int bitsPerChar = 10;
    // Pace at the rate and character size the line is set to now (baud and
    // bitsPerChar are then taken from the line; see linePacing()).
    bool followLine = false;
    bool enabled() const { return baud > 0; }
    // Microseconds that n characters occupy the line.
    double microsFor(std::size_t n) const
    {
        return enabled() ? static_cast<double>(n) * bitsPerChar * 1e6 / baud : 0.0;
    }
    // Whole microseconds from the start of a transmission until character
    // n (counted from 0) has arrived completely: (n + 1) character times,
    // reckoned from the start, so rounding never accumulates.
    std::int64_t arrivalUs(std::size_t n) const
    {
        return static_cast<std::int64_t>(std::ceil(microsFor(n + 1)));
    }
};

// The time base of a paced line in microseconds, for tests: it stands still
// until the line waits, and a wait moves it straight to its end. Every
// write to the line is recorded with the time it was made.
class FakeLineClock {
public:
    explicit FakeLineClock(std::int64_t startUs = 0) : nowUs_(startUs) {}
    std::int64_t nowUs() const
    {
        std::lock_guard lock(mutex_);
        return nowUs_;
    }
    void advance(std::int64_t us)
    {
        std::lock_guard lock(mutex_);
        nowUs_ += us;
    }
    void reach(std::int64_t dueUs)
    {
        std::lock_guard lock(mutex_);
        if (nowUs_ < dueUs)
            nowUs_ = dueUs;
    }

    struct Write {
        std::int64_t atUs;
        char byte;
    };
    void wrote(const char* data, std::size_t n)
    {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < n; ++i)
            writes_.push_back({nowUs_, data[i]});
    }
    std::vector<Write> writes() const
    {
        std::lock_guard lock(mutex_);
        return writes_;
    }

private:
    mutable std::mutex mutex_;
    std::int64_t nowUs_;
    std::vector<Write> writes_;
};

} // namespace kyd::sim

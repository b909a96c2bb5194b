// The memory a piece of a test takes at its peak, for loads run in a child
// process: the peak is reset when the measure starts.
#pragma once

#include <fstream>
#include <string>

namespace kyd::widgets::test {

// A value of /proc/self/status in kB ("VmRSS:", "VmHWM:"); -1 when missing.
inline long StatusKb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string word;
    while (f >> word)
        if (word == key) {
            long kb = 0;
            f >> kb;
            return kb;
        }
    return -1;
}

// Resident memory grown since construction, at its peak, in MB.
class PeakMemory {
public:
    PeakMemory()
    {
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts now
        before_ = StatusKb("VmRSS:");
    }
    long GrownMb() const { return (StatusKb("VmHWM:") - before_) / 1024; }

private:
    long before_;
};

} // namespace kyd::widgets::test

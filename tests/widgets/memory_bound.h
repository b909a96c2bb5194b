// Runs a piece of a test in a child process under a memory bound, for
// inputs built to make a loader take all the memory it can get: the child's
// heap may grow by at most the bound. Without AddressSanitizer the child's
// address space is limited to what it has plus twice the bound (so a
// runaway ends in bad_alloc rather than taking the machine's memory, while
// code that only stays within the bound because the limit stopped it, its
// failure handled as a damaged input, is still seen going past the bound)
// and its resident memory growth is checked; under AddressSanitizer, whose
// shadow memory and quarantine make both meaningless, the bytes the
// allocator hands out are counted instead and their peak is checked.
//
// HeapGrowthLimit makes the heap run out on purpose, to see an operation
// fail for want of memory: under AddressSanitizer too, since it limits the
// data segment (which the runtime's reserved shadow is already part of) and
// the test programs let its allocator answer a failure with null.
#pragma once

#include "support/child_process.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <fstream>
#include <string>

#ifdef KYD_TEST_UNDER_ASAN
// The allocator's own interface (not every compiler ships its header).
extern "C" {
std::size_t __sanitizer_get_current_allocated_bytes();
std::size_t __sanitizer_get_allocated_size(const volatile void* p);
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                              void (*free_hook)(const volatile void*));
}
#endif

namespace kyd::test {

constexpr std::int64_t kMemoryBoundBytes = 256ll << 20;

namespace memory_bound_detail {

#ifdef KYD_TEST_UNDER_ASAN
inline std::atomic<std::int64_t> live{0}, peak{0};

inline void OnMalloc(const volatile void*, std::size_t size)
{
    const std::int64_t now = live.fetch_add(static_cast<std::int64_t>(size)) + static_cast<std::int64_t>(size);
    std::int64_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

inline void OnFree(const volatile void* p)
{
    live.fetch_sub(static_cast<std::int64_t>(__sanitizer_get_allocated_size(p)));
}
#endif

// A figure of /proc/self/statm, in bytes: 0 the address space, 1 resident.
inline std::int64_t Statm(int field)
{
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    long long v[2] = {0, 0};
    const int n = std::fscanf(f, "%lld %lld", &v[0], &v[1]);
    std::fclose(f);
    return n == 2 ? v[field] * ::sysconf(_SC_PAGESIZE) : 0;
}

// A value of /proc/self/status in bytes ("VmData:"); -1 when missing.
inline std::int64_t StatusBytes(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string word;
    while (f >> word)
        if (word == key) {
            std::int64_t kb = 0;
            f >> kb;
            return kb * 1024;
        }
    return -1;
}

} // namespace memory_bound_detail

// Runs body in a child; the report is body's own, or what broke the bound.
inline ChildResult runWithinMemoryBound(const std::function<std::string()>& body,
                                        std::int64_t bound = kMemoryBoundBytes)
{
    return runInChild([&]() -> std::string {
        namespace d = memory_bound_detail;
#ifdef KYD_TEST_UNDER_ASAN
        d::live = static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
        d::peak = d::live.load();
        const std::int64_t start = d::live;
        __sanitizer_install_malloc_and_free_hooks(d::OnMalloc, d::OnFree);
        std::string r = body();
        const std::int64_t grown = d::peak - start;
#else
        const auto space = static_cast<rlim_t>(d::Statm(0) + 2 * bound);
        const rlimit as{space, space};
        if (::setrlimit(RLIMIT_AS, &as) != 0)
            return std::string("setrlimit: ") + std::strerror(errno);
        const std::int64_t start = d::Statm(1);
        std::string r = body();
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const std::int64_t grown = std::int64_t(usage.ru_maxrss) * 1024 - start;
#endif
        if (r.empty() && grown > bound)
            r = "peak memory grew by " + std::to_string(grown >> 20) + " MB";
        return r;
    });
}

// While it lives, the process's heap may grow by at most `bytes` more: a
// larger allocation fails (malloc answers null, new throws bad_alloc; under
// AddressSanitizer a failed new ends the process, so the code under test
// should meet the limit through malloc, as Qt's pictures do). For a child
// process: the limit holds for every thread. ok() is false when the limit
// could not be set.
class HeapGrowthLimit {
public:
    explicit HeapGrowthLimit(std::int64_t bytes)
    {
        const std::int64_t data = memory_bound_detail::StatusBytes("VmData:");
        if (data < 0 || ::getrlimit(RLIMIT_DATA, &old_) != 0)
            return;
        const rlimit tight{static_cast<rlim_t>(data + bytes), old_.rlim_max};
        ok_ = ::setrlimit(RLIMIT_DATA, &tight) == 0;
    }
    ~HeapGrowthLimit()
    {
        if (ok_)
            ::setrlimit(RLIMIT_DATA, &old_);
    }
    HeapGrowthLimit(const HeapGrowthLimit&) = delete;
    HeapGrowthLimit& operator=(const HeapGrowthLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    bool ok_ = false;
};

} // namespace kyd::test

// Built-in defaults of the AddressSanitizer runtime for the test programs
// of the asan build; ASAN_OPTIONS and LSAN_OPTIONS in the environment still
// take precedence.

// Exact unwinding at every allocation: a leak report (and a suppression)
// then sees the frames inside libraries built without frame pointers.
// An allocation that fails answers null, as the C library's does, instead
// of ending the program: tests that run code out of memory on purpose (a
// data-segment limit) see it handle the failure.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0:allocator_may_return_null=1";
}

// Third-party leaks only; see the file for why each is there.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_options()
{
    return "suppressions=" KYD_LSAN_SUPPRESSIONS;
}

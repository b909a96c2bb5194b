// Built-in defaults of the AddressSanitizer runtime for the test programs
// of the asan build; ASAN_OPTIONS and LSAN_OPTIONS in the environment still
// take precedence.

// Exact unwinding at every allocation: a leak report (and a suppression)
// then sees the frames inside libraries built without frame pointers.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

// Third-party leaks only; see the file for why each is there.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_options()
{
    return "suppressions=" KYD_LSAN_SUPPRESSIONS;
}

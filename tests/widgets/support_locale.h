// A comma-decimal locale for the tests that must not depend on the C
// library's numeric conventions: de_DE.UTF-8, the system's when installed,
// else made once with localedef (from the system's locale sources) into a
// folder of the temporary directory that LOCPATH then names.
#pragma once

#include <string>

namespace kyd::test_support {

inline constexpr const char* kCommaLocale = "de_DE.UTF-8";

// True when kCommaLocale can be used; otherwise false with the reason.
bool haveCommaLocale(std::string* why);

// Switches the process's locale (setlocale, all categories) for its scope.
class ScopedProcessLocale {
public:
    explicit ScopedProcessLocale(const char* name);
    ~ScopedProcessLocale();
    ScopedProcessLocale(const ScopedProcessLocale&) = delete;
    ScopedProcessLocale& operator=(const ScopedProcessLocale&) = delete;

private:
    std::string previous_;
};

// Sets the environment's LC_ALL (the user's locale, as a program started in
// it sees it) for its scope.
class ScopedUserLocale {
public:
    explicit ScopedUserLocale(const char* name);
    ~ScopedUserLocale();
    ScopedUserLocale(const ScopedUserLocale&) = delete;
    ScopedUserLocale& operator=(const ScopedUserLocale&) = delete;

private:
    bool had_ = false;
    std::string previous_;
};

} // namespace kyd::test_support

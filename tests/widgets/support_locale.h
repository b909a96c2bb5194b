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

// Sets an environment variable for its scope, as a program started with it
// would see it (LC_ALL: the user's locale).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string previous_;
};

} // namespace kyd::test_support

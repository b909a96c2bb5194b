#include "support_locale.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale.h>
#include <mutex>
#include <unistd.h>

namespace kyd::test_support {

namespace fs = std::filesystem;

namespace {

bool localeExists(const char* name)
{
    locale_t l = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(0));
    if (!l)
        return false;
    ::freelocale(l);
    return true;
}

} // namespace

bool haveCommaLocale(std::string* why)
{
    static std::once_flag once;
    static bool ok = false;
    static std::string reason;
    std::call_once(once, [] {
        if (localeExists(kCommaLocale)) {
            ok = true;
            return;
        }
        // Made once into a folder of the temporary directory that LOCPATH
        // then points at (the C library maps its own locale archive once per
        // process, so a locale added there would not be seen by this one).
        // Built beside the folder and renamed into it, so that test
        // processes running at the same time never see half a locale.
        const fs::path dir = fs::temp_directory_path() / "kyd-test-locales";
        const fs::path target = dir / kCommaLocale;
        std::error_code ec;
        int rc = 0;
        if (!fs::exists(target / "LC_NUMERIC", ec)) {
            const fs::path build = fs::temp_directory_path() / ("kyd-test-locales." + std::to_string(::getpid()));
            fs::remove_all(build, ec);
            fs::create_directories(build, ec);
            fs::create_directories(dir, ec);
            const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (build / kCommaLocale).string() +
                                    "' >/dev/null 2>&1";
            rc = std::system(cmd.c_str());
            fs::rename(build / kCommaLocale, target, ec); // another process may have been first
            fs::remove_all(build, ec);
        }
        ::setenv("LOCPATH", dir.c_str(), 1);
        ok = localeExists(kCommaLocale);
        if (!ok) {
            ::unsetenv("LOCPATH");
            reason = std::string(kCommaLocale) + " is not installed and localedef could not make it (status " +
                     std::to_string(rc) + "; the Debian package \"locales\" provides what it needs)";
        }
    });
    if (!ok && why)
        *why = reason;
    return ok;
}

ScopedProcessLocale::ScopedProcessLocale(const char* name)
{
    const char* now = std::setlocale(LC_ALL, nullptr);
    previous_ = now ? now : "C";
    std::setlocale(LC_ALL, name);
}

ScopedProcessLocale::~ScopedProcessLocale() { std::setlocale(LC_ALL, previous_.c_str()); }

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name)
{
    if (const char* v = std::getenv(name)) {
        had_ = true;
        previous_ = v;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        ::setenv(name_, previous_.c_str(), 1);
    else
        ::unsetenv(name_);
}

} // namespace kyd::test_support

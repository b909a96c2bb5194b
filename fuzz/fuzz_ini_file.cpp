// The ini reader: any file contents must load, and every section, key and
// value it reports must read back through the lookup functions; a change
// written with updateFile must load again.
#include "platform/ini_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// In memory when the system has a tmpfs there: the writer syncs every file.
std::string TempPath(const char* what)
{
    const char* dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kyd_fuzz_ini_" + std::to_string(::getpid()) + what;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using kyd::platform::IniFile;
    static const std::string path = TempPath(".ini");

    FuzzedDataProvider in(data, size);
    const std::string probeSection = in.ConsumeRandomLengthString(32);
    const std::string probeKey = in.ConsumeRandomLengthString(32);
    const std::string newValue = in.ConsumeRandomLengthString(32);
    const std::string text = in.ConsumeRemainingBytesAsString();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    IniFile ini(path);
    for (const std::string& section : ini.readSections()) {
        if (!ini.sectionExists(section))
            std::abort();
        for (const std::string& key : ini.readSection(section)) {
            if (!ini.valueExists(section, key))
                std::abort();
            (void)ini.readString(section, key, "");
            (void)ini.readInteger(section, key, -1);
            (void)ini.readBool(section, key, false);
        }
    }
    (void)ini.readString(probeSection, probeKey, "default");
    (void)ini.readInteger(probeSection, probeKey, 7);

    // A value without line breaks, written under a key that can be read
    // back (stored trimmed, no '=', not starting like a comment or a
    // section), must read back as written; the file written must load.
    const char* blanks = " \t\r\n\v\f";
    const bool trimmedKey = !probeKey.empty() && probeKey.find_first_of(blanks) != 0 &&
                            probeKey.find_last_not_of(blanks) == probeKey.size() - 1 &&
                            probeKey.find_first_of("=\r\n") == std::string::npos && probeKey.front() != ';' &&
                            probeKey.front() != '[';
    const bool plain = newValue.find_first_of("\r\n") == std::string::npos &&
                       probeSection.find_first_of("\r\n") == std::string::npos;
    ini.writeString(probeSection, probeKey, newValue);
    if (trimmedKey && plain && ini.readString(probeSection, probeKey, "") != newValue)
        std::abort();
    if (plain && ini.updateFile()) {
        IniFile again(path);
        (void)again.readSections();
    }
    ini.deleteKey(probeSection, probeKey);
    ini.eraseSection(probeSection);
    std::remove(path.c_str());
    return 0;
}

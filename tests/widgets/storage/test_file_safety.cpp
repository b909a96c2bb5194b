// Files of the component library on a failing machine and from a hostile
// user: saves on a full or size-limited file system fail with the write
// error and leave the old file whole; loads refuse what is not a regular
// file of sane size, quickly and in bounded memory; the ini control and
// the plain ini object writing one file at once lose nothing.
#include "platform/ini_file.h"
#include "support/child_process.h"
#include "support_list_file_bytes.h"
#include "widgets/storage/containers.h"
#include "widgets/services/ini_ctrl.h"
#include "widgets/storage/wave.h"
#include "widgets/storage/lzrw.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

using namespace kyd::widgets;
namespace fs = std::filesystem;
using kyd::test::runInChild;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& tag)
        : path(fs::temp_directory_path() / ("kyd_files_" + tag + "_" + std::to_string(::getpid())))
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
};

Bytes ReadAll(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes Pattern(std::size_t n, unsigned seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = static_cast<std::uint8_t>(seed >> 16);
    }
    return b;
}

Bytes WaveBytes(std::size_t samples, unsigned seed)
{
    Bytes b;
    auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto tag = [&](const char* t) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(t[i]));
    };
    tag("RIFF");
    put(static_cast<std::uint32_t>(36 + samples), 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(8000, 4);
    put(8000, 4);
    put(1, 2);
    put(8, 2);
    tag("data");
    put(static_cast<std::uint32_t>(samples), 4);
    const Bytes body = Pattern(samples, seed);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// One save that must fail on the tiny file system: `small` writes the old
// file (which fits), `large` must raise the write error; the old file then
// holds the same bytes and nothing else was left in the folder.
std::string CheckSave(const std::string& dir, const std::string& what, const std::function<void()>& small,
                      const std::function<void()>& large, const std::string& file)
{
    try {
        small();
    } catch (const std::exception& e) {
        return what + ": the small save failed: " + e.what() + "\n";
    }
    const Bytes before = ReadAll(file);
    try {
        large();
        return what + ": the large save reported success\n";
    } catch (const EWriteError& e) {
        if (std::string(e.what()).find(file) == std::string::npos)
            return what + ": the write error does not name the file: " + e.what() + "\n";
    } catch (const std::exception& e) {
        return what + ": not the write error: " + e.what() + "\n";
    }
    if (ReadAll(file) != before)
        return what + ": the old file was changed\n";
    if (Entries(dir) != std::vector<std::string>{fs::path(file).filename().string()})
        return what + ": a temporary file was left behind\n";
    fs::remove(file);
    return {};
}

} // namespace

TEST(FileSafety, SavesOnATinyFileSystemFailAndKeepTheOldFile)
{
    TempDir dir("tiny");
    const std::string d = dir.path.string();
    const auto results = kyd::test::runOnTinyFileSystems(d, [&](const std::string& at) {
        std::string failures;
        // A list file (here generic items holding incompressible data).
        auto list = [&](std::size_t bytes) {
            TDUDGenericList l;
            static_cast<TDUDGenericListItem*>(l.Add())->Data = Pattern(bytes, 7);
            l.SaveToFile(at + "/a.gll");
        };
        failures += CheckSave(at, "list file", [&] { list(2000); }, [&] { list(100000); }, at + "/a.gll");
        // A list of 8 string items, the case that became a cut file.
        auto strings = [&](std::size_t lines) {
            TDUDStringList l;
            for (int i = 0; i < 8; ++i) {
                auto* item = static_cast<TDUDStringListItem*>(l.Add());
                for (std::size_t n = 0; n < lines; ++n) {
                    const Bytes p = Pattern(40, static_cast<unsigned>(i * 1000 + n));
                    item->Items.emplace_back(p.begin(), p.end());
                }
            }
            l.SaveToFile(at + "/b.sll");
        };
        failures += CheckSave(at, "string list file", [&] { strings(2); }, [&] { strings(400); }, at + "/b.sll");
        // A wave file.
        auto wave = [&](std::size_t samples) {
            TDUDWave w;
            TMemoryStream s(WaveBytes(samples, 3));
            w.LoadFromStream(s);
            w.SaveToFile(at + "/c.wav");
        };
        failures += CheckSave(at, "wave file", [&] { wave(1000); }, [&] { wave(100000); }, at + "/c.wav");
        return failures;
    });
    EXPECT_EQ(kyd::test::tinyFileSystemFailures(results), "");
}

namespace {

// A generic list file whose `refs` offsets all name one item whose data
// expand to `blocks` full compression blocks of zeros: small on disk, huge
// when every offset is expanded.
Bytes SharedOffsetListFile(int refs, int blocks)
{
    const Bytes zeros(kLZRWBlockSize, 0);
    const Bytes block = DUDLZRWCompressBlock(zeros.data(), kLZRWBlockSize);
    TMemoryStream s;
    stWriteInteger(s, blocks * static_cast<std::int32_t>(4 + block.size()));
    for (int i = 0; i < blocks; ++i) {
        stWriteInteger(s, static_cast<std::int32_t>(block.size()));
        s.WriteBuffer(block.data(), block.size());
    }
    stWriteString(s, "x.bin");
    return kyd::widgets::test::SharedOffsetList(lftGenericList, refs, ifCompressed | ifData, s.Bytes());
}

// Peak memory a refused load may take: the expansion bound of one file and
// room for the program itself (more under AddressSanitizer, whose shadow
// and quarantine count too).
#ifdef KYD_TEST_UNDER_ASAN
constexpr long kMaxRssKb = 1400 * 1024;
#else
constexpr long kMaxRssKb = 700 * 1024;
#endif

// Runs a load in a child with a deadline (a hang ends in SIGALRM) and, where
// it works, an address-space limit (an attempt to hold gigabytes ends in
// bad_alloc instead of taking the machine's memory).
kyd::test::ChildResult Bounded(const std::function<std::string()>& load)
{
    return runInChild([&] {
        ::alarm(30);
#ifndef KYD_TEST_UNDER_ASAN
        const rlimit as{3ULL << 30, 3ULL << 30};
        ::setrlimit(RLIMIT_AS, &as);
#endif
        return load();
    });
}

// Every loader of the library on one path: each must refuse it with the
// library's own error.
std::string RefusedEverywhere(const std::string& path)
{
    std::string failures;
    auto expectError = [&](const std::string& what, const std::function<void()>& f, const std::string& text) {
        try {
            f();
            failures += what + " accepted " + path + "\n";
        } catch (const EDUDException& e) {
            if (std::string(e.what()).find(text) == std::string::npos)
                failures += what + ": unexpected message " + e.what() + "\n";
        } catch (const std::exception& e) {
            failures += what + ": not the library's error: " + e.what() + "\n";
        }
    };
    const std::string cannot = "Cannot open file";
    TDUDStringList list;
    static_cast<TDUDStringListItem*>(list.Add())->Items = {"kept"};
    expectError("list LoadFromFile", [&] { list.LoadFromFile(path); }, cannot + " " + path);
    if (list.Count() != 1)
        failures += "the list changed\n";
    std::vector<std::int32_t> offsets;
    expectError("DUDListGetFileType", [&] { DUDListGetFileType(path, offsets); }, cannot);
    TDUDStringListItem one;
    expectError("DUDListGetItemFromFile", [&] { DUDListGetItemFromFile(path, lftStringList, one, 0); }, cannot);
    TDUDWave wave;
    expectError("wave LoadFromFile", [&] { wave.LoadFromFile(path); }, cannot);
    TDUDWaveInfo info;
    try {
        if (DUDGetWaveFileInfo(path, info))
            failures += "DUDGetWaveFileInfo accepted " + path + "\n";
    } catch (const std::exception& e) {
        failures += std::string("DUDGetWaveFileInfo threw ") + e.what() + "\n";
    }
    TDUDGenericListItem generic;
    expectError("generic item LoadFromFile", [&] { generic.LoadFromFile(path); }, cannot + " " + path);
    return failures;
}

} // namespace

TEST(FileSafety, LoadsRefuseWhatIsNotASaneRegularFileQuickly)
{
    TempDir dir("refuse");
    const std::string fifo = dir.File("pipe.sll");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = dir.File("sparse.sll");
    {
        // 4 GiB that take no disk: a valid signature and a huge count.
        TMemoryStream head;
        stWriteString(head, DUDICGetSignature(lftStringList));
        stWriteInteger(head, 0x7FFFFFFF);
        std::ofstream f(sparse, std::ios::binary);
        f.write(reinterpret_cast<const char*>(head.Bytes().data()), static_cast<std::streamsize>(head.Bytes().size()));
    }
    fs::resize_file(sparse, 4ULL << 30);
    for (const std::string& path : {dir.path.string(), fifo, std::string("/dev/zero"), sparse}) {
        const auto r = Bounded([&] { return RefusedEverywhere(path); });
        EXPECT_EQ(r.report, "") << path;
        EXPECT_LT(r.maxRssKb, kMaxRssKb) << path;
    }
}

TEST(FileSafety, ListFileWhoseOffsetsShareOneHugeItemIsRefusedInBoundedMemory)
{
    TempDir dir("shared");
    // 64 offsets at one item of 7600 blocks (249 MB expanded): 16 GB if
    // each were expanded.
    const std::string path = dir.File("shared.gll");
    const Bytes file = SharedOffsetListFile(64, 7600);
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    const auto r = Bounded([&]() -> std::string {
        TDUDGenericList list;
        try {
            list.LoadFromFile(path);
            return "accepted";
        } catch (const EDUDException& e) {
            return std::string(e.what()) == "Cannot open file " + path ? "" : e.what();
        }
    });
    EXPECT_EQ(r.report, "");
    EXPECT_LT(r.maxRssKb, kMaxRssKb);

    // The same item named once loads: the bound is on the file, not the item.
    TDUDGenericList once;
    TMemoryStream s(SharedOffsetListFile(1, 100));
    EXPECT_EQ(stReadString(s), DUDICGetSignature(lftGenericList));
    once.LoadFromStream(s);
    ASSERT_EQ(once.Count(), 1);
    EXPECT_EQ(static_cast<TDUDGenericListItem*>(once.GetItem(0))->Data.size(), 100u * kLZRWBlockSize);
}

TEST(FileSafety, IniControlAndIniObjectWritingOneFileLoseNothing)
{
    TempDir dir("ini");
    const std::string file = dir.File("shared.ini");
    constexpr int kKeys = 300;
    // Both start together once the pipe closes.
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    auto waitGate = [&] {
        ::close(gate[1]);
        char c;
        while (::read(gate[0], &c, 1) < 0 && errno == EINTR) {
        }
    };
    kyd::test::Child control = kyd::test::startChild([&]() -> std::string {
            waitGate();
            TDUDIniCtrl ini;
            ini.SetTarget(TDUDIniTarget::itIniFile);
            ini.SetIniPrefix(TDUDPathPrefix::ppFixed);
            ini.SetIniFile(file);
            for (int i = 0; i < kKeys; ++i)
                ini.WriteInteger("Control", "K" + std::to_string(i), i);
            return {};
    });
    kyd::test::Child object = kyd::test::startChild([&]() -> std::string {
            waitGate();
            kyd::platform::IniFile ini(file);
            for (int i = 0; i < kKeys; ++i) {
                ini.writeInteger("Object", "K" + std::to_string(i), i);
                std::string error;
                if (!ini.updateFile(&error))
                    return error;
            }
            return {};
    });
    ::close(gate[0]);
    ::close(gate[1]);
    EXPECT_EQ(kyd::test::finishChild(control).report, "");
    EXPECT_EQ(kyd::test::finishChild(object).report, "");
    kyd::platform::IniFile raw(file);
    EXPECT_EQ(raw.readSection("Control").size(), static_cast<std::size_t>(kKeys));
    EXPECT_EQ(raw.readSection("Object").size(), static_cast<std::size_t>(kKeys));
}

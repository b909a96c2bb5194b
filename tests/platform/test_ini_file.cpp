#include "platform/ini_file.h"
#include "platform/ini_place.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kyd::platform {

namespace {

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "kyd-ini-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& content)
    {
        std::string p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    static std::string read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::vector<std::string> dirEntries() const
    {
        std::vector<std::string> r;
        for (auto& e : fs::directory_iterator(dir))
            r.push_back(e.path().filename().string());
        std::sort(r.begin(), r.end());
        return r;
    }

    fs::path dir;
};

const char* kWindowsFile = "; written elsewhere\r\n"
                           "[Misc]\r\n"
                           "Top=140\r\n"
                           "Left = 210\r\n"
                           "Hint=press here; then wait\r\n"
                           "\r\n"
                           "[Communication]\r\n"
                           "Port=3\r\n"
                           "Unknown line without equals\r\n"
                           "Parity=E\r\n"
                           "Future=kept as is\r\n"
                           "\r\n"
                           "[Logging]\r\n"
                           "LogFile=C:\\KYD\\KYD.LOG\r\n"
                           "On=1\r\n";

} // namespace

TEST_F(IniFileTest, ReadsCrLfFileWithoutRegardToCase)
{
    IniFile ini(write("KYD.INI", kWindowsFile));
    EXPECT_EQ(ini.readInteger("misc", "TOP", 130), 140);
    EXPECT_EQ(ini.readInteger("MISC", "left", 200), 210);
    EXPECT_EQ(ini.readString("Misc", "Hint", ""), "press here; then wait");
    EXPECT_EQ(ini.readString("communication", "parity", "N"), "E");
    EXPECT_EQ(ini.readString("Logging", "LogFile", ""), "C:\\KYD\\KYD.LOG");
    EXPECT_TRUE(ini.readBool("Logging", "On", false));
    EXPECT_EQ(ini.readString("Logging", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.readString("Nowhere", "Top", "dflt"), "dflt");
    EXPECT_TRUE(ini.sectionExists("LOGGING"));
    EXPECT_TRUE(ini.valueExists("communication", "FUTURE"));
    EXPECT_FALSE(ini.valueExists("communication", "Unknown line without equals"));
    EXPECT_EQ(ini.readSections(), (std::vector<std::string>{"Misc", "Communication", "Logging"}));
    EXPECT_EQ(ini.readSection("communication"), (std::vector<std::string>{"Port", "Parity", "Future"}));
}

TEST_F(IniFileTest, RoundTripKeepsOrderCommentsAndUnknownLines)
{
    std::string p = write("KYD.INI", kWindowsFile);
    IniFile ini(p);
    ini.writeInteger("MISC", "top", 99);          // existing key, other case
    ini.writeString("Communication", "Baud", "9600"); // new key in a section
    ini.writeBool("TDL", "AutoRun", false);      // new section
    std::string err;
    ASSERT_TRUE(ini.updateFile(&err)) << err;
    EXPECT_EQ(read(p), "; written elsewhere\n"
                       "[Misc]\n"
                       "Top=99\n"
                       "Left = 210\n" // untouched lines stay as they were
                       "Hint=press here; then wait\n"
                       "\n"
                       "[Communication]\n"
                       "Port=3\n"
                       "Unknown line without equals\n"
                       "Parity=E\n"
                       "Future=kept as is\n"
                       "Baud=9600\n"
                       "\n"
                       "[Logging]\n"
                       "LogFile=C:\\KYD\\KYD.LOG\n"
                       "On=1\n"
                       "\n"
                       "[TDL]\n"
                       "AutoRun=0\n");
    IniFile again(p);
    EXPECT_EQ(again.readInteger("Misc", "Top", 0), 99);
    EXPECT_EQ(again.readString("communication", "baud", ""), "9600");
    EXPECT_FALSE(again.readBool("tdl", "autorun", true));
    EXPECT_EQ(again.readSections(), (std::vector<std::string>{"Misc", "Communication", "Logging", "TDL"}));
    // Writing the unchanged object again gives the same bytes.
    std::string first = read(p);
    ASSERT_TRUE(again.updateFile());
    EXPECT_EQ(read(p), first);
}

TEST_F(IniFileTest, IntegersFallBackOnBadTextAndBooleansAreIntegers)
{
    IniFile ini(write("a.ini", "[S]\nA=12x\nB=\nC=-7\nD=$1F\nE=0x10\nF=99999999999\nG=2\nH=0\nI=yes\nJ= 5 \n"));
    EXPECT_EQ(ini.readInteger("S", "A", 3), 3);
    EXPECT_EQ(ini.readInteger("S", "B", 3), 3);
    EXPECT_EQ(ini.readInteger("S", "C", 3), -7);
    EXPECT_EQ(ini.readInteger("S", "D", 3), 31);
    EXPECT_EQ(ini.readInteger("S", "E", 3), 16);
    EXPECT_EQ(ini.readInteger("S", "F", 3), 3);
    EXPECT_EQ(ini.readInteger("S", "J", 3), 5);
    EXPECT_TRUE(ini.readBool("S", "G", false));
    EXPECT_FALSE(ini.readBool("S", "H", true));
    EXPECT_TRUE(ini.readBool("S", "I", true)); // not a number: the default
    EXPECT_FALSE(ini.readBool("S", "I", false));
    ini.writeBool("S", "K", true);
    EXPECT_EQ(ini.readString("S", "K", ""), "1");
    // Values are stored as they stand: no quoting, no escaping.
    ini.writeString("S", "L", " \"quoted\" = ;x ");
    EXPECT_EQ(ini.readString("S", "L", ""), " \"quoted\" = ;x ");
}

TEST_F(IniFileTest, WritesStayInMemoryUntilUpdate)
{
    std::string p = write("a.ini", "[S]\nA=1\n");
    IniFile ini(p);
    ini.writeInteger("S", "A", 2);
    ini.deleteKey("s", "a");
    ini.writeString("T", "X", "y");
    ini.eraseSection("t");
    EXPECT_FALSE(ini.sectionExists("T"));
    EXPECT_FALSE(ini.valueExists("S", "A"));
    EXPECT_EQ(read(p), "[S]\nA=1\n");
    ini.reload();
    EXPECT_EQ(ini.readInteger("S", "A", 0), 1);
}

TEST_F(IniFileTest, MissingFileIsEmptyAndIsCreatedOnUpdate)
{
    std::string p = (dir / "new.ini").string();
    IniFile ini(p);
    EXPECT_TRUE(ini.readSections().empty());
    ini.writeInteger("Misc", "Top", 1);
    ASSERT_TRUE(ini.updateFile());
    EXPECT_EQ(read(p), "[Misc]\nTop=1\n");
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"new.ini"});
}

TEST_F(IniFileTest, UpdateIsAtomicAndLeavesNoTemporaryFile)
{
    std::string p = write("a.ini", "[S]\nA=1\n");
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    IniFile ini(p);
    ini.writeInteger("S", "A", 2);
    ASSERT_TRUE(ini.updateFile());
    EXPECT_EQ(read(p), "[S]\nA=2\n");
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"a.ini"});
    // The file keeps its permissions.
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniFileTest, DirectoryAtThePathIsNeverWrittenOver)
{
    fs::create_directory(dir / "KYD.INI");
    std::string inside = write("KYD.INI/keep.txt", "original");
    IniFile ini((dir / "KYD.INI").string());
    ini.writeInteger("S", "A", 1);
    std::string err;
    EXPECT_EQ(ini.loadError(), (dir / "KYD.INI").string() + ": not a regular file");
    EXPECT_FALSE(ini.updateFile(&err));
    EXPECT_EQ(err, ini.loadError());
    EXPECT_EQ(read(inside), "original");
    EXPECT_EQ(dirEntries(), std::vector<std::string>{"KYD.INI"});
}

// A file that exists and cannot be used is reported, read as empty and never
// written over; a FIFO or a device is not even opened.
TEST_F(IniFileTest, UnreadableOrOddFilesAreReportedAndLeftAlone)
{
    auto refused = [](const std::string& p, const std::string& why) {
        IniFile ini(p);
        EXPECT_EQ(ini.loadError(), p + ": " + why);
        EXPECT_TRUE(ini.readSections().empty());
        ini.writeInteger("Misc", "Top", 1);
        std::string err;
        EXPECT_FALSE(ini.updateFile(&err));
        EXPECT_EQ(err, p + ": " + why);
    };
    const std::string fifo = (dir / "fifo.ini").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    refused(fifo, "not a regular file");
    refused("/dev/zero", "not a regular file");
    const std::string big = write("big.ini", "[Misc]\nTop=5\n");
    fs::resize_file(big, IniFile::kMaxFileSize + 1);
    refused(big, "larger than 16 MB");
    EXPECT_EQ(fs::file_size(big), IniFile::kMaxFileSize + 1);
    EXPECT_EQ(IniFile(write("edge.ini", std::string(IniFile::kMaxFileSize, ';'))).loadError(), "");

    // Root reads a mode-000 file: an ordinary user (a child that drops
    // root) tries it in a folder it may write to.
    fs::permissions(dir, fs::perms::all);
    const std::string p = write("KYD.INI", "[Other]\nKeep=1\n");
    fs::permissions(p, fs::perms::none);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        IniFile ini(p);
        ini.writeInteger("Misc", "Top", 1);
        const bool ok = ini.loadError() == p + ": Permission denied" && !ini.updateFile();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(read(p), "[Other]\nKeep=1\n");
}

// The write at exit re-reads the file: keys another program wrote meanwhile
// stay, only the keys this object set, deleted or erased change.
TEST_F(IniFileTest, UpdateKeepsWhatAnotherProgramWroteMeanwhile)
{
    const std::string p = write("KYD.INI", "[Misc]\nTop=1\nLeft=2\n[Old]\nA=1\n[Gone]\nB=1\n");
    IniFile tool(p);
    tool.writeInteger("Misc", "Top", 10);
    tool.deleteKey("Misc", "Left");
    tool.eraseSection("Gone");
    {
        IniFile sim(p);
        sim.writeString("SerialDevices", "COM6", "/dev/pts/3");
        sim.writeInteger("Old", "A", 2);
        ASSERT_TRUE(sim.updateFile());
    }
    ASSERT_TRUE(tool.updateFile());
    const std::string merged = "[Misc]\nTop=10\n[Old]\nA=2\n[SerialDevices]\nCOM6=/dev/pts/3\n";
    EXPECT_EQ(read(p), merged);
    EXPECT_EQ(tool.readString("SerialDevices", "COM6", ""), "/dev/pts/3"); // now seen here too
    ASSERT_TRUE(tool.updateFile()); // nothing more to write: the file stays
    EXPECT_EQ(read(p), merged);
}

TEST_F(IniFileTest, ValuesAndNamesComeBackAsWritten)
{
    const std::string p = write("KYD.INI", "[ Misc ]\rTop=1\r\r[Logging]\rLogFile = C:\\x.log \r");
    IniFile ini(p);
    EXPECT_EQ(ini.readSections(), (std::vector<std::string>{"Misc", "Logging"}));
    EXPECT_EQ(ini.readInteger("Misc", "Top", 0), 1);
    EXPECT_EQ(ini.readString("Logging", "LogFile", ""), "C:\\x.log");
    const std::vector<std::string> values{"  lead", "trail\t ", "\"quoted\"", "\"", " ; = [x] ", ""};
    for (std::size_t i = 0; i < values.size(); ++i)
        ini.writeString(" misc ", "V" + std::to_string(i), values[i]);
    ini.writeString("Misc", "Lines", "a\r\nb");
    ini.writeString("Misc", "Bad=Key", "x");
    ASSERT_TRUE(ini.updateFile());
    IniFile again(p);
    EXPECT_EQ(again.readSections(), (std::vector<std::string>{"Misc", "Logging"}));
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.readString("Misc", "V" + std::to_string(i), "?"), values[i]) << i;
    EXPECT_EQ(again.readString("Misc", "Lines", ""), "a  b");
    EXPECT_EQ(again.readSection("Misc").size(), values.size() + 2);
}

TEST_F(IniFileTest, UnwritablePathIsReportedWithTheSystemsReason)
{
    std::string blocker = write("plainfile", "x");
    IniFile ini(blocker + "/KYD.INI"); // a directory that is a file
    ini.writeInteger("S", "A", 1);
    std::string err;
    EXPECT_FALSE(ini.updateFile(&err));
    EXPECT_EQ(err, blocker + "/KYD.INI: Not a directory");
    EXPECT_FALSE(ini.updateFile()); // no error text wanted

    if (geteuid() != 0) { // root writes anywhere
        fs::create_directory(dir / "ro");
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        IniFile ro((dir / "ro" / "KYD.INI").string());
        ro.writeInteger("S", "A", 1);
        EXPECT_FALSE(ro.updateFile(&err));
        EXPECT_EQ(err, (dir / "ro" / "KYD.INI").string() + ": Permission denied");
        fs::permissions(dir / "ro", fs::perms::owner_all);
    }
}

TEST_F(IniFileTest, UpdateThroughASymlinkReplacesTheTarget)
{
    std::string real = write("real.ini", "[S]\nA=1\n");
    fs::create_symlink(real, dir / "link.ini");
    IniFile ini((dir / "link.ini").string());
    ini.writeInteger("S", "A", 5);
    ASSERT_TRUE(ini.updateFile());
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(read(real), "[S]\nA=5\n");
}

TEST(IniPath, DefaultPathFollowsTheExecutableUnlessOverridden)
{
    const char* saved = std::getenv("KYD_INI");
    std::string keep = saved ? saved : "";
    unsetenv("KYD_INI");
    std::string p = defaultIniPath();
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(p, fs::path(exe).replace_extension(".INI").string());
    setenv("KYD_INI", "/tmp/other.ini", 1);
    EXPECT_EQ(defaultIniPath(), "/tmp/other.ini");
    if (saved)
        setenv("KYD_INI", keep.c_str(), 1);
    else
        unsetenv("KYD_INI");
}

TEST(IniPath, SharedIniIsOneObjectAtTheChosenPath)
{
    std::string p = (fs::temp_directory_path() / ("kyd-shared-" + std::to_string(getpid()) + ".ini")).string();
    static bool first = true; // the shared object lives as long as the process
    if (first)
        setSharedIniPath(p);
    first = false;
    IniFile& a = sharedIni();
    IniFile& b = sharedIni();
    EXPECT_EQ(&a, &b);
    EXPECT_EQ(a.fileName(), p);
    EXPECT_THROW(setSharedIniPath("/elsewhere.ini"), std::logic_error);
}

// Where the settings live when nothing names the file: beside the program
// while its folder can be written, else in the user's configuration folder.
TEST(IniPlace, BesideTheProgramWhileItsFolderCanBeWritten)
{
    std::vector<std::string> asked;
    const auto writable = [&asked](const std::string& folder) {
        asked.push_back(folder);
        return true;
    };
    IniPlace p = chooseIniPlace("/opt/kyd/bin/kydtest", "/home/op/.config", writable);
    EXPECT_EQ(p.path, "/opt/kyd/bin/kydtest.INI");
    EXPECT_EQ(p.seedFrom, "");
    EXPECT_EQ(asked, std::vector<std::string>{"/opt/kyd/bin"});
    // The extension, not a dot of the folder, is replaced.
    EXPECT_EQ(chooseIniPlace("/opt/kyd.1/kydtest", "/c", writable).path, "/opt/kyd.1/kydtest.INI");
    EXPECT_EQ(chooseIniPlace("/opt/kyd/kydtest.bin", "/c", writable).path, "/opt/kyd/kydtest.INI");
}

TEST(IniPlace, InTheUsersConfigurationFolderWhenTheProgramsFolderIsReadOnly)
{
    const auto readOnly = [](const std::string&) { return false; };
    IniPlace p = chooseIniPlace("/usr/local/bin/kydtest", "/home/op/.config", readOnly);
    EXPECT_EQ(p.path, "/home/op/.config/kydtest/kydtest.INI");
    EXPECT_EQ(p.seedFrom, "/usr/local/bin/kydtest.INI");
    // Only the program's folder decides, the user's is made when needed.
    p = chooseIniPlace("/usr/bin/kydtest.bin", "/cfg", [](const std::string& f) { return f != "/usr/bin"; });
    EXPECT_EQ(p.path, "/cfg/kydtest/kydtest.INI");
    EXPECT_EQ(p.seedFrom, "/usr/bin/kydtest.INI");
}

TEST_F(IniFileTest, FolderWritableIsFoundOutByMakingAFile)
{
    EXPECT_TRUE(folderWritable(dir.string()));
    EXPECT_TRUE(dirEntries().empty()); // the trial file is gone again
    EXPECT_FALSE(folderWritable((dir / "missing").string()));
    write("file", "x");
    EXPECT_FALSE(folderWritable((dir / "file").string()));
    // The permission bits bind every user but root.
    fs::create_directory(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() != 0) {
        EXPECT_FALSE(folderWritable((dir / "ro").string()));
    }
    fs::permissions(dir / "ro", fs::perms::owner_all);
}

TEST_F(IniFileTest, UsersFileStartsFromTheFileBesideTheProgramOnce)
{
    const std::string beside = write("kydtest.INI", "; shipped\n[Communication]\nComPort=4\n");
    const IniPlace place{(dir / "cfg" / "kydtest" / "kydtest.INI").string(), beside};
    ASSERT_TRUE(seedIniFile(place));
    EXPECT_EQ(read(place.path), read(beside));
    // From then on the user's file is the one: it is not overwritten.
    IniFile user(place.path);
    user.writeInteger("Communication", "ComPort", 7);
    ASSERT_TRUE(user.updateFile());
    ASSERT_TRUE(seedIniFile(place));
    EXPECT_EQ(IniFile(place.path).readInteger("Communication", "ComPort", 0), 7);
    EXPECT_EQ(IniFile(beside).readInteger("Communication", "ComPort", 0), 4);

    // Nothing beside the program: nothing to copy, the file starts empty.
    const IniPlace bare{(dir / "cfg2" / "kydtest.INI").string(), (dir / "none.INI").string()};
    EXPECT_TRUE(seedIniFile(bare));
    EXPECT_FALSE(fs::exists(bare.path));
    // A seed that cannot be read is not taken for an empty one.
    fs::create_directory(dir / "dir.INI");
    EXPECT_FALSE(seedIniFile({(dir / "cfg3" / "kydtest.INI").string(), (dir / "dir.INI").string()}));
    EXPECT_FALSE(fs::exists(dir / "cfg3" / "kydtest.INI"));
}

// A system-wide install ships no settings file: the user's file has nothing
// to start from, and its folder is made so that the first save finds it.
TEST_F(IniFileTest, UsersFileWithNothingBesideTheProgramIsSavedInAFolderMadeForIt)
{
    const IniPlace place{(dir / "cfg" / "kydtest" / "kydtest.INI").string(), (dir / "none.INI").string()};
    ASSERT_TRUE(seedIniFile(place));
    EXPECT_TRUE(fs::is_directory(dir / "cfg" / "kydtest"));
    EXPECT_FALSE(fs::exists(place.path));
    IniFile user(place.path);
    user.writeInteger("Communication", "ComPort", 3);
    std::string error;
    ASSERT_TRUE(user.updateFile(&error)) << error;
    EXPECT_EQ(IniFile(place.path).readInteger("Communication", "ComPort", 0), 3);

    // A configuration folder that cannot be made is said, as a copy that
    // cannot be made is: the file beside the program is used then.
    write("blocked", "a file, not a folder");
    EXPECT_FALSE(seedIniFile({(dir / "blocked" / "kydtest" / "kydtest.INI").string(), (dir / "none.INI").string()}));
}

} // namespace kyd::platform

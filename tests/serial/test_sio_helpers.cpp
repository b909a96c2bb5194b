// Flag, string, path and process helpers; the component base classes.
#include "platform/process.h"
#include "serial/SioMisc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>

using namespace sio;

TEST(SioFlags, NotBufferInvertsEveryByte)
{
    std::uint8_t buf[7] = {0x00, 0xFF, 0x0F, 0xA5, 1, 2, 3};
    NotBuffer(buf, sizeof buf);
    const std::uint8_t want[7] = {0xFF, 0x00, 0xF0, 0x5A, 0xFE, 0xFD, 0xFC};
    EXPECT_EQ(0, std::memcmp(buf, want, sizeof buf));
}

TEST(SioFlags, PointerOffsetsCountBytesWhateverThePointedType)
{
    std::uint32_t words[4] = {};
    void* base = words;
    EXPECT_EQ(static_cast<void*>(&words[2]), GetPtr(base, 8));
    const std::uint32_t* w = &words[3];
    EXPECT_EQ(&words[1], GetPtr(w, -8)); // a word pointer moves by bytes, not words
    EXPECT_EQ(static_cast<void*>(&words[1]), AddWordToPtr(base, 4));
}

TEST(SioStrings, NumberConversions)
{
    EXPECT_EQ(Long2StrZ(-2147483647 - 1), "-2147483648");
    std::int32_t n = 99;
    EXPECT_TRUE(Str2LongZ("-123", n));
    EXPECT_EQ(n, -123);
    EXPECT_TRUE(Str2LongZ("2147483647", n));
    EXPECT_EQ(n, 2147483647);
    EXPECT_TRUE(Str2LongZ("-2147483648", n));
    EXPECT_EQ(n, -2147483647 - 1);
    n = 5;
    for (const char* bad : {"", "-", "12a", "2147483648", " 1", "99999999999999999999"}) {
        EXPECT_FALSE(Str2LongZ(bad, n)) << bad;
        EXPECT_EQ(n, 5) << "untouched on failure: " << bad;
    }
}

TEST(SioStrings, StrStCopy)
{
    EXPECT_EQ(StrStCopy("ABCDEF", 2, 3), "CDE");
    EXPECT_EQ(StrStCopy("ABCDEF", 4, 10), "EF");
    EXPECT_EQ(StrStCopy("ABCDEF", 6, 1), "");
    EXPECT_EQ(StrStCopy("ABCDEF", 100, 1), "");
}

TEST(SioPaths, BackslashPaths)
{
    EXPECT_EQ(JustPathnameZ("C:\\A\\B.TXT"), "C:\\A");
    EXPECT_EQ(JustPathnameZ("C:\\B.TXT"), "C:\\");
    EXPECT_EQ(JustPathnameZ("\\B.TXT"), "\\");
    EXPECT_EQ(JustPathnameZ("B.TXT"), "");
    EXPECT_EQ(JustFilenameZ("C:\\A\\B.TXT"), "B.TXT");
    EXPECT_EQ(JustExtensionZ("C:\\A\\B.TXT"), "TXT");
    EXPECT_EQ(JustExtensionZ("NAME"), "");
    EXPECT_EQ(JustExtensionZ("C:\\DIR.X\\NAME"), "") << "a point in a folder name is no extension";
    EXPECT_EQ(JustName("C:\\A\\B.TXT"), "B");
    EXPECT_EQ(AddBackSlashZ("C:\\A"), "C:\\A\\");
    EXPECT_EQ(AddBackSlashZ("C:\\A\\"), "C:\\A\\");
    EXPECT_EQ(AddBackSlashZ(""), "");
    EXPECT_EQ(AddBackSlash("\"C:\\Program Files\""), "\"C:\\Program Files\\\"");
    EXPECT_EQ(ForceExtensionZ("C:\\A\\B.TXT", "LOG"), "C:\\A\\B.LOG");
    EXPECT_EQ(ForceExtensionZ("C:\\A.D\\B", "LOG"), "C:\\A.D\\B.LOG");
    EXPECT_EQ(DefaultExtensionZ("C:\\A\\B", "TDL"), "C:\\A\\B.TDL");
    EXPECT_EQ(DefaultExtensionZ("C:\\A\\B.X", "TDL"), "C:\\A\\B.X");
}

TEST(SioPaths, SlashPaths)
{
    EXPECT_EQ(JustPathnameZ("/home/op/demo1.tdl"), "/home/op");
    EXPECT_EQ(JustPathnameZ("/demo1.tdl"), "/");
    EXPECT_EQ(JustFilenameZ("/home/op/demo1.tdl"), "demo1.tdl");
    EXPECT_EQ(JustFilenameZ("nodir"), "nodir");
    EXPECT_EQ(JustExtensionZ("fw/image.hex"), "hex");
    EXPECT_EQ(JustExtensionZ("notes.json"), "jso") << "at most three characters";
    EXPECT_EQ(JustName("fw/image.v2.hex"), "image.v2");
    EXPECT_EQ(AddBackSlashZ("/tmp"), "/tmp/");
    EXPECT_EQ(AddBackSlashZ("scripts"), "scripts/") << "no delimiter yet: '/'";
    EXPECT_EQ(AddBackSlashZ("a\\b/c"), "a\\b/c/") << "the style the path uses last";
    EXPECT_EQ(AddBackSlash("\"/opt/my dir\""), "\"/opt/my dir/\"");
    EXPECT_EQ(ForceExtensionZ("log/comm.txt", "bak"), "log/comm.bak");
    EXPECT_EQ(DefaultExtensionZ("sub.d/script", "tdl"), "sub.d/script.tdl");
    EXPECT_EQ(JustFilenameZ("/x/" + std::string(300, 'n')).size(), 255u);
}

TEST(SioPaths, ExistFile)
{
    auto dir = std::filesystem::temp_directory_path() / ("sio_exist_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto file = dir / "f.txt";
    std::ofstream(file) << "x";
    EXPECT_TRUE(ExistFileZ(file.string()));
    EXPECT_FALSE(ExistFileZ((dir / "missing.txt").string()));
    EXPECT_FALSE(ExistFileZ(dir.string())) << "a folder is no file";
    EXPECT_FALSE(ExistFileZ(""));
    std::filesystem::remove_all(dir);
}

TEST(SioAdStr, EditingWithinTheMaximum)
{
    TAdStr s(10);
    EXPECT_EQ(s.GetBuffLen(), 11);
    s.Assign("HELLO");
    s.Append(" WORLD!");
    EXPECT_EQ(s.Str(), "HELLO WORL") << "cut at the maximum length";
    s.Assign("BCD");
    s.Prepend("A");
    s.Insert("XY", 5); // just past the end = append
    EXPECT_EQ(s.Str(), "ABCDXY");
    s.Insert("??", 9); // out of range: unchanged
    s.Insert("!", 0);
    EXPECT_EQ(s.Str(), "ABCDXY");
    s.Delete(2, 2);
    EXPECT_EQ(s.Str(), "ADXY");
    s.Delete(9, 1);
    s.Delete(1, 0);
    EXPECT_EQ(s.Str(), "ADXY");
    EXPECT_EQ(s.Copy(2, 2), "DX");
    EXPECT_EQ(s.Copy(3, 100), "XY");
    EXPECT_EQ(s.Copy(5, 1), "");
    s.AppendBuff("ZZ", 1);
    TAdStr other(5);
    other.Assign("12345");
    s.AppendTAdStr(other);
    EXPECT_EQ(s.Str(), "ADXYZ12345");
}

TEST(SioAdStr, SearchAndCharacters)
{
    TAdStr s(20);
    s.Assign("abcabc");
    EXPECT_EQ(s.Pos("bc"), 2);
    EXPECT_EQ(s.PosIdx("bc", 3), 5);
    EXPECT_EQ(s.PosIdx("bc", 6), 0);
    EXPECT_EQ(s.PosIdx("bc", 0), 0);
    EXPECT_EQ(s.Pos("x"), 0);
    EXPECT_EQ(s.Pos(""), 0);
    EXPECT_EQ(s.GetChar(1), 'a');
    EXPECT_EQ(s.GetChar(7), '\0');
    s.SetChar(6, 'C');
    s.SetChar(0, '!');
    EXPECT_EQ(s.Str(), "abcabC");
    s.SetLen(3);
    EXPECT_EQ(s.Str(), "abc");
    s.SetLen(50);
    EXPECT_EQ(s.GetLen(), 20);
    s.Resize(2);
    EXPECT_EQ(s.Str(), "ab");
    EXPECT_EQ(s.GetMaxLen(), 2);
}

TEST(SioAdStr, CursorStaysInsideTheText)
{
    TAdStr s(10);
    s.Assign("abc");
    s.Last();
    EXPECT_EQ(s.GetCurChar(), 'c');
    s.Next();
    EXPECT_EQ(s.GetCurChar(), '\0');
    s.Next();
    EXPECT_EQ(s.CurPos(), 4);
    s.MoveBy(-10);
    EXPECT_EQ(s.CurPos(), 1);
    s.Prev();
    EXPECT_EQ(s.GetCurChar(), 'a');
    s.GotoPos(2);
    EXPECT_EQ(s.GetCurChar(), 'b');
    s.GotoPos(9);
    EXPECT_EQ(s.CurPos(), 2);
    s.Assign("x");
    EXPECT_EQ(s.CurPos(), 2) << "cursor just past the end";
    s.Clear();
    EXPECT_EQ(s.CurPos(), 1);
}

TEST(SioProcess, SplitsArgumentsOnBlanksAndQuotes)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(SplitCommandArgs(""), V{});
    EXPECT_EQ(SplitCommandArgs("  a  b\tc "), (V{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandArgs("-c \"exit 3\""), (V{"-c", "exit 3"}));
    EXPECT_EQ(SplitCommandArgs("x\"y z\"w \"\""), (V{"xy zw", ""}));
}

TEST(SioProcess, RunAndWaitReturnsTheExitCode)
{
    EXPECT_EQ(kyd::platform::runAndWait("/bin/sh", {"-c", "exit 3"}), 3);
    EXPECT_EQ(kyd::platform::runAndWait("sh", {"-c", "exit 0"}), 0) << "searched on PATH";
    EXPECT_EQ(kyd::platform::runAndWait("/bin/sh", {"-c", "kill -9 $$"}), 128 + 9);
    // Arguments reach the program unchanged: no shell in between.
    EXPECT_EQ(kyd::platform::runAndWait("/bin/sh", {"-c", "test \"$1\" = 'a b;$x' && exit 4", "sh", "a b;$x"}), 4);
}

TEST(SioProcess, MissingProgramGivesMinusOne)
{
    EXPECT_EQ(kyd::platform::runAndWait("/nonexistent/prog", {}), -1);
    EXPECT_EQ(kyd::platform::runAndWait("no-such-program-kyd-test", {}), -1);
    EXPECT_EQ(kyd::platform::runAndWait("", {}), -1);
    EXPECT_EQ(ApWinExecAndWait32("/nonexistent/prog", "a b", 1), -1);
}

TEST(SioProcess, ApWinExecAndWait32SplitsItsArguments)
{
    EXPECT_EQ(ApWinExecAndWait32("/bin/sh", "-c \"exit 7\"", 0), 7);
}

// kydsim as a program: starts, prints its device, answers, registers itself
// in the tester's ini file and ends cleanly on SIGTERM.

#include "support_client.h"

#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string kydsimPath()
{
    // tests/sim/<test program> -> src/sim/kydsim in the same build tree
    return simtest::selfDir() + "/../../src/sim/kydsim";
}

TEST(Kydsim, StartsAnswersRegistersAndStopsOnSigterm)
{
    const std::string program = kydsimPath();
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built at " << program;
    const std::string base = "/tmp/kydsim-smoke-" + std::to_string(::getpid());
    const std::string link = base + ".link";
    const std::string ini = base + ".ini";
    { std::ofstream(ini) << "[Communication]\nPort=3\n"; }

    simtest::Child child = simtest::spawn(
        program, {"--link", link, "--com", "7", "--ini", ini, "--throat-checks", "1", "--notes-left=1", "--status", "A:1:5",
                  "--feeders", "1,2,5", "--empty-cassette", "2", "--jam-exit-sensor", "5", "--reject-vault", "full"});
    ASSERT_GT(child.pid, 0);
    const std::string device = simtest::readLine(child, 3000);
    ASSERT_EQ(device, link);

    EXPECT_EQ(kyd::platform::IniFile(ini).readString("SerialDevices", "COM7", ""), link);
    EXPECT_EQ(kyd::platform::IniFile(ini).readString("Communication", "Port", ""), "3");

    {
        simtest::PtyClient client(device);
        ASSERT_TRUE(client.isOpen());
        // The faults of the command line, as the status check shows them.
        const std::string q = client.exchange("Q");
        ASSERT_EQ(q.size(), 105u);
        EXPECT_EQ(q.substr(1, 5), "0Q202");
        EXPECT_EQ(q.substr(21, 5), "22307");
        EXPECT_EQ(q.substr(31, 5), "30000");
        EXPECT_EQ(q.substr(51, 5), "5J310");
        EXPECT_EQ(client.exchange("8"), "0");
        EXPECT_EQ(client.exchange("201002").substr(0, 1), "Q"); // the vault is full
        EXPECT_EQ(client.exchange("WD/310/0"), "0");  // clear statistics does not empty it
        EXPECT_EQ(client.exchange("201002").substr(0, 1), "Q");
        EXPECT_EQ(client.exchange("A"), "5"); // scripted from the command line
    }

    int status = simtest::stopChild(child, SIGTERM, 3000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0); // the link is gone
    EXPECT_FALSE(kyd::platform::IniFile(ini).valueExists("SerialDevices", "COM7"));
    ::unlink(ini.c_str());
}

// --link takes a free name or a link to a pseudo-terminal (an earlier run's);
// anything else is refused untouched, and at the end only the link it made
// is removed.
TEST(Kydsim, LinkPathIsNeverAnythingButItsOwnLink)
{
    const std::string program = kydsimPath();
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built";
    const std::string base = "/tmp/kydsim-link-" + std::to_string(::getpid());
    const std::string file = base + ".file", other = base + ".other", link = base + ".link";
    auto content = [](const std::string& p) {
        std::string s;
        std::getline(std::ifstream(p), s);
        return s;
    };
    auto refused = [&](const std::string& path) {
        simtest::Child child = simtest::spawn(program, {"--link", path});
        EXPECT_EQ(simtest::readLine(child, 3000), "");
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    };
    { std::ofstream(file) << "keep"; }
    refused(file);
    EXPECT_EQ(content(file), "keep");
    ASSERT_EQ(::symlink(file.c_str(), other.c_str()), 0);
    refused(other);
    EXPECT_EQ(content(other), "keep");

    ASSERT_EQ(::symlink("/dev/pts/999999", link.c_str()), 0); // stale
    simtest::Child child = simtest::spawn(program, {"--link", link});
    ASSERT_EQ(simtest::readLine(child, 3000), link);
    { std::ofstream(link + ".new") << "mine"; }
    ASSERT_EQ(::rename((link + ".new").c_str(), link.c_str()), 0); // someone else's now
    const int status = simtest::stopChild(child, SIGTERM, 3000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(content(link), "mine");
    for (const std::string& p : {file, other, link})
        ::unlink(p.c_str());
}

// A second simulator never takes over the link of a running one: the link
// keeps pointing at the first one's line, and goes when that one ends.
TEST(Kydsim, LinkOfARunningSimulatorIsRefused)
{
    const std::string program = kydsimPath();
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built";
    const std::string link = "/tmp/kydsim-live-" + std::to_string(::getpid()) + ".link";
    ::unlink(link.c_str());
    simtest::Child first = simtest::spawn(program, {"--link", link});
    ASSERT_EQ(simtest::readLine(first, 3000), link);
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);

    simtest::Child second = simtest::spawn(program, {"--link", link});
    EXPECT_EQ(simtest::readLine(second, 3000), "");
    // Refused, it has ended by itself; one that took the link over is stopped.
    int status = simtest::stopChild(second, SIGTERM, 3000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    char still[256] = {};
    ASSERT_GT(::readlink(link.c_str(), still, sizeof still - 1), 0);
    EXPECT_STREQ(still, target);

    status = simtest::stopChild(first, SIGTERM, 3000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0); // the first one's link went with it
}

TEST(Kydsim, RejectsBadOptions)
{
    const std::string program = kydsimPath();
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built";
    for (std::vector<std::string> args : {std::vector<std::string>{"--bogus"},
                                          {"--status", "nonsense"},
                                          {"--pace", "9600:12"},
                                          {"--com", "3"},
                                          {"--feeders", "1,9"},
                                          {"--reject-vault", "brim"},
                                          {"--jam-exit-sensor", ""},
                                          {"--take-notes-ms", "-5"},
                                          {"--bad-checksum=x"}}) {
        simtest::Child child = simtest::spawn(program, args);
        ASSERT_GT(child.pid, 0);
        EXPECT_EQ(simtest::readLine(child, 3000), ""); // nothing printed on stdout, it exits
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2);
    }
}

} // namespace

// kydsim --bootloader as a program: the bootstrap loader answers on the
// line only at six times the configured rate, 8N1.
#include "support_client.h"

#include <gtest/gtest.h>

#include "platform/ini_file.h"

#include <algorithm>
#include <fstream>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Opens path raw, 8N1 at the speed; -1 when it cannot be opened.
int OpenRaw(const std::string& path, speed_t speed)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Writes bytes on the line at the speed and returns what was answered up to
// and including the first carriage return, within timeoutMs.
std::string AnswerLine(const std::string& path, speed_t speed, const std::string& bytes, int timeoutMs)
{
    const int fd = OpenRaw(path, speed);
    if (fd < 0)
        return "open failed";
    std::string out;
    if (::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
        const long long end = simtest::nowMs() + timeoutMs;
        pollfd p{fd, POLLIN, 0};
        char c = 0;
        while ((out.empty() || out.back() != '\r') &&
               ::poll(&p, 1, static_cast<int>(std::max(0LL, end - simtest::nowMs()))) == 1 && ::read(fd, &c, 1) == 1)
            out += c;
    }
    ::close(fd);
    return out;
}

// Writes bytes on the line at the speed and returns the first byte
// answered within timeoutMs (-1 when none).
int FirstAnswer(const std::string& path, speed_t speed, const std::string& bytes, int timeoutMs)
{
    const int fd = OpenRaw(path, speed);
    if (fd < 0)
        return -2;
    int result = -1;
    if (::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
        pollfd p{fd, POLLIN, 0};
        unsigned char c = 0;
        if (::poll(&p, 1, timeoutMs) == 1 && ::read(fd, &c, 1) == 1)
            result = c;
    }
    ::close(fd);
    return result;
}

TEST(KydsimBoot, AnswersTheRomBootAtSixTimesTheRate)
{
    const std::string program = simtest::selfDir() + "/../../src/sim/kydsim";
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built at " << program;
    const std::string link = "/tmp/kydsim-boot-" + std::to_string(::getpid()) + ".link";
    simtest::Child child = simtest::spawn(program, {"--bootloader=19200", "--link", link, "--cpu-id", "5A"});
    ASSERT_GT(child.pid, 0);
    ASSERT_EQ(simtest::readLine(child, 3000), link);

    // At the dispenser's own line settings the zero byte is ignored; at
    // 115200 baud it is answered with the CPU id.
    EXPECT_EQ(FirstAnswer(link, B19200, std::string(1, '\0'), 100), -1);
    EXPECT_EQ(FirstAnswer(link, B115200, std::string(1, '\0'), 3000), 0x5A);

    const int status = simtest::stopChild(child, SIGTERM, 3000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(KydsimBoot, TheDispenserEntersItsLoaderOnTheLoadersLineAndComesBack)
{
    const std::string program = simtest::selfDir() + "/../../src/sim/kydsim";
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built at " << program;
    const std::string link = "/tmp/kydsim-dual-" + std::to_string(::getpid()) + ".link";
    // The loader's options on the dispenser's command line; --pace alone
    // paces at the line's rate.
    simtest::Child child = simtest::spawn(program, {"--link", link, "--pace", "--cpu-id", "5A", "--boot-delay-ms", "0"});
    ASSERT_GT(child.pid, 0);
    ASSERT_EQ(simtest::readLine(child, 3000), link);

    // The dispenser answers at its rate; a zero byte there is dropped and
    // the command after it still taken.
    EXPECT_EQ(AnswerLine(link, B19200, std::string(1, '\0') + simtest::framed("A"), 3000).substr(0, 3), "002");
    // At six times that rate, 8N1, the zero byte reaches the ROM boot.
    EXPECT_EQ(FirstAnswer(link, B115200, std::string(1, '\0'), 3000), 0x5A);
    // Set back, the controller is the dispenser again.
    const std::string reply = AnswerLine(link, B19200, simtest::framed("A"), 3000);
    bool ok = false;
    EXPECT_EQ(simtest::unframe(reply, ok), "0020240517");
    EXPECT_TRUE(ok) << reply;

    const int status = simtest::stopChild(child, SIGTERM, 3000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The loader's mode takes the run options the dispenser's does, the same
// way: a --link that holds a file is refused untouched, --com registers the
// device in the ini file for as long as it runs, and bad values are usage
// errors.
TEST(KydsimBoot, SharesTheDispensersRunOptions)
{
    const std::string program = simtest::selfDir() + "/../../src/sim/kydsim";
    if (::access(program.c_str(), X_OK) != 0)
        GTEST_SKIP() << "kydsim not built at " << program;
    const std::string base = "/tmp/kydsim-bootrun-" + std::to_string(::getpid());
    const std::string file = base + ".file", link = base + ".link", ini = base + ".ini";
    auto exitCode = [&](const std::vector<std::string>& args) {
        simtest::Child child = simtest::spawn(program, args);
        EXPECT_EQ(simtest::readLine(child, 3000), "");
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        ::close(child.out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    { std::ofstream(file) << "keep"; }
    EXPECT_EQ(exitCode({"--bootloader", "--link", file}), 1);
    std::string kept;
    std::getline(std::ifstream(file), kept);
    EXPECT_EQ(kept, "keep");
    EXPECT_EQ(exitCode({"--bootloader", "--pace", "9600:12"}), 2);
    EXPECT_EQ(exitCode({"--bootloader", "--com", "50", "--ini", ini}), 2);
    EXPECT_EQ(exitCode({"--bootloader", "--link"}), 2);
    EXPECT_EQ(exitCode({"--bootloader", "--no-ready=abc"}), 2);
    EXPECT_EQ(exitCode({"--boot-silent=-2"}), 2);

    simtest::Child child = simtest::spawn(program, {"--bootloader", "--link", link, "--com", "6", "--ini", ini, "--pace"});
    ASSERT_GT(child.pid, 0);
    ASSERT_EQ(simtest::readLine(child, 3000), link);
    EXPECT_EQ(kyd::platform::IniFile(ini).readString("SerialDevices", "COM6", ""), link);
    const int status = simtest::stopChild(child, SIGTERM, 3000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(kyd::platform::IniFile(ini).readString("SerialDevices", "COM6", "gone"), "gone");
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
    for (const std::string& p : {file, ini})
        ::unlink(p.c_str());
}

} // namespace

// The firmware downloader window on the serial library's port component,
// talking to the simulated bootstrap loader on a pseudo-terminal, on the Qt
// message loop with a fake clock (simulator events can move it past a
// wait), fake dialogs and a settings file in a temporary folder. The tests
// drive the window's 500 ms timer themselves (Tick).
#pragma once

#include "firmware/qt/UnitNFC_Selector.h"
#include "link/AppContext.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/exception_sink.h"
#include "platform/ini_file.h"
#include "platform/qt/qt_message_loop.h"
#include "serial/SioPort.h"
#include "sim/boot_transport.h"
#include "support_boot.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kyd::firmware::test {

class FlashWindowStack {
public:
    static constexpr int kCom = 47;

    explicit FlashWindowStack(sim::BootConfig config = Config());
    ~FlashWindowStack();
    static sim::BootConfig Config();

    // One tick of the window's timer, then what it left to do.
    void Tick();
    // Ticks until the window is connected and idle (at most n ticks).
    bool ConnectWindow(int n = 5);
    // Writes a HEX file into the temporary folder; returns its path.
    std::string WriteHex(const std::string& name, const std::vector<std::string>& lines);
    // Chooses the file as the "..." button does.
    void ChooseFile(const std::string& path);
    void Check(QCheckBox* box, bool on);
    void Start();
    // When the simulator logs event, the fake clock jumps ms ahead.
    void AdvanceOn(const std::string& event, std::int64_t ms);
    // When the simulator logs event, f runs on the main thread (inside the
    // wait under way).
    void OnEvent(const std::string& event, std::function<void()> f);
    template <class F>
    void Faults(F&& f)
    {
        sim.withCore([&](sim::BootCore& c) { f(c.faults()); });
    }
    std::vector<std::uint8_t> Image(int node);
    std::vector<platform::FakeDialogs::Call> Messages();

    platform::FakeClock clock;
    platform::QtMessageLoop loop;
    platform::FakeDialogs dialogs;
    platform::ExceptionRecorder exceptions;
    sim::BootSimulator sim;
    std::string dir;
    std::string linkPath;
    std::unique_ptr<sim::BootPtyTransport> transport;
    sio::TSioComPort port;
    link::FakeOptions options;
    std::unique_ptr<platform::IniFile> ini;
    std::vector<TBeep> beeps;
    int terminated = 0;
    std::unique_ptr<TFormFlashDownLoader> window;

private:
    std::mutex mutex_;
    std::map<std::string, std::int64_t> advances_;
    std::map<std::string, std::function<void()>> hooks_;
};

class FlashWindowFixture : public ::testing::Test, protected FlashWindowStack {
};

} // namespace kyd::firmware::test

// The tester's windows wired to an in-process simulated dispenser, on the Qt
// message loop, with a fake clock, fake dialogs, a fake document opener and
// a settings file in a temporary folder.
#pragma once

#include "app/qt/TesterApp.h"
#include "link/LinkPort.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/document_opener.h"
#include "platform/exception_sink.h"
#include "platform/ini_file.h"
#include "platform/qt/qt_message_loop.h"
#include "support_sim_port.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kyd::app::test {

// The in-process port of the link's tests: its far end is the simulated
// dispenser, whose answers arrive as posted calls inside the link's wait.
using SimPort = link::test::SimLinkPort;

class AppFixture : public ::testing::Test {
protected:
    AppFixture();
    ~AppFixture() override;

    // Creates the windows on the settings file (shown unless told not to).
    void Start(bool show = true);
    // Closes the main window as the operator would (the shutdown saving
    // runs), then ends the program's windows.
    void Quit();
    // Quit, then Start again on the same settings file.
    void Restart();

    TesterApp& App() { return *app; }
    TPLVRMainF& Main();
    SimPort& Port() { return *ports.back(); }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    void WriteFile(const std::string& name, const std::string& text) const;
    std::string ReadFile(const std::string& path) const;
    // Types text into the command-string window and presses Enter.
    void TypeCommand(const std::string& text);
    // Runs pending events of the Qt loop and of the message queue.
    void ProcessEvents();

    // Fake time passes on its own while the windows pump messages: every
    // run of the ticker (a posted call) moves the clock on by 50 ms and
    // calls onTick.
    void StartTicker();
    void StopTicker() { *ticking_ = false; }
    std::function<void()> onTick;

    std::string dir;
    std::string iniPath;
    std::string iniNotice; // the settings file's start notice, as the program's choice of file gives it
    std::vector<int> portList{1, 2, 3};
    platform::FakeClock clock;
    platform::QtMessageLoop loop;
    platform::FakeDialogs dialogs;
    platform::FakeDocumentOpener opener;
    platform::ExceptionRecorder exceptions;
    std::vector<SimPort*> ports; // every port the factory made, newest last
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<TesterApp> app;

private:
    void PostTick();
    std::shared_ptr<bool> ticking_ = std::make_shared<bool>(false);
};

} // namespace kyd::app::test

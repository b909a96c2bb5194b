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
#include "sim/framing.h"
#include "sim/sim_core.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace kyd::app::test {

// A serial port whose far end is the simulated dispenser. Answers arrive as
// posted calls, inside the link's wait, as the serial library's packet
// events do; the packet's time-out runs on the process clock.
class SimPort final : public link::LinkPort {
public:
    SimPort();
    ~SimPort() override;

    void SetEvents(link::LinkPortEvents* events) override { events_ = events; }
    void Open(const link::PortSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    link::PortSettings Settings() const override { return settings_; }
    void SetRTS(bool on) override { rts_ = on; }
    bool CTS() const override { return open_ && rts_; }
    int OutBuffFree() const override { return 4096; }
    void FlushInBuffer() override;
    void FlushOutBuffer() override;
    void PutString(const std::string& bytes) override;
    void EnablePacket(int timeoutTicks) override;
    void DisablePacket() override;

    sim::SimCore core;
    std::set<int> existingPorts{1, 2, 3};
    int promptAnswer = 1;            // the operator's pick when asked (0: cancels)
    bool holdReplies = false;        // the dispenser stays silent
    std::function<void(const std::string&)> onWrite; // after each write
    std::vector<std::string> written;
    std::vector<link::PortSettings> opens;

private:
    std::intptr_t OnMessage(const platform::Message& m);

    link::LinkPortEvents* events_ = nullptr;
    platform::TargetId target_ = 0;
    link::PortSettings settings_;
    bool open_ = false;
    bool rts_ = false;
    bool packetEnabled_ = false;
    std::uint64_t packetGen_ = 0;
    std::uint64_t inputGen_ = 0;
    sim::FrameAssembler assembler_;
};

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

    std::string dir;
    std::string iniPath;
    std::vector<int> portList{1, 2, 3};
    platform::FakeClock clock;
    platform::QtMessageLoop loop;
    platform::FakeDialogs dialogs;
    platform::FakeDocumentOpener opener;
    platform::ExceptionRecorder exceptions;
    std::vector<SimPort*> ports; // every port the factory made, newest last
    std::unique_ptr<platform::IniFile> ini;
    std::unique_ptr<TesterApp> app;
};

} // namespace kyd::app::test

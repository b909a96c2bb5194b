// The link's objects and the platform fakes they run on, shared by the link
// fixtures: a fake clock, a plain message loop pumped by hand, recording
// dialogs and window fakes, the status model, TCom on a given port and the
// command layer on TCom.
#pragma once

#include "link/AppContext.h"
#include "link/LinkPort.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/plain_message_loop.h"

#include <chrono>
#include <memory>
#include <vector>

namespace kyd::link::test {

struct LinkStack {
    explicit LinkStack(std::chrono::system_clock::time_point wall = {}) : clock(1'000'000, wall)
    {
        platform::setClock(&clock);
        platform::setMessageLoop(&loop);
        platform::setDialogs(&dialogs);
    }
    ~LinkStack()
    {
        ReleaseLink();
        platform::setDialogs(nullptr);
        platform::setMessageLoop(nullptr);
        platform::setClock(nullptr);
    }

    // TCom on the port and the command layer on TCom; handshake and logging
    // start off.
    void BuildLink(std::unique_ptr<LinkPort> port)
    {
        com = std::make_unique<TCom>(std::move(port));
        ctx.MainWindow = &mainWindow;
        ctx.ComStrings = &comStrings;
        ctx.Options = &options;
        ctx.Com = com.get();
        cmd = std::make_unique<TPLVRCmdF>(&model, &ctx);
        options.settings.Handshake = false;
        options.settings.LoggingEnabled = false;
        // The quiet-line wait after a failed exchange runs on the fake
        // clock: each window passes at once unless a test holds it.
        com->QuietWaitHandler = [this](int ms) {
            quietWaits.push_back(ms);
            if (autoPassQuietWindows)
                loop.postCall([this, ms] { clock.advance(ms + 110); });
        };
    }
    // Frees the command layer and TCom (which closes the port) and runs what
    // they left posted.
    void ReleaseLink()
    {
        cmd.reset();
        com.reset();
        loop.processPending();
    }

    platform::FakeClock clock;
    platform::PlainMessageLoop loop;
    platform::FakeDialogs dialogs;
    FakeMainWindow mainWindow;
    FakeComStrings comStrings;
    FakeOptions options;
    Protokoll model;
    AppContext ctx;
    std::unique_ptr<TCom> com;
    std::unique_ptr<TPLVRCmdF> cmd;
    std::vector<int> quietWaits; // every quiet-line window the link began
    bool autoPassQuietWindows = true;
};

} // namespace kyd::link::test

// A script opened from the Scripts menu when the dispenser's port goes away
// under it, through the serial library to the simulated dispenser on a
// pseudo-terminal.
#include "support_pty_app.h"

#include "app/qt/PLVRMain.h"
#include "link/TDLScript.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>

namespace kyd::app::test {
namespace {

using ScriptPortLost = PtyAppFixture;

// The line goes away during the second exchange; the operator ignores the
// failed exchange, and the next statement finds no port: the script ends
// as aborted, and once the port is back Continue goes on with that
// statement.
TEST_F(ScriptPortLost, AScriptStoppedByAVanishedPortEndsAsAbortedAndContinuesOnceItIsBack)
{
    WriteFile("run.tdl", "RESET\nREAD_PROGRAM_ID\nLIFTS_UP\nRESET\n");
    StartOnPty();
    const std::string path = transport->slavePath();
    int seen = 0;
    simulator.setCommandHook([this, &seen](const std::string&) {
        if (++seen != 2)
            return;
        // No answer: the exchange ends only when the line has gone.
        simulator.updateFaults([](sim::SimFaults& f) { f.silent = 1; });
        loop.postCall([this] { transport.reset(); });
    });
    dialogs.queueFile(Path("run.tdl"));
    dialogs.queueResult(platform::DlgResult::Ignore);
    Main().OpenTDLfile->trigger();

    std::vector<std::string> shown;
    for (const auto& c : dialogs.calls())
        shown.push_back(c.kind + ": " + c.text);
    dialogs.clear();
    ASSERT_EQ(shown.size(), 4u) << ::testing::PrintToString(shown);
    EXPECT_EQ(shown[1], "messageDlg: No Connection");
    EXPECT_EQ(shown[2].rfind("messageDlg: COM1 (" + path +
                                 ") is not available: check the cable and the dispenser's power.\n",
                             0),
              0u)
        << shown[2];
    EXPECT_EQ(shown[3], "showMessage: File " + Path("run.tdl") + " aborted!");
    EXPECT_TRUE(exceptions.messages().empty()) << ::testing::PrintToString(exceptions.messages());
    EXPECT_EQ(simulator.frameLog(), (std::vector<std::string>{"030", "A41"}));
    ASSERT_NE(Main().OpenedScript(), nullptr);
    EXPECT_TRUE(Main().OpenedScript()->IsAborted());
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file aborted");
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
    EXPECT_TRUE(Main().ScriptContinue->isEnabled());
    EXPECT_TRUE(Main().ScriptsRunagain->isEnabled());

    // The dispenser is back: Continue sends the statement that found no
    // port, and the rest of the script.
    simulator.setCommandHook({});
    transport = std::make_unique<sim::PtyTransport>(simulator);
    platform::setPortPathOverride(1, transport->slavePath());
    Main().ScriptContinue->trigger();
    EXPECT_EQ(simulator.frameLog(), (std::vector<std::string>{"030", "A41", "838", "030"}));
    EXPECT_TRUE(dialogs.calls().empty());
    EXPECT_EQ(Main().StatusPanel1->text(), "TDL-file done");
    EXPECT_FALSE(Main().ScriptContinue->isEnabled());
    EXPECT_TRUE(exceptions.messages().empty());
}

} // namespace
} // namespace kyd::app::test

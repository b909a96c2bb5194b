// The tester's windows talking through the serial library's port component
// to the simulated dispenser on a pseudo-terminal.
#include "support_pty_app.h"

#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"
#include "platform/serial_device.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

namespace kyd::app::test {
namespace {

class PtyAppTest : public PtyAppFixture {
protected:
    // COM1 with the handshake on (CTS follows RTS on the pseudo-terminal),
    // logging into the temporary folder; both tool windows shown.
    void StartOnPty()
    {
        {
            platform::IniFile pre(iniPath);
            pre.writeInteger("Communication", "ComPort", 1);
            pre.writeBool("Communication", "Handshake", true);
            pre.writeBool("Logging", "LogEnabled", true);
            pre.writeString("Logging", "LogFile", Path("kyd.log"));
            ASSERT_TRUE(pre.updateFile());
        }
        Start();
        Main().ViewCmdStrMenuItem->trigger();
        Main().ViewStatusMenuItem->trigger();
        ASSERT_EQ(App().CmdStrForm().CommandLayer(), Main().CommandLayer());
    }
    QStringList ComLines() { return App().ComStringDlg().Lines(); }
    QString LastStatusLine()
    {
        QListWidget* l = App().StatusListFrame().StatusListBox;
        return l->count() ? l->item(l->count() - 1)->text() : QString();
    }
    std::vector<std::string> Frames() { return simulator.frameLog(); }
};

TEST_F(PtyAppTest, TypedCommandGoesOverTheLineAndShowsLinesStatusAndLog)
{
    StartOnPty();
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1");
    TypeCommand("A");
    EXPECT_EQ(Frames(), std::vector<std::string>{"A41"});
    const QStringList lines = ComLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Out: A41");
    // The program id as the dispenser sent it, with its checksum.
    const std::string reply = simulator.withCore([](sim::SimCore& c) { return c.execute("A"); });
    EXPECT_EQ(lines[1].toStdString(), "In : " + reply + link::TCom::Checksum(reply));
    EXPECT_EQ(Main().StatusPanel2->text(), "30 Successful Command");
    EXPECT_EQ(LastStatusLine(), "30 Successful Command");
    EXPECT_FALSE(Main().CommandLayer()->Busy());
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
    EXPECT_FALSE(Main().ToolButtonAbort->isEnabled());

    const std::string log = ReadFile(Path("kyd.log"));
    EXPECT_NE(log.find("Out: A41"), std::string::npos) << log;
    EXPECT_NE(log.find(("In : " + lines[1].mid(5)).toStdString()), std::string::npos) << log;
    EXPECT_TRUE(exceptions.messages().empty());
}

// Another program (a second copy of the tool) holds the dispenser's port when
// the tool starts: the tool says so plainly. Once that program has let the
// port go, the next command opens it and goes out.
TEST_F(PtyAppTest, PortHeldByAnotherProgramAtStartIsOpenedByTheNextCommandOnceFreed)
{
    const std::unique_ptr<platform::SerialDevice> other = platform::createPosixSerialDevice();
    ASSERT_EQ(other->open(transport->slavePath()), platform::kDevOk);
    StartOnPty();
    ASSERT_FALSE(Main().Com()->Port().IsOpen());
    const std::string inUse = "COM1 (" + transport->slavePath() + ") is in use by another program";
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Error);
    EXPECT_EQ(dialogs.calls()[0].text.rfind(inUse, 0), 0u) << dialogs.calls()[0].text;
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1 (not open)");

    // Still held: the command says so too, and nothing goes out.
    TypeCommand("Q");
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_EQ(exceptions.messages()[0].rfind(inUse, 0), 0u) << exceptions.messages()[0];
    EXPECT_TRUE(Frames().empty());
    EXPECT_FALSE(Main().CommandLayer()->Busy());

    // The other program ends.
    other->close();
    TypeCommand("Q");
    EXPECT_EQ(Frames(), std::vector<std::string>{"Q51"});
    EXPECT_EQ(Main().StatusPanel2->text(), "30 Successful Command");
    EXPECT_EQ(Main().windowTitle(), "KYDTest COM1");
    EXPECT_EQ(exceptions.messages().size(), 1u);
    TypeCommand("A");
    EXPECT_EQ(Frames(), (std::vector<std::string>{"Q51", "A41"}));
}

TEST_F(PtyAppTest, AbortDuringAHeldReplyCancelsAndTheNextCommandWorks)
{
    StartOnPty();
    simulator.updateFaults([](sim::SimFaults& f) { f.silent = 1; });
    simulator.setCommandHook([this](const std::string&) {
        loop.postCall([this] { Main().ToolButtonAbort->click(); });
    });
    TypeCommand("0");
    EXPECT_EQ(Main().StatusPanel2->text(), "Communication Canceled");
    EXPECT_EQ(LastStatusLine(), "Communication Canceled");
    EXPECT_EQ(ComLines().last(), "In : ");
    EXPECT_FALSE(Main().CommandLayer()->Busy());
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());

    simulator.setCommandHook({});
    TypeCommand("0");
    EXPECT_EQ(ComLines().last(), "In : 030");
    EXPECT_EQ(Main().StatusPanel2->text(), "30 Successful Command");
    EXPECT_EQ(Frames(), (std::vector<std::string>{"030", "030"}));
}

TEST_F(PtyAppTest, PortGoneWhileIdleShowsAtOnce)
{
    StartOnPty();
    TypeCommand("0");
    ASSERT_EQ(Main().StatusPanel2->text(), "30 Successful Command");
    Main().StatusPanel1->clear();

    transport.reset(); // the far end hangs up; no command is under way
    EXPECT_TRUE(loop.pumpUntil([this] { return !Main().StatusPanel1->text().isEmpty(); }, 10'000));
    EXPECT_EQ(Main().StatusPanel1->text(), "COM1 is no longer available");
    EXPECT_EQ(Main().StatusPanel2->text(), "No Connection");
    EXPECT_EQ(LastStatusLine(), "COM1 is no longer available");
    EXPECT_TRUE(Main().MenuPageControl->isEnabled());
}

// While the port is gone a command says so in the operator's words, the
// library's message after them; once the port is back the first exchange
// reopens it and the lost-port text goes.
TEST_F(PtyAppTest, PortBackClearsTheLostTextAndCommandsWork)
{
    StartOnPty();
    TypeCommand("0");
    const std::string path = transport->slavePath();
    transport.reset();
    ASSERT_TRUE(loop.pumpUntil([this] { return !Main().StatusPanel1->text().isEmpty(); }, 10'000));
    ASSERT_EQ(Main().StatusPanel1->text(), "COM1 is no longer available");

    TypeCommand("0");
    ASSERT_EQ(exceptions.messages().size(), 1u);
    EXPECT_EQ(exceptions.messages()[0].rfind("COM1 (" + path +
                                                 ") is not available: check the cable and the dispenser's power.\n",
                                             0),
              0u)
        << exceptions.messages()[0];
    EXPECT_NE(exceptions.messages()[0].find("ie_"), std::string::npos) << exceptions.messages()[0];
    EXPECT_EQ(Main().StatusPanel1->text(), "COM1 is no longer available");

    transport = std::make_unique<sim::PtyTransport>(simulator);
    platform::setPortPathOverride(1, transport->slavePath());
    // The command that could not be sent is still in the box, not selected:
    // the operator selects it to type the next one over it.
    QTest::keyClick(App().CmdStrForm().CmdCombo, Qt::Key_A, Qt::ControlModifier);
    TypeCommand("0");
    EXPECT_EQ(Main().StatusPanel2->text(), "30 Successful Command");
    EXPECT_EQ(Main().StatusPanel1->text(), "");
    EXPECT_EQ(exceptions.messages().size(), 1u);
}

// The port opened again (the options applied) clears the text at once.
TEST_F(PtyAppTest, PortReopenedClearsTheLostText)
{
    StartOnPty();
    transport.reset();
    ASSERT_TRUE(loop.pumpUntil([this] { return !Main().StatusPanel1->text().isEmpty(); }, 10'000));
    transport = std::make_unique<sim::PtyTransport>(simulator);
    platform::setPortPathOverride(1, transport->slavePath());
    Main().Com()->Port().Close();
    App().Options().ApplySettings();
    EXPECT_TRUE(Main().Com()->Port().IsOpen());
    EXPECT_EQ(Main().StatusPanel1->text(), "");
}

} // namespace
} // namespace kyd::app::test

// Pictures of the tester's windows, filled from the simulated dispenser:
// the main window with its tool windows at their default places, the
// options dialog, the About box, the cassette information window (cassette
// list and note sizes) and the port selection dialog.
#include "support_app.h"

#include "app/qt/AboutBox.h"
#include "app/qt/CassInfo.h"
#include "app/qt/CmdStr.h"
#include "app/qt/CommStr.h"
#include "app/qt/OptionDlg.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/StatusList.h"
#include "link/PLVRCmd.h"
#include "platform/program_path.h"
#include "platform/qt/ui_scale.h"
#include "support/screenshot.h"
#include "serial/qt/SioSelCom.h"

#include <QAction>
#include <QPainter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QUrl>

#include <filesystem>

namespace kyd::app::test {
namespace {

std::string SourcePicture()
{
    return (std::filesystem::path(KYD_TEST_DATA_DIR).parent_path().parent_path().parent_path() / "src/app/res/KYDTest.jpg")
        .string();
}

// The windows drawn where they stand on the screen, later ones on top: what
// an operator sees of them together (without the window manager's frames).
QString SaveTogether(const std::vector<QWidget*>& windows, const std::string& name)
{
    QRect all;
    for (QWidget* w : windows)
        all |= w->geometry();
    QImage canvas(all.size(), QImage::Format_RGB32);
    canvas.fill(QColor(0, 96, 128));
    QPainter p(&canvas);
    for (QWidget* w : windows) {
        const QPixmap shot = w->grab();
        p.drawPixmap(w->geometry().topLeft() - all.topLeft(), shot);
        p.setPen(Qt::white);
        p.drawRect(QRect(w->geometry().topLeft() - all.topLeft(), w->size()).adjusted(0, 0, -1, -1));
    }
    p.end();
    QDir().mkpath(kyd::test::ScreenshotDir());
    const QString path = kyd::test::ScreenshotDir() + "/" + QString::fromStdString(name) + ".png";
    return canvas.save(path, "PNG") ? path : QString();
}

class Screenshots : public AppFixture {};

TEST_F(Screenshots, MainWindowWithItsToolWindowsAtDefaults)
{
    WriteFile("demo1.tdl", "// Dispense test\n");
    WriteFile("demo2.tdl", "// Reject test\n");
    WriteFile("demo3.tdl", "// Retract test\n");
    WriteFile("demo4.tdl", "// Status check\n");
    Start();
    Main().ViewStatusMenuItem->trigger();
    Main().ViewCmdStrMenuItem->trigger();
    TypeCommand("A");
    TypeCommand("Q");
    ProcessEvents();
    EXPECT_FALSE(SaveTogether({&App().ComStringDlg(), &App().StatusListFrame(), &Main(), &App().CmdStrForm()},
                              "app_main_and_tool_windows")
                     .isEmpty());
    EXPECT_FALSE(kyd::test::SaveScreenshot(&Main(), "app_main").isEmpty());
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetDemo);
    EXPECT_FALSE(kyd::test::SaveScreenshot(&Main(), "app_main_demo_page").isEmpty());
    EXPECT_FALSE(kyd::test::SaveScreenshot(&App().CmdStrForm(), "app_command_window").isEmpty());
    EXPECT_FALSE(kyd::test::SaveScreenshot(&App().ComStringDlg(), "app_communication_strings").isEmpty());
    EXPECT_FALSE(kyd::test::SaveScreenshot(&App().StatusListFrame(), "app_status_window").isEmpty());
}

TEST_F(Screenshots, OptionsAndAbout)
{
    Start();
    App().Options().show();
    ProcessEvents();
    EXPECT_FALSE(kyd::test::SaveScreenshot(&App().Options(), "app_options").isEmpty());
    App().Options().reject();
    TAboutBox box(&Main(), platform::executablePath(), SourcePicture());
    EXPECT_FALSE(kyd::test::SaveScreenshot(&box, "app_about").isEmpty());
}

TEST_F(Screenshots, CassetteInformation)
{
    Start();
    ASSERT_TRUE(Main().CommandLayer()->ReadCassetteIds());
    TCassInfo cassettes(&Main(), Main().Model());
    cassettes.ShowCassettes();
    EXPECT_FALSE(kyd::test::SaveScreenshot(&cassettes, "app_cassette_information").isEmpty());

    TCassInfo sizes(&Main(), Main().Model());
    sizes.ShowNoteSizes(std::string("x") + "EUR052 070140" + "SEK012A065130" + "USD011 066156");
    EXPECT_FALSE(kyd::test::SaveScreenshot(&sizes, "app_note_sizes").isEmpty());
}

// The guide's first page as a browser shows it.
TEST(ScreenshotsHelp, GuideFirstPage)
{
    QTextBrowser browser;
    browser.setSearchPaths({QString::fromUtf8(KYD_HELP_DIR)});
    browser.setSource(QUrl::fromLocalFile(QString::fromUtf8(KYD_HELP_DIR) + "/index.html"));
    browser.resize(platform::UiScale::For(&browser).Size({640, 620}));
    ASSERT_FALSE(browser.toPlainText().isEmpty());
    EXPECT_FALSE(kyd::test::SaveScreenshot(&browser, "app_help_first_page").isEmpty());
}

TEST(ScreenshotsSerial, PortSelectionDialog)
{
    sio::TComSelectForm form(nullptr, [](int n) { return n == 1 || n == 3 || n == 49; });
    EXPECT_FALSE(kyd::test::SaveScreenshot(&form, "app_port_selection").isEmpty());
}

} // namespace
} // namespace kyd::app::test

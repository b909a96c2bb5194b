// The operator's guide that the Help menu opens: both items enabled once the
// guide is beside the program, the file handed to the desktop's viewer, and
// a section for every page of the main window and every TDL keyword.
#include "support_app.h"

#include "app/qt/PLVRMain.h"
#include "link/TDLScript.h"

#include <QAction>
#include <QRegularExpression>
#include <QTabWidget>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kyd::app::test {
namespace {

std::string ReadGuide(const std::string& name)
{
    std::ifstream in(std::string(KYD_HELP_DIR) + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The texts of the guide's headings.
std::vector<std::string> Headings(const std::string& html)
{
    std::vector<std::string> out;
    const QRegularExpression h("<h[23][^>]*>(.*?)</h[23]>", QRegularExpression::DotMatchesEverythingOption);
    for (auto it = h.globalMatch(QString::fromStdString(html)); it.hasNext();)
        out.push_back(it.next().captured(1).toStdString());
    return out;
}

// HTML's escapes of the characters keywords may hold.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
    return out;
}

class HelpGuideTest : public AppFixture {};

TEST_F(HelpGuideTest, BothItemsOpenTheGuideBesideTheProgram)
{
    std::filesystem::copy(KYD_HELP_DIR, Path("help"), std::filesystem::copy_options::recursive);
    Start();
    ASSERT_TRUE(Main().RIDURadeHelp->isEnabled());
    ASSERT_TRUE(Main().KYDTroubleshooting->isEnabled());
    Main().RIDURadeHelp->trigger();
    Main().KYDTroubleshooting->trigger();
    ASSERT_EQ(opener.requests().size(), 2u);
    EXPECT_EQ(opener.requests()[0].path, Path("help/index.html"));
    EXPECT_EQ(opener.requests()[1].path, Path("help/troubleshooting.html"));
    EXPECT_EQ(opener.requests()[0].workDir, dir);
    EXPECT_TRUE(dialogs.calls().empty());
    // Every page the guide links to is there.
    const QRegularExpression link("href=\"([a-z]+\\.html)");
    for (const char* page : {"index.html", "windows.html", "tdl.html", "firmware.html", "simulator.html", "files.html",
                             "troubleshooting.html"}) {
        const std::string html = ReadGuide(page);
        ASSERT_FALSE(html.empty()) << page;
        for (auto it = link.globalMatch(QString::fromStdString(html)); it.hasNext();) {
            const std::string target = it.next().captured(1).toStdString();
            EXPECT_TRUE(std::filesystem::exists(Path("help/" + target))) << page << " links to " << target;
        }
    }
}

TEST_F(HelpGuideTest, EveryPageOfTheMainWindowHasASection)
{
    Start();
    const std::vector<std::string> headings = Headings(ReadGuide("windows.html"));
    QTabWidget* pages = Main().MenuPageControl;
    ASSERT_EQ(pages->count(), 8);
    for (int i = 0; i < pages->count(); ++i) {
        const std::string caption = pages->tabText(i).remove('&').toStdString();
        EXPECT_NE(std::find(headings.begin(), headings.end(), caption), headings.end()) << caption;
    }
}

TEST_F(HelpGuideTest, TdlSectionNamesEveryKeywordOfTheEngine)
{
    const std::string html = ReadGuide("tdl.html");
    ASSERT_FALSE(html.empty());
    for (const std::string& k : link::TTDLScript::Keywords())
        EXPECT_NE(html.find("<code>" + Escaped(k) + "</code>"), std::string::npos) << k;
    EXPECT_NE(html.find("<pre>"), std::string::npos); // the example
}

} // namespace
} // namespace kyd::app::test

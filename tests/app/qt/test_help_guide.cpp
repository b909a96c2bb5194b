// The operator's guide that the Help menu opens: both items enabled once the
// guide is beside the program, the file handed to the desktop's viewer, and
// a section for every page of the main window and every TDL keyword.
#include "support_app.h"

#include "app/qt/PLVRMain.h"
#include "link/TDLScript.h"

#include <QAbstractButton>
#include <QAction>
#include <QRegularExpression>
#include <QSet>
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

// The buttons a page's section names in bold are on that page, with that
// caption.
TEST_F(HelpGuideTest, EveryButtonTheGuideNamesIsOnThePageItNames)
{
    Start();
    const QString html = QString::fromStdString(ReadGuide("windows.html"));
    QTabWidget* pages = Main().MenuPageControl;
    const QRegularExpression bold("<b>(.*?)</b>", QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression firstCell("<tr><td>(.*?)</td>", QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression tag("<[^>]*>");
    int named = 0;
    for (int i = 0; i < pages->count(); ++i) {
        const QString caption = pages->tabText(i).remove('&');
        const qsizetype start = html.indexOf(QRegularExpression("<h2[^>]*>" + QRegularExpression::escape(caption) + "</h2>"));
        ASSERT_GE(start, 0) << caption.toStdString();
        qsizetype end = html.indexOf("<h2", start + 1);
        if (end < 0)
            end = html.size();
        QStringList onPage;
        for (QAbstractButton* b : pages->widget(i)->findChildren<QAbstractButton*>())
            onPage << b->text().remove('&').simplified();
        // Named in bold in the text, or in the first column of a table.
        const QString section = html.mid(start, end - start);
        QSet<QString> names;
        for (auto it = bold.globalMatch(section); it.hasNext();)
            names << it.next().captured(1).simplified().replace("&amp;", "&");
        for (auto it = firstCell.globalMatch(section); it.hasNext();)
            for (const QString& part : it.next().captured(1).remove(tag).split(" / "))
                names << part.simplified().replace("&amp;", "&");
        // Every action button of the Cassette page is in its section.
        if (pages->widget(i) == Main().TabSheetCassItem) {
            for (QAbstractButton* b : pages->widget(i)->findChildren<QAbstractButton*>(QRegularExpression("^Button")))
                EXPECT_TRUE(names.contains(b->text().remove('&'))) << b->text().toStdString() << " is not in the guide";
        }
        for (const QString& name : names) {
            EXPECT_TRUE(onPage.contains(name)) << "\"" << name.toStdString() << "\" is not on " << caption.toStdString();
            ++named;
        }
    }
    EXPECT_GT(named, 40);
    // Where the guide once put them: not on Service.
    const QWidget* service = Main().MenuPageControl->findChild<QWidget*>("ServiceItemTabSheet");
    for (const char* moved : {"ClearNovramButton", "DefaultSettingsButton"})
        EXPECT_EQ(service->findChild<QAbstractButton*>(moved), nullptr) << moved;
}

TEST_F(HelpGuideTest, TdlSectionNamesEveryKeywordOfTheEngine)
{
    const std::string html = ReadGuide("tdl.html");
    ASSERT_FALSE(html.empty());
    for (const std::string& k : link::TTDLScript::Keywords())
        EXPECT_NE(html.find("<code>" + Escaped(k) + "</code>"), std::string::npos) << k;
    EXPECT_NE(html.find("<pre>"), std::string::npos); // the example
}

TEST_F(HelpGuideTest, TdlSectionTellsWhereContinueStartsInsideLoops)
{
    const std::string html = ReadGuide("tdl.html");
    // Inside a loop Continue goes on in the pass under way, it does not
    // start that pass again; a statement of several commands stops between
    // them; a script's texts may be UTF-8.
    EXPECT_NE(html.find("Inside a loop, Continue goes on in the pass that was under way"), std::string::npos);
    EXPECT_EQ(html.find("from the first line after its"), std::string::npos);
    EXPECT_NE(html.find("stops before its next command"), std::string::npos);
    EXPECT_NE(html.find("valid UTF-8"), std::string::npos);
}

} // namespace
} // namespace kyd::app::test

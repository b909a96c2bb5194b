// The module error log, module status and module id windows against the
// simulated dispenser: pages read until the end mark, a failed or corrupt
// page, records edited and written back, reports saved and printed to PDF.
#include "support_pty_app.h"

#include "app/qt/ModErrLogDlg.h"
#include "app/qt/ModIdDlg.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "link/PLVRCmd.h"
#include "platform/qt/qt_printing.h"
#include "sim/sim_faults.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QHeaderView>
#include <QScrollBar>
#include <QTreeWidget>

#include <cstdio>
#include <stdexcept>
#include <filesystem>

namespace kyd::app::test {
namespace {

using Commands = std::vector<std::string>;

std::string Shell(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

// Clicks a main-window button and works the window it opens with f; true
// when that window was shown.
template <class Dlg, class F>
bool OpenFrom(QWidget& main, const char* button, F f)
{
    bool shown = false;
    SetModalHandler([&](QDialog& d) {
        if (auto* w = qobject_cast<Dlg*>(&d)) {
            shown = true;
            f(*w);
        }
        return int(QDialog::Accepted);
    });
    main.findChild<QAbstractButton*>(button)->click();
    SetModalHandler({});
    return shown;
}

// An error log of n entries, for the simulator to hold.
std::vector<sim::ErrorLogEntry> ErrorLog(int n)
{
    std::vector<sim::ErrorLogEntry> log;
    for (int i = 0; i < n; ++i)
        log.push_back({3 + i % 8, i % 20, std::to_string(1000 + i)});
    return log;
}

// The texts of the error boxes shown so far.
std::vector<std::string> ErrorTexts(const platform::FakeDialogs& dialogs)
{
    std::vector<std::string> out;
    for (const auto& c : dialogs.calls())
        if (c.type == platform::DlgType::Error)
            out.push_back(c.text);
    return out;
}

class ModuleWindowsTest : public PtyAppFixture {
protected:
    ~ModuleWindowsTest() override
    {
        SetModalHandler({});
        platform::setPrinting(nullptr);
    }

    void SetLog(int entries)
    {
        simulator.withCore([log = ErrorLog(entries)](auto& core) { core.setErrorLog(log); });
    }
    void Click(const char* name) { Main().findChild<QAbstractButton*>(name)->click(); }
    template <class Dlg, class F>
    bool Open(const char* button, F f)
    {
        return OpenFrom<Dlg>(Main(), button, f);
    }
    static std::string Cell(QTreeWidget* list, int row, int col)
    {
        return list->topLevelItem(row)->text(col).toStdString();
    }
};

TEST_F(ModuleWindowsTest, ErrorLogPagesUntilTheEndMarkAndAFailedPage)
{
    StartOnPty();
    SetLog(60);
    TakeCommands();
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) {
        ASSERT_EQ(d.ListViewModErrLog->topLevelItemCount(), 60);
        EXPECT_EQ(d.ListViewModErrLog->headerItem()->text(0), "No");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 0, 0), "1");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 0, 1), "TRP");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 0, 2), "00  The Transport is OK");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 56, 0), "57");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 56, 3), "1056");
        EXPECT_TRUE(d.PanelButtons->isVisibleTo(&d));
        // No description is cut off.
        const QFontMetrics fm(d.ListViewModErrLog->font());
        for (int r = 0; r < d.ListViewModErrLog->topLevelItemCount(); ++r)
            EXPECT_LT(fm.horizontalAdvance(d.ListViewModErrLog->topLevelItem(r)->text(2)),
                      d.ListViewModErrLog->columnWidth(2)) << r;
    }));
    EXPECT_EQ(TakeCommands(), (Commands{"RD/311", "RD/311/1", "RD/311/2"}));

    // A page that cannot be read ends loading; what was read is shown.
    simulator.updateFaults([](sim::SimFaults& f) {
        sim::ScriptedStatus s;
        ASSERT_TRUE(sim::parseScriptedStatus("RD/311/1:1:8", s));
        f.scripted.push_back(s);
    });
    dialogs.clear();
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) {
        EXPECT_EQ(d.ListViewModErrLog->topLevelItemCount(), 28);
        const QFontMetrics fm(d.ListViewModErrLog->font());
        for (int r = 0; r < d.ListViewModErrLog->topLevelItemCount(); ++r)
            EXPECT_LT(fm.horizontalAdvance(d.ListViewModErrLog->topLevelItem(r)->text(2)),
                      d.ListViewModErrLog->columnWidth(2)) << r;
    }));
    EXPECT_EQ(TakeCommands(), (Commands{"RD/311", "RD/311/1"}));
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Error);
    EXPECT_EQ(dialogs.calls()[0].text, Main().Model()->CodeText);

    // An empty log: no further page, the window still shows.
    SetLog(0);
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) {
        EXPECT_EQ(d.ListViewModErrLog->topLevelItemCount(), 0);
    }));
    EXPECT_EQ(TakeCommands(), Commands{"RD/311"});

    // A corrupt page is reported and the window is not shown.
    dialogs.clear();
    TFormModErrLogDlg corrupt(&Main(), Main().CommandLayer());
    EXPECT_FALSE(corrupt.LoadErrorLog("/0317004"));
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, "Corrupted reply string from KYD:\n/0317004");
    EXPECT_EQ(dialogs.calls()[0].type, platform::DlgType::Warning);
}

TEST_F(ModuleWindowsTest, FaultsOfARunShowInTheLogUntilTheNvMemoryIsInitialised)
{
    StartOnPty();
    SetLog(0);
    simulator.withCore([](sim::SimCore& c) { c.cassette(3).exitJammed = true; });
    Click("LiftUpButton");
    Main().CommandLayer()->Dispense('1', '0', {0, 0, 5, 0, 0, 0, 0, 0});
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) {
        ASSERT_EQ(d.ListViewModErrLog->topLevelItemCount(), 1);
        EXPECT_EQ(Cell(d.ListViewModErrLog, 0, 1), "FDR");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 0, 2), "10  Sensor broken, or note stuck under exit sensor");
    }));
    Click("InitializeRAMButton");
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) {
        EXPECT_EQ(d.ListViewModErrLog->topLevelItemCount(), 0);
    }));
    Click("SetTestModeButton");
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.testMode(); }), "00");
}

TEST_F(ModuleWindowsTest, ModuleStatusHidesItsButtons)
{
    StartOnPty();
    TakeCommands();
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModStatusButton", [](TFormModErrLogDlg& d) {
        EXPECT_EQ(d.windowTitle(), "Module Status");
        EXPECT_FALSE(d.PanelButtons->isVisibleTo(&d));
        ASSERT_EQ(d.ListViewModErrLog->topLevelItemCount(), 10);
        EXPECT_EQ(d.ListViewModErrLog->headerItem()->text(0), "Task");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 0, 2), "The Transport is OK");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 9, 0), "BCU");
        EXPECT_EQ(Cell(d.ListViewModErrLog, 9, 2), ""); // not among the searched names
    }));
    EXPECT_EQ(TakeCommands(), Commands{"RD/397"});
}

TEST_F(ModuleWindowsTest, BothModuleIdPagesShowTheirColumnsWithoutScrolling)
{
    StartOnPty();
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [&](TModuleIdDlg& d) {
        d.show();
        for (int page : {0, 1}) {
            d.PageControl1->setCurrentIndex(page);
            ProcessEvents();
            QTreeWidget* list = page == 0 ? d.ListViewModId : d.ListViewExtModId;
            SCOPED_TRACE(list->objectName().toStdString());
            EXPECT_LE(list->header()->length(), list->viewport()->width());
            EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
        }
        d.hide();
    }));
}

// The in-process port, whose writes can fail as a port that went away does.
class ModulePagesTest : public AppFixture {
protected:
    ~ModulePagesTest() override { SetModalHandler({}); }
    // Writes of commands beginning with prefix throw.
    void FailWritesOf(const std::string& prefix)
    {
        Port().onWrite = [prefix](const std::string& bytes) {
            if (bytes.rfind(prefix, 0) == 0)
                throw std::runtime_error("COM1 is not available");
        };
    }
    template <class Dlg, class F>
    bool Open(const char* button, F f)
    {
        return OpenFrom<Dlg>(Main(), button, f);
    }
    std::vector<std::string> Errors() { return ErrorTexts(dialogs); }
};

TEST_F(ModulePagesTest, APageThatCannotBeReadForTheLostPortKeepsWhatWasRead)
{
    Start();
    Port().simulator.withCore([log = ErrorLog(40)](auto& core) { core.setErrorLog(log); });

    FailWritesOf("RD/311/1");
    int rows = -1;
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton",
                                        [&](TFormModErrLogDlg& d) { rows = d.ListViewModErrLog->topLevelItemCount(); }));
    EXPECT_EQ(rows, 28);
    EXPECT_EQ(Errors(), std::vector<std::string>{"COM1 is not available"});

    dialogs.clear();
    FailWritesOf("RD/110/1");
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [&](TModuleIdDlg& d) { rows = d.ListViewModId->topLevelItemCount(); }));
    EXPECT_GT(rows, 0);
    EXPECT_EQ(Errors(), std::vector<std::string>{"COM1 is not available"});
    EXPECT_TRUE(exceptions.messages().empty());
}

TEST_F(ModulePagesTest, EditingActsOnTheRowShownSelectedAfterTheExtendedPage)
{
    Start();
    std::string edited;
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [&](TModuleIdDlg& d) {
        ASSERT_GT(d.ListViewModId->topLevelItemCount(), 1);
        d.ListViewModId->setCurrentItem(d.ListViewModId->topLevelItem(1));
        d.PageControl1->setCurrentIndex(1);
        d.PageControl1->setCurrentIndex(0);
        ASSERT_TRUE(d.ListViewModId->topLevelItem(1)->isSelected());
        SetModalHandler([&](QDialog& e) {
            if (auto* editor = qobject_cast<TEditModIdDlg*>(&e))
                edited = editor->windowTitle().toStdString() + ":" + d.ListViewModId->currentItem()->text(0).toStdString();
            return int(QDialog::Rejected);
        });
        d.Edit1->trigger();
    }));
    EXPECT_EQ(edited.rfind("Edit Module Id:", 0), 0u) << edited;
}

TEST_F(ModuleWindowsTest, ModuleIdsEditedAndWrittenBack)
{
    StartOnPty();
    TakeCommands();
    auto editFirst = [this](TModuleIdDlg& d, QTreeWidget* list, std::function<void(TEditModIdDlg&)> edit) {
        list->setCurrentItem(list->topLevelItem(0));
        SetModalHandler([edit](QDialog& e) {
            auto* editor = qobject_cast<TEditModIdDlg*>(&e);
            if (!editor)
                return int(QDialog::Rejected);
            EXPECT_FALSE(editor->SaveBtn->isEnabled());
            edit(*editor);
            EXPECT_TRUE(editor->SaveBtn->isEnabled());
            editor->SaveBtn->click();
            return editor->result();
        });
        d.Edit1Click();
    };
    std::string first;
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [&](TModuleIdDlg& d) {
        EXPECT_EQ(TakeCommands(), (Commands{"RD/110/0", "RD/110/1", "RD/110/2"}));
        ASSERT_GT(d.ListViewModId->topLevelItemCount(), 0);
        first = Cell(d.ListViewModId, 0, 0);
        // Answered No: nothing sent, the row keeps the edit.
        dialogs.queueResult(platform::DlgResult::No);
        editFirst(d, d.ListViewModId, [](TEditModIdDlg& e) { e.TypeEdit->setText("9"), e.TypeEdit->textEdited("9"); });
        EXPECT_EQ(Cell(d.ListViewModId, 0, 1), "009");
        EXPECT_TRUE(TakeCommands().empty());
        dialogs.queueResult(platform::DlgResult::Yes);
        editFirst(d, d.ListViewModId, [](TEditModIdDlg& e) {
            e.TypeEdit->setText("7");
            e.SerialNrEdit->setText("42");
            e.RevEdit->setText("123");
            e.RevEdit->textEdited("123");
        });
        const Commands sent = TakeCommands();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], "WD/110/" + first + "007" + "12" + Cell(d.ListViewModId, 0, 3) + "0000042");

        // Extended values are read once, when their page is first shown.
        d.PageControl1->setCurrentIndex(1);
        d.PageControl1->setCurrentIndex(0);
        d.PageControl1->setCurrentIndex(1);
        EXPECT_EQ(TakeCommands(), Commands{"RD/110/3"});
        ASSERT_GT(d.ListViewExtModId->topLevelItemCount(), 0);
        dialogs.queueResult(platform::DlgResult::Yes);
        editFirst(d, d.ListViewExtModId, [](TEditModIdDlg& e) {
            EXPECT_TRUE(e.ExtPanel->isVisibleTo(&e));
            e.ValueEdit->setText("AB");
            e.ValueEdit->textEdited("AB");
        });
        EXPECT_EQ(TakeCommands(), Commands{"WD/110/" + Cell(d.ListViewExtModId, 0, 0) + std::string(12, ' ') + "AB"});

        // Text that is not printable ASCII is refused in the editor, which
        // stays open; the row keeps its values and nothing is sent.
        dialogs.clear();
        for (const QString& bad : {QString::fromUtf8("\u20ac1"), QString("A\tB"), QString::fromLatin1("\xe9")}) {
            SCOPED_TRACE(bad.toStdString());
            editFirst(d, d.ListViewExtModId, [&](TEditModIdDlg& e) {
                e.ValueEdit->setText(bad);
                e.ValueEdit->textEdited(bad);
            });
            EXPECT_EQ(Cell(d.ListViewExtModId, 0, 1), std::string(12, ' ') + "AB");
        }
        EXPECT_TRUE(TakeCommands().empty());
        ASSERT_EQ(dialogs.calls().size(), 3u);
        EXPECT_EQ(dialogs.calls()[0].text, "Value: only printable ASCII characters (blank to '~') can be written");
        dialogs.clear();
        d.PageControl1->setCurrentIndex(0);
        d.ListViewModId->setCurrentItem(nullptr);
        editFirst(d, d.ListViewModId, [](TEditModIdDlg& e) {
            e.SerialNrEdit->setText(QString::fromLatin1("12\xb5"));
            e.SerialNrEdit->textEdited(e.SerialNrEdit->text());
        });
        EXPECT_TRUE(TakeCommands().empty());
        ASSERT_EQ(dialogs.calls().size(), 1u);
        EXPECT_EQ(dialogs.calls()[0].text.rfind("Serial Number: ", 0), 0u) << dialogs.calls()[0].text;
    }));
    // The dispenser kept what was written.
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [&](TModuleIdDlg& d) {
        EXPECT_EQ(Cell(d.ListViewModId, 0, 0), first);
        EXPECT_EQ(Cell(d.ListViewModId, 0, 1), "007");
        EXPECT_EQ(Cell(d.ListViewModId, 0, 4), "0000042");
    }));
}

TEST_F(ModuleWindowsTest, ReportsSavedBesideTheLogAndUnwritableFilesSaySo)
{
    StartOnPty();
    SetLog(3);
    const std::string saved = Path("errlog");
    const std::string bad = Path("missing/dir/errlog.txt");
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [&](TFormModErrLogDlg& d) {
        dialogs.clear();
        dialogs.queueFile(saved);
        d.SaveButton->click();
        dialogs.queueFile(bad);
        d.SaveButton->click();
    }));
    const auto calls = dialogs.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, "saveFile");
    // The dialog adds the extension itself, so it asks before replacing a
    // report of that name.
    EXPECT_EQ(calls[0].defaultSuffix, "txt");
    EXPECT_TRUE(calls[0].confirmOverwrite);
    const std::string logFolder =
        std::filesystem::path(Main().CommandLayer()->LogFileName()).parent_path().string();
    EXPECT_EQ(calls[0].start.rfind(logFolder, 0), 0u) << calls[0].start;
    const std::string text = ReadFile(saved + ".txt"); // the default extension
    EXPECT_EQ(text.rfind("    Module Error Log\n", 0), 0u);
    EXPECT_NE(text.find("    3  PRS   1002   02  Error during calibration"), std::string::npos) << text;
    EXPECT_EQ(calls[2].text, "Could not write file: " + bad + "\nNo such file or directory");
    EXPECT_EQ(calls[2].type, platform::DlgType::Error);
    EXPECT_EQ(calls[2].coding, platform::TextCoding::FileSystem); // the name as the file system gives it
}

// Printing to a file offers the report's name in the folder where the
// operator saved a report last, not the home folder.
TEST_F(ModuleWindowsTest, PrintToFileOffersTheReportBesideTheLastSavedOne)
{
    struct OfferedFile : platform::Printing {
        std::vector<std::string> offered;
        std::unique_ptr<platform::ReportCanvas> ChoosePrinter(const std::string&, const std::string& pdf) override
        {
            offered.push_back(pdf);
            return nullptr; // cancelled
        }
    } printing;
    platform::setPrinting(&printing);
    StartOnPty();
    SetLog(3);
    std::filesystem::create_directories(Path("reports"));
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [&](TFormModErrLogDlg& d) {
        dialogs.queueFile(Path("reports/errlog.txt"));
        d.SaveButton->click();
        d.PrintButton->click();
    }));
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [](TModuleIdDlg& d) { d.PrintButton->click(); }));
    EXPECT_EQ(printing.offered,
              (std::vector<std::string>{Path("reports/ModuleErrLog.pdf"), Path("reports/ModuleId.pdf")}));
}

TEST_F(ModuleWindowsTest, PrintWhoseOutputCannotBeOpenedSaysSo)
{
    StartOnPty();
    SetLog(3);
    platform::QtPrinting printing(Path("missing/dir/errlog.pdf"));
    platform::setPrinting(&printing);
    dialogs.clear();
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) { d.PrintButton->click(); }));
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [](TModuleIdDlg& d) { d.PrintButton->click(); }));
    EXPECT_EQ(ErrorTexts(dialogs), (std::vector<std::string>{
                          "Could not print KYDTest Module Error Log: the printer or the output file cannot be opened.",
                          "Could not print KYDTest Module Id: the printer or the output file cannot be opened."}));
}

TEST_F(ModuleWindowsTest, PrintedToPdfPageByPage)
{
    if (Shell("command -v pdfinfo pdftotext").empty())
        GTEST_SKIP() << "poppler-utils missing (scripts/deps.sh installs them)";
    StartOnPty();
    SetLog(4 * 28);
    const std::string pdf = Path("errlog.pdf");
    platform::QtPrinting printing(pdf);
    platform::setPrinting(&printing);
    EXPECT_TRUE(Open<TFormModErrLogDlg>("RDModErrorLogButton", [](TFormModErrLogDlg& d) { d.PrintButton->click(); }));
    const std::string info = Shell("pdfinfo '" + pdf + "'");
    const std::string text = Shell("pdftotext -layout '" + pdf + "' -");
    int pages = 0;
    std::sscanf(info.substr(info.find("Pages:") + 6).c_str(), "%d", &pages);
    EXPECT_GE(pages, 2) << info;
    EXPECT_NE(info.find("KYDTest Module Error Log"), std::string::npos) << info;
    for (int p = 1; p <= pages; ++p)
        EXPECT_NE(text.find("Page " + std::to_string(p)), std::string::npos) << p;
    EXPECT_NE(text.find("KYDTest Module Error Log"), std::string::npos);
    EXPECT_NE(text.find("112"), std::string::npos);
    EXPECT_NE(text.find("Transport is OK"), std::string::npos);

    // The module ids fit on one page: no page number.
    const std::string ids = Path("modid.pdf");
    platform::QtPrinting idPrinting(ids);
    platform::setPrinting(&idPrinting);
    EXPECT_TRUE(Open<TModuleIdDlg>("ModIdButton", [](TModuleIdDlg& d) { d.PrintButton->click(); }));
    EXPECT_NE(Shell("pdfinfo '" + ids + "'").find("Pages:           1"), std::string::npos);
    const std::string idText = Shell("pdftotext -layout '" + ids + "' -");
    EXPECT_NE(idText.find("Serial Number"), std::string::npos);
    EXPECT_EQ(idText.find("Page "), std::string::npos);
}

} // namespace
} // namespace kyd::app::test

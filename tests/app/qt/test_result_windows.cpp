// The result windows filled from what the simulated dispenser answers, and
// refusing replies that are not whole.
#include "support_pty_app.h"

#include "app/qt/CassInfo.h"
#include "app/qt/ItemForms.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/ResultForms.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/qt/ui_scale.h"

#include "app/qt/ModalRun.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTreeWidget>

namespace kyd::app::test {
namespace {

class ResultWindowsTest : public PtyAppFixture {
protected:
    link::TPLVRCmdF& Cmd() { return *Main().CommandLayer(); }
    link::Protokoll& Model() { return *Main().Model(); }
    std::string Row(QTreeWidget* v, int r)
    {
        const QTreeWidgetItem* i = v->topLevelItem(r);
        return i ? (i->text(0) + "|" + i->text(1) + "|" + i->text(2)).toStdString() : std::string();
    }
};

TEST_F(ResultWindowsTest, FillFromWhatTheDispenserAnswersAfterADispenseWithRejects)
{
    StartOnPty();
    // Power-on: the last status is data already; the tables hold nothing.
    ASSERT_TRUE(Cmd().ReadLastStatus());
    {
        TReadLastStatusForm w(&Main(), &Model());
        ASSERT_TRUE(w.ShowLastStatus("Last Dispense Status"));
        EXPECT_EQ(w.windowTitle(), "Last Dispense Status");
        ASSERT_EQ(w.RLSListView->topLevelItemCount(), 4);
        EXPECT_EQ(Row(w.RLSListView, 0), "1|0|30 Successful Command");
    }
    ASSERT_TRUE(Cmd().ReadRejectTrace());
    {
        TRejectDlgForm w(&Main());
        ASSERT_TRUE(w.ShowTrace(Model().Trace));
        EXPECT_EQ(MemoLines(w.RejectMemo), QStringList{"No rejects has occured"});
    }
    EXPECT_FALSE(Cmd().ReadData(300));
    EXPECT_EQ(Main().StatusPanel2->text(), "6A No Data Available");

    simulator.withCore([](sim::SimCore& c) {
        c.config().rejectEvery = 3;
        c.cassette(2).denomination = "SEK102A";
    });
    Cmd().OpenCassette(1, 1);
    Cmd().Dispense('1', '0', {6, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(Cmd().ReadLastStatus());
    {
        TReadLastStatusForm w(&Main(), &Model());
        ASSERT_TRUE(w.ShowLastStatus("Check Delivered Notes"));
        ASSERT_EQ(w.RLSListView->topLevelItemCount(), 1);
        EXPECT_EQ(Row(w.RLSListView, 0), "1|6|30 Successful Command");
    }
    Cmd().SendCommand("3", 20);      // deliver
    Cmd().SendCommand("101001", 20); // the notes are still in the throat

    ASSERT_TRUE(Cmd().ReadRejectTrace());
    {
        TRejectDlgForm w(&Main());
        ASSERT_TRUE(w.ShowTrace(Model().Trace));
        EXPECT_EQ(MemoLines(w.RejectMemo), (QStringList{"1\t31 Double Note", "2\t38 Skewed Note", "3\t30 ->"}));
    }
    ASSERT_TRUE(Cmd().ReadData(300));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        ASSERT_TRUE(w.ShowTable(Model().ReadData, 0));
        EXPECT_EQ(w.Lines(), (QStringList{"001\t02 More than one note", "001\t03 Skewed Note"}));
    }
    ASSERT_TRUE(Cmd().ReadData(301));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        ASSERT_TRUE(w.ShowTable(Model().ReadData, 1));
        EXPECT_TRUE(w.Lines().contains("001\t4D Notes In Bundle Output Unit")) << w.Lines().join('|').toStdString();
        EXPECT_TRUE(w.Lines().contains("001\t34 Rejected Notes")) << w.Lines().join('|').toStdString();
    }
    ASSERT_TRUE(Cmd().ReadData(118));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        ASSERT_TRUE(w.ShowCurrencyCodes(Model().ReadData));
        EXPECT_EQ(w.windowTitle(), "Currency codes");
        EXPECT_EQ(w.Lines(), (QStringList{"1  EUR", "2  SEK"}));
    }
    ASSERT_TRUE(Cmd().ReadData(100));
    {
        TKYDShowReadDataFrame w(&Main(), &Model());
        ASSERT_TRUE(w.ShowProgramIds(Model().ReadData));
        EXPECT_EQ(w.Lines().value(0), "CMC: 2024-05.17");
        EXPECT_EQ(w.Lines().size(), 4);
    }
    ASSERT_TRUE(Cmd().ReadData(202));
    {
        TCassInfo w(&Main(), &Model());
        ASSERT_TRUE(w.ShowNoteSizes(Model().ReadData));
        EXPECT_EQ(w.Cell(2, 3), "SEK 1000 A");
        EXPECT_EQ(w.Cell(1, 1), "067");
    }
    ASSERT_TRUE(Cmd().ReadCassetteIds());
    {
        TCassInfo w(&Main(), &Model());
        ASSERT_TRUE(w.ShowCassettes());
        EXPECT_EQ(w.Cell(1, 1), "00001");
        EXPECT_EQ(w.Cell(4, 0), "4");
    }
    ASSERT_TRUE(Cmd().ReadData(104));
    {
        TModifyItemDlg w(&Main());
        w.PrepareInteger("Max notes per bundle", Model().ReadData, true, "1 - 100", 3);
        EXPECT_EQ(w.ValueMaskEdit->text(), "100");
        EXPECT_EQ(w.CommentLabel->text(), "1 - 100");
        EXPECT_FALSE(w.ApplyBtn->isEnabled());
    }
    // Counters follow what was delivered and rejected.
    TNoteCounterForm counters(&Main(), &Cmd(), &Main());
    counters.show();
    ProcessEvents();
    ASSERT_FALSE(counters.Reading());
    const QStringList lines = counters.Lines();
    ASSERT_EQ(lines.size(), 17) << lines.join('|').toStdString();
    EXPECT_EQ(lines[0], "Item\tCount\tDescription");
    EXPECT_EQ(lines[2], "303\t6\tTotal number of notes delivered");
    EXPECT_EQ(lines[3], "304\t2\tTotal number of notes rejected");
    EXPECT_EQ(lines[11], QString(100, '-'));
    EXPECT_FALSE(Main().Busy().Busy());
    // Every counter line shows whole without a scroll bar; only the rules
    // run past the edge.
    ProcessEvents();
    QPlainTextEdit* memo = counters.MemoRDCounters;
    EXPECT_FALSE(memo->horizontalScrollBar()->isVisible());
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) {
        const QString text = b.text();
        if (text.count('-') == text.size() || text.count('=') == text.size())
            continue;
        QTextCursor end(b);
        end.movePosition(QTextCursor::EndOfBlock);
        EXPECT_LE(memo->cursorRect(end).right(), memo->viewport()->width()) << text.toStdString();
    }
}

TEST_F(ResultWindowsTest, NoteCounterWindowClosedDuringItsSeriesEndsAfterTheExchange)
{
    StartOnPty();
    TNoteCounterForm counters(&Main(), &Cmd(), &Main());
    int frames = 0;
    simulator.setCommandHook([&](const std::string&) {
        if (++frames == 3)
            loop.postCall([&] {
                counters.close();
                // Still open while the exchange under way runs.
                EXPECT_TRUE(counters.isVisible());
                EXPECT_TRUE(counters.Reading());
            });
    });
    TakeCommands();
    counters.show();
    ProcessEvents();
    EXPECT_FALSE(counters.isVisible());
    EXPECT_FALSE(counters.Reading());
    EXPECT_EQ(TakeCommands(), (std::vector<std::string>{"RD/303", "RD/304", "RD/305"}));
    EXPECT_EQ(counters.Lines().size(), 4); // the heading and the two counters read
    EXPECT_FALSE(Main().Busy().Busy());
    EXPECT_FALSE(Cmd().Busy());

    // The next command works.
    simulator.setCommandHook({});
    EXPECT_TRUE(Cmd().ReadData(303));
}

// Replies with a correct checksum but a broken payload, through the
// in-process port.
class CorruptRepliesTest : public AppFixture {
protected:
    link::TPLVRCmdF& Cmd() { return *Main().CommandLayer(); }
    link::Protokoll& Model() { return *Main().Model(); }
    bool Read(int item, const std::string& reply)
    {
        Port().QueueReply(reply);
        return Cmd().ReadData(item);
    }
    std::vector<std::string> Warnings()
    {
        std::vector<std::string> out;
        for (const auto& c : dialogs.calls())
            if (c.type == platform::DlgType::Warning)
                out.push_back(c.text);
        dialogs.clear();
        return out;
    }
};

TEST_F(CorruptRepliesTest, WindowsShowWhatTheReplyHoldsAndWarnOnlyWhereItCannotBeDecoded)
{
    Start();
    // Tables: only a reject code that is no number stops the decoding.
    const std::vector<std::pair<int, std::string>> tables = {
        {0, "0/0200312005"}, {0, "0/020x3"}, {1, "0/3a005"}, {1, "0/3A0x5"}, {0, "0/0A005"}};
    for (const auto& [kind, reply] : tables) {
        SCOPED_TRACE(reply);
        ASSERT_TRUE(Read(kind == 0 ? 300 : 301, reply));
        TKYDShowReadDataFrame w(&Main(), &Model());
        const bool broken = reply == "0/0A005";
        EXPECT_EQ(w.ShowTable(Model().ReadData, kind), !broken);
        EXPECT_EQ(Warnings(), broken ? std::vector<std::string>{"Corrupted reply string from KYD:\n/0A005"}
                                     : std::vector<std::string>{});
        if (reply == "0/3a005") {
            EXPECT_EQ(w.Lines(), QStringList{"005\t3A Feed Cassette Not Present or Opened"});
        }
        if (reply == "0/020x3") {
            EXPECT_EQ(w.Lines(), QStringList{"0x3\t02 More than one note"});
        }
    }
    {
        ASSERT_TRUE(Read(118, "0/EURSEK"));
        TKYDShowReadDataFrame fits(&Main(), &Model());
        ASSERT_TRUE(fits.ShowCurrencyCodes(Model().ReadData));
        EXPECT_GE(fits.width(), platform::UiScale::TitleWidth(&fits, "Currency codes"));
        ASSERT_TRUE(Read(118, "0/E1R"));
        TKYDShowReadDataFrame w(&Main(), &Model());
        EXPECT_TRUE(w.ShowCurrencyCodes(Model().ReadData));
        EXPECT_EQ(w.Lines(), QStringList{"1  E1R"});
        ASSERT_TRUE(Read(100, "0/C-C20240517"));
        EXPECT_TRUE(w.ShowProgramIds(Model().ReadData));
        EXPECT_EQ(w.Lines(), QStringList{"C-C: 2024-05.17"});
        EXPECT_TRUE(Warnings().empty());
    }
    {
        ASSERT_TRUE(Read(202, "0/EUR052 07X140"));
        TCassInfo w(&Main(), &Model());
        EXPECT_TRUE(w.ShowNoteSizes(Model().ReadData));
        EXPECT_EQ(w.Cell(1, 1), "07X");
    }
    {
        // The count that is no number reads as the link parsed it.
        Port().QueueReply("0100x5");
        ASSERT_TRUE(Cmd().ReadLastStatus());
        TReadLastStatusForm w(&Main(), &Model());
        EXPECT_TRUE(w.ShowLastStatus("Last Dispense Status", "100x5"));
        ASSERT_EQ(w.RLSListView->topLevelItemCount(), 1);
        EXPECT_EQ(w.RLSListView->topLevelItem(0)->text(1), "-1");
        EXPECT_TRUE(Warnings().empty());
    }
    {
        Port().QueueReply("01xNC001");
        ASSERT_TRUE(Cmd().ReadCassetteIds());
        TCassInfo w(&Main(), &Model());
        EXPECT_TRUE(w.ShowCassettes()); // shown, with an empty status
        EXPECT_EQ(w.Cell(1, 1), "NC001");
        EXPECT_EQ(w.Cell(1, 3), "");
        EXPECT_TRUE(Warnings().empty());
    }
    // A counter that is not a number reads "Error"; a failed read adds no line.
    Port().QueueReply("0/00000x1234");
    Port().QueueReply("8");
    TNoteCounterForm counters(&Main(), &Cmd(), &Main());
    counters.show();
    ProcessEvents();
    const QStringList lines = counters.Lines();
    ASSERT_EQ(lines.size(), 2 + 13 + 1);
    EXPECT_EQ(lines[2], "303\tError\tTotal number of notes delivered");
    EXPECT_TRUE(lines[3].startsWith("305\t")); // 304 failed
}

// A value the editor cannot show as it stands still opens the editor, so the
// item can be put right from its button.
TEST_F(CorruptRepliesTest, ItemButtonsOpenTheEditorForAValueThatIsNoOptionOrNoNumber)
{
    Start();
    struct Seen {
        bool Shown = false;
        int Checked = -2;
        QString Field;
        QString Comment;
    } seen;
    SetModalHandler([&seen](QDialog& d) {
        auto* editor = qobject_cast<TModifyItemDlg*>(&d);
        if (!editor)
            return int(QDialog::Rejected);
        seen.Shown = true;
        seen.Checked = editor->ItemButtons->checkedId();
        seen.Field = editor->ValueMaskEdit->text();
        seen.Comment = editor->CommentLabel->text();
        // The operator picks the first option or types 80, then Apply.
        if (!editor->ItemButtons->buttons().isEmpty() && editor->IntegerPanel->isHidden())
            editor->ItemButtons->button(0)->setChecked(true);
        else
            editor->ValueMaskEdit->setText("80");
        editor->ApplyBtn->setEnabled(true);
        editor->ApplyBtn->click();
        return d.result();
    });
    auto click = [this](int item) { Main().findChild<QAbstractButton*>(QString("ItemButton%1").arg(item))->click(); };

    Port().QueueReply("0/7"); // item 201 has three options
    Port().QueueReply("0"); // the write
    click(201);
    EXPECT_TRUE(seen.Shown);
    EXPECT_EQ(seen.Checked, -1);
    EXPECT_EQ(Port().written.back().substr(0, 8), "WD/201/0");

    seen = {};
    Port().QueueReply("0/1x0");
    Port().QueueReply("0");
    click(104);
    EXPECT_TRUE(seen.Shown);
    EXPECT_EQ(seen.Field, "");
    EXPECT_TRUE(seen.Comment.endsWith("Value read: 1x0")) << seen.Comment.toStdString();
    EXPECT_EQ(Port().written.back().substr(0, 9), "WD/104/80");
    SetModalHandler({});
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(CorruptRepliesTest, TheCommandButtonsWarnOfABrokenReplyInsteadOfShowingNothing)
{
    Start();
    std::vector<std::string> shown;
    SetModalHandler([&shown](QDialog& d) {
        shown.push_back(d.objectName().toStdString());
        return int(QDialog::Rejected);
    });
    auto click = [this](const char* name) { Main().findChild<QAbstractButton*>(name)->click(); };

    Port().QueueReply("0100x5"); // a count that is no number: shown as such
    click("LastStatusButton");
    EXPECT_TRUE(Warnings().empty());
    EXPECT_EQ(shown, std::vector<std::string>{"ReadLastStatusForm"});
    shown.clear();
    // A status character with no text: every row is shown, that one's
    // status empty.
    Port().QueueReply("010NC0012XNC002");
    std::vector<std::string> cells;
    SetModalHandler([&](QDialog& d) {
        shown.push_back(d.objectName().toStdString());
        if (auto* w = qobject_cast<TCassInfo*>(&d))
            for (int r = 1; r <= 2; ++r)
                cells.push_back(w->Cell(r, 0) + "|" + w->Cell(r, 1) + "|" + w->Cell(r, 3));
        return int(QDialog::Rejected);
    });
    click("ReadCassetteIDButton");
    EXPECT_TRUE(Warnings().empty());
    EXPECT_EQ(shown, std::vector<std::string>{"CassInfo"});
    EXPECT_EQ(cells, (std::vector<std::string>{"1|NC001|30 Successful Command", "2|NC002|"}));

    // A trace character that is no reject code still shows the trace.
    Port().QueueReply("0123x5");
    TRejectDlgForm* trace = nullptr;
    QStringList lines;
    SetModalHandler([&](QDialog& d) {
        if ((trace = qobject_cast<TRejectDlgForm*>(&d)))
            lines = MemoLines(trace->RejectMemo);
        return int(QDialog::Rejected);
    });
    click("RdRejTraceButton");
    SetModalHandler({});
    EXPECT_TRUE(Warnings().empty());
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[3], "4\t ");
}

TEST_F(CorruptRepliesTest, TheCounterSeriesIsOneBatchAndAFailureReplyWithDataIsListed)
{
    Start();
    std::vector<int> states;
    Port().onWrite = [&](const std::string&) { states.push_back(Main().Busy().State()); };
    // 303 answered with a failure status that still carries digits.
    Port().QueueReply("6/0000001234");
    TNoteCounterForm counters(&Main(), &Cmd(), &Main());
    counters.show();
    ProcessEvents();
    Port().onWrite = {};
    ASSERT_EQ(states.size(), 14u);
    // Busy as one batch from the first read to the last: no read's own end
    // shows the window idle in between.
    EXPECT_EQ(states, std::vector<int>(14, 2));
    EXPECT_FALSE(Main().Busy().Busy());
    const QStringList lines = counters.Lines();
    ASSERT_EQ(lines.size(), 2 + 14 + 1); // heading, 14 counters and the rule
    EXPECT_EQ(lines[2], "303\t1234\tTotal number of notes delivered");
    EXPECT_TRUE(lines[3].startsWith("304\t")) << lines[3].toStdString();
}

TEST_F(CorruptRepliesTest, ItemEditorModes)
{
    Start(false);
    TModifyItemDlg w(nullptr);
    EXPECT_FALSE(w.IntegerPanel->isVisibleTo(&w));
    EXPECT_EQ(w.windowTitle(), "Read / Modify Item");
    w.PrepareInteger("Error log", "/042", false, "read only", 3);
    EXPECT_EQ(w.windowTitle(), "Read / Clear Item");
    EXPECT_EQ(w.ApplyBtn->text(), "Clear");
    EXPECT_TRUE(w.ValueMaskEdit->isReadOnly());
    w.ApplyBtn->click();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(w.GetValue(), "0");

    TModifyItemDlg c(nullptr);
    c.PrepareChoice("Feeding order", "Biggest first(default)\nSmallest first", 1);
    EXPECT_EQ(c.ItemRadioGroup->title(), "Feeding order");
    auto radios = c.findChildren<QRadioButton*>();
    ASSERT_EQ(radios.size(), 2);
    EXPECT_TRUE(radios[1]->isChecked());
    c.show();
    radios[0]->setFocus(); // gaining the focus counts as a change
    radios[0]->setChecked(true);
    ProcessEvents();
    EXPECT_TRUE(c.ApplyBtn->isEnabled());
    c.ApplyBtn->click();
    EXPECT_EQ(c.GetValue(), "0");
}

} // namespace
} // namespace kyd::app::test

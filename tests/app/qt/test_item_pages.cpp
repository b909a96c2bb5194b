// The item pages against the simulated dispenser on a pseudo-terminal:
// every item button reads its item and shows it; the editor writes back.
#include "support_pty_app.h"

#include "app/ConfigItems.h"
#include "app/qt/CassInfo.h"
#include "app/qt/ItemForms.h"
#include "app/qt/ItemPages.h"
#include "app/qt/ModalRun.h"
#include "app/qt/PLVRMain.h"
#include "app/qt/ResultForms.h"
#include "link/PLVRCmd.h"
#include "link/PLVRCom.h"
#include "link/Protokoll.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <map>

namespace kyd::app::test {
namespace {

using Commands = std::vector<std::string>;

// What each item button shows, written from the dispenser's item list
// independently of the program's own table: the editor's title, the
// read-data window's caption, or the message's text for the simulator's
// values.
const std::map<int, std::string>& Acceptance()
{
    static const std::map<int, std::string> table = {
        {100, "read data Program id's"},
        {104, "editor Item 104 Max. notes per bundle"},
        {118, "read data Currency codes"},
        {127, "editor Item 127 Change Over Method"},
        {201, "editor Item 201 Feed Order"},
        {202, "cassette info"},
        {203, "editor Item 203 Auto Retract"},
        {204, "editor Item 204 Retract time-out"},
        {205, "msg /KYD dispenser simulator"},
        {206, "editor Item 206 Shutter Emulation"},
        {207, "editor Item 207 Software Lock flag"},
        {208, "editor Item 208 Move Froward and Hold"},
        {209, "editor Item 209 Throat Active Flag"},
        {210, "editor Item 210 Auto Retract with notes"},
        {211, "editor Item 211 Non Addressed Feeders"},
        {212, "editor Item 212 Status on Close cmd"},
        {214, "editor Item 214 Send Self Test Data option"},
        {223, "editor Item 223 Clean CRR on Close"},
        {224, "editor Item 224 Deliver timeout"},
        {225, "editor Item 225 Mark Cassette with Diverter"},
        {227, "editor Item 227 No Notes beween Pressure"},
        {228, "editor Item 228 HPF mode on Cassette open"},
        {233, "editor Item 233 No Notes betw CRR clean on Close"},
        {235, "editor Item 235 Max Feed error Retries"},
        {239, "editor Item 239 Reset/Close Cass Timeout"},
        {240, "editor Item 240 Detect Cassette out on Close"},
        {241, "editor Item 241 Main Motor Start"},
        {244, "editor Item 244 BCU Home timeout"},
        {247, "editor Item 247 Fast Open and Close"},
        {248, "editor Item 248 Open Cassette on Insert"},
        {249, "editor Item 249 Max Close Retries"},
        {300, "read data Item 300 Internal reject table"},
        {301, "read data Item 301 Status code table"},
        {313, "msg  BCU overheat counter: 00000"},
        {350, "msg  NS Entry calibration value: 087%"},
        {395, "editor Item 395 Reject Vault"},
        {396, "editor Item 396 Stack Presenter"},
        {398, "editor Item 398 Configure reject calculation"},
        {399, "editor Item 399 Max notes in single reject"},
    };
    return table;
}

// Every option of each choice item (in order, joined by " / ") and the range
// text of each integer item, letter for letter as the editor shows them.
const std::map<int, std::string>& EditorTexts()
{
    static const std::map<int, std::string> table = {
        {104, "Range: 1-100, Default: 100"},
        {204, "Range: 1-150, Default: 90"},
        {227, "Range: 1-50, Default: 40"},
        {233, "0-2000(default),0 = No CRR clean"},
        {235, "Range: 0-5, Default: 0 = 5 Retries)"},
        {244, "Range: 0-5, Default: 0"},
        {249, "Range: 0-5, Default: 0 = 5 Retries)"},
        {398, "Range: 1-20, Default: 15"},
        {399, "Range: 1-200, Default: 50"},
        {127, "No change over(default) / Change over on empty cassette"},
        {201, "In hopper order / Biggest first(default) / Smallest first"},
        {203, "No auto retract / Auto retract enabled (default)"},
        {206, "No Shutter(default) / Shutter type 1 / Shutter type 2"},
        {207, "Cleared (by power-on reset) / Set"},
        {208, "Remain in stacking pos.(default) / Move to hold pos. / Remain but with special deliver"},
        {209, "Reset / Throat sensor has been active"},
        {210, "No notes retracted / Notes have been retracted"},
        {211, "Never report status / Report non-OK status(default)"},
        {212, "Always report OK status (default) / Report non-OK status"},
        {214, "Compability mode (default) / Extended mode"},
        {223, "No Clean on every Close(default) / Clean on every Close"},
        {224, "180 seconds (default) / 20 seconds"},
        {225, "No Flip on Cassette in(default) / Flip Diverter on Cassette in"},
        {228, "No HPF on open(default) / HPF mode on open"},
        {239, "180 s(default) / 20 s (Reset on Power up)"},
        {240, "No detection on close(default) / Detect out on Close"},
        {241, "Normal Main Motor Start(default) / Slow Main Motor Start"},
        {247, "Normal Open and Close(default) / Fast Open and Close"},
        {248, "No open on insert(default) / Open on insert"},
        {395, "Disabled / Enabled (default)"},
        {396, "Disabled / Enabled (default)"},
    };
    return table;
}

class ItemPagesTest : public PtyAppFixture {
protected:
    ~ItemPagesTest() override { SetModalHandler({}); }

    link::TPLVRCmdF& Cmd() { return *Main().CommandLayer(); }
    // The button of an item, on whichever page it is.
    QPushButton* Button(int item)
    {
        for (TItemPage* p : Main().ItemPages)
            if (QPushButton* b = p->ItemButton(item))
                return b;
        return nullptr;
    }
    // Clicks an item's button and works the editor with f (shown, so it
    // takes focus as on screen); returns the commands sent.
    Commands Edit(int item, std::function<void(TModifyItemDlg&)> f)
    {
        TakeCommands();
        SetModalHandler([f](QDialog& d) {
            auto* editor = qobject_cast<TModifyItemDlg*>(&d);
            if (!editor)
                return int(QDialog::Rejected);
            d.show();
            QApplication::processEvents();
            f(*editor);
            d.hide();
            return d.result();
        });
        Button(item)->click();
        SetModalHandler({});
        return TakeCommands();
    }
    std::vector<platform::FakeDialogs::Call> Messages()
    {
        auto calls = dialogs.calls();
        dialogs.clear();
        return calls;
    }
};

TEST_F(ItemPagesTest, EveryButtonReadsItsItemAndShowsItAsItsKindAsks)
{
    StartOnPty();
    // Something in the reject and status tables.
    simulator.withCore([](sim::SimCore& c) { c.config().rejectEvery = 2; });
    Cmd().SendCommand("8", 20);
    Cmd().Dispense('1', '0', {6, 0, 0, 0, 0, 0, 0, 0});

    std::string shown;
    std::string texts; // the editor's options or range text
    SetModalHandler([&shown, &texts](QDialog& d) {
        if (auto* e = qobject_cast<TModifyItemDlg*>(&d)) {
            shown = "editor " + e->ItemRadioGroup->title().toStdString() + ": ";
            texts.clear();
            if (e->IntegerPanel->isHidden())
                for (int i = 0; QAbstractButton* b = e->ItemButtons->button(i); ++i)
                    texts += (i ? " / " : "") + b->text().toStdString();
            else
                texts = e->CommentLabel->text().toStdString();
            if (e->IntegerPanel->isHidden())
                shown += e->ItemButtons->checkedButton()->text().toStdString();
            else
                shown += e->ValueMaskEdit->text().toStdString() + " " + e->CommentLabel->text().toStdString();
        } else if (auto* r = qobject_cast<TKYDShowReadDataFrame*>(&d)) {
            shown = "read data " + r->windowTitle().toStdString() + ": " + r->Lines().value(0).toStdString();
        } else if (qobject_cast<TCassInfo*>(&d)) {
            shown = "cassette info";
        }
        return int(QDialog::Rejected); // Close
    });

    int walked = 0;
    int edited = 0;
    for (TItemPage* page : Main().ItemPages) {
        for (const auto& [item, button] : page->ItemButtons()) {
            SCOPED_TRACE(item);
            shown.clear();
            texts.clear();
            dialogs.clear();
            TakeCommands();
            if (button->isEnabled())
                button->click();
            else
                page->ReadDataButtonClick(button); // 205: hidden, its handler kept
            char rd[16];
            std::snprintf(rd, sizeof rd, "RD/%03d", item);
            EXPECT_EQ(TakeCommands(), Commands{rd});
            const auto calls = dialogs.calls();
            if (calls.size() == 1 && calls[0].type == platform::DlgType::Information)
                shown = "msg " + calls[0].text;
            const auto it = Acceptance().find(item);
            ASSERT_NE(it, Acceptance().end()) << "item not in the acceptance table";
            if (it->second.rfind("editor ", 0) == 0 || it->second.rfind("read data ", 0) == 0)
                EXPECT_EQ(shown.rfind(it->second + ": ", 0), 0u) << shown;
            else
                EXPECT_EQ(shown, it->second);
            if (const auto t = EditorTexts().find(item); t != EditorTexts().end()) {
                EXPECT_EQ(texts, t->second);
                ++edited;
            }
            ++walked;
        }
    }
    EXPECT_EQ(walked, static_cast<int>(Acceptance().size()));
    EXPECT_EQ(edited, static_cast<int>(EditorTexts().size()));
    EXPECT_FALSE(Button(205)->isVisible());

    // Item 201 shows its default and 350 its message; Close wrote nothing
    // anywhere.
    Button(201)->click();
    EXPECT_EQ(shown, "editor Item 201 Feed Order: Biggest first(default)");
    Button(104)->click();
    EXPECT_EQ(shown, "editor Item 104 Max. notes per bundle: 100 Range: 1-100, Default: 100");
    dialogs.clear();
    Button(350)->click();
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, " NS Entry calibration value: 087%");
    for (const std::string& f : simulator.frameLog())
        EXPECT_NE(f.rfind("WD/", 0), 0u) << f;
}

TEST_F(ItemPagesTest, IntegerAndChoiceItemsAreChangedAndReadBack)
{
    StartOnPty();
    EXPECT_EQ(Edit(104, [](TModifyItemDlg& e) {
                  Type(e.ValueMaskEdit, "80");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/104", "WD/104/80"}));
    EXPECT_EQ(Main().Com()->PacketTimeoutTicks(), link::TCom::TimeoutTicks(80));
    EXPECT_TRUE(Messages().empty());
    std::string value;
    Edit(104, [&value](TModifyItemDlg& e) { value = e.ValueMaskEdit->text().toStdString(); });
    EXPECT_EQ(value, "080");

    EXPECT_EQ(Edit(201, [](TModifyItemDlg& e) {
                  e.ItemButtons->button(2)->setFocus();
                  e.ItemButtons->button(2)->click();
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/201", "WD/201/2"}));
    Edit(201, [&value](TModifyItemDlg& e) { value = e.ItemButtons->checkedButton()->text().toStdString(); });
    EXPECT_EQ(value, "Smallest first");
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.itemValue(201); }), "2");

    // Outside the range text: asked first, No the default; No leaves the
    // editor open to be corrected and sends nothing.
    std::vector<platform::FakeDialogs::Call> asked;
    bool openAfterNo = false;
    EXPECT_EQ(Edit(104, [&](TModifyItemDlg& e) {
                  for (const char* v : {"999", "0"}) {
                      dialogs.queueResult(platform::DlgResult::No);
                      Type(e.ValueMaskEdit, v);
                      e.ApplyBtn->click();
                  }
                  openAfterNo = e.isVisible() && e.result() != QDialog::Accepted;
                  asked = Messages();
                  Type(e.ValueMaskEdit, "100");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/104", "WD/104/100"}));
    EXPECT_TRUE(openAfterNo);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].text, "Value 999 is outside the item's range: Range: 1-100, Default: 100\n"
                             "Write it all the same?");
    EXPECT_EQ(asked[1].text, "Value 0 is outside the item's range: Range: 1-100, Default: 100\n"
                             "Write it all the same?");
    for (const auto& c : asked) {
        EXPECT_EQ(c.type, platform::DlgType::Confirmation);
        EXPECT_EQ(c.buttons, platform::DlgButtons::YesNoDefaultNo);
    }
    EXPECT_TRUE(Messages().empty()); // within the range: nothing asked
    dialogs.queueResult(platform::DlgResult::No);
    EXPECT_EQ(Edit(233, [](TModifyItemDlg& e) {
                  Type(e.ValueMaskEdit, "2001");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/233"}));
    auto calls = Messages();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "Value 2001 is outside the item's range: 0-2000(default),0 = No CRR clean\n"
                             "Write it all the same?");

    // Yes writes what the editor holds: the range texts are informal (item
    // 244 reads "0-5" with three digits); what the dispenser makes of it
    // is its own answer.
    simulator.updateFaults([](sim::SimFaults& f) { f.scripted.push_back({"WD/244*", 1, '0'}); });
    dialogs.queueResult(platform::DlgResult::Yes);
    EXPECT_EQ(Edit(244, [](TModifyItemDlg& e) {
                  Type(e.ValueMaskEdit, "120");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/244", "WD/244/120"}));
    calls = Messages();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].type, platform::DlgType::Confirmation);

    // A value the dispenser refuses all the same: the error box names why.
    simulator.updateFaults([](sim::SimFaults& f) { f.scripted.push_back({"WD/204*", 1, '>'}); });
    EXPECT_EQ(Edit(204, [](TModifyItemDlg& e) {
                  Type(e.ValueMaskEdit, "120");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/204", "WD/204/120"}));
    calls = Messages();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "3E Request Format Error");
    EXPECT_EQ(calls[0].type, platform::DlgType::Error);
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.itemValue(204); }), "090");

    // An emptied field and a choice with nothing selected write nothing.
    EXPECT_EQ(Edit(399, [](TModifyItemDlg& e) {
                  Type(e.ValueMaskEdit, "");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/399"}));
    EXPECT_EQ(Edit(203, [](TModifyItemDlg& e) {
                  e.ItemButtons->button(0)->setFocus();
                  e.ItemButtons->setExclusive(false);
                  for (QAbstractButton* b : e.ItemButtons->buttons())
                      b->setChecked(false);
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/203"}));
    calls = Messages();
    ASSERT_EQ(calls.size(), 2u);
    for (const auto& c : calls) {
        EXPECT_EQ(c.text, "Nothing was written: no value was given");
        EXPECT_EQ(c.type, platform::DlgType::Information);
    }
}

} // namespace
} // namespace kyd::app::test

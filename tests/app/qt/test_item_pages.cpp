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

namespace kyd::app::test {
namespace {

using Commands = std::vector<std::string>;

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
    SetModalHandler([&shown](QDialog& d) {
        if (auto* e = qobject_cast<TModifyItemDlg*>(&d)) {
            shown = "editor " + e->ItemRadioGroup->title().toStdString() + ": ";
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
    for (TItemPage* page : Main().ItemPages) {
        for (const auto& [item, button] : page->ItemButtons()) {
            SCOPED_TRACE(item);
            shown.clear();
            dialogs.clear();
            TakeCommands();
            if (button->isEnabled())
                button->click();
            else
                page->ReadDataButtonClick(button); // 205: hidden, its handler kept
            char rd[16];
            std::snprintf(rd, sizeof rd, "RD/%03d", item);
            EXPECT_EQ(TakeCommands(), Commands{rd});
            const ConfigItem& def = *FindConfigItem(item);
            const auto calls = dialogs.calls();
            switch (def.Display) {
            case ItemDisplay::None:
                EXPECT_EQ(shown.rfind("editor " + std::string(def.Title) + ": ", 0), 0u) << shown;
                break;
            case ItemDisplay::ProgramIds:
            case ItemDisplay::CurrencyCodes:
                EXPECT_EQ(shown.rfind("read data ", 0), 0u) << shown;
                break;
            case ItemDisplay::RejectTable:
            case ItemDisplay::StatusTable:
                EXPECT_EQ(shown.rfind("read data " + std::string(def.Title) + ": ", 0), 0u) << shown;
                break;
            case ItemDisplay::NoteSizes:
                EXPECT_EQ(shown, "cassette info");
                break;
            case ItemDisplay::Message:
                ASSERT_EQ(calls.size(), 1u);
                EXPECT_EQ(calls[0].type, platform::DlgType::Information);
                break;
            }
            ++walked;
        }
    }
    EXPECT_EQ(walked, static_cast<int>(ConfigItems().size()));
    EXPECT_FALSE(Button(205)->isVisible());

    // The Part's cases: item 201 shows its default, 350 its message; Close
    // wrote nothing anywhere.
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

    // Out of range: the dispenser refuses, the error box names why.
    EXPECT_EQ(Edit(204, [](TModifyItemDlg& e) {
                  Type(e.ValueMaskEdit, "200");
                  e.ApplyBtn->click();
              }),
              (Commands{"RD/204", "WD/204/200"}));
    auto calls = Messages();
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
    EXPECT_TRUE(Messages().empty());
}

} // namespace
} // namespace kyd::app::test

// The Cassette page against the simulated dispenser on a pseudo-terminal.
#include "support_pty_app.h"

#include "app/qt/CassettePage.h"
#include "app/qt/PLVRMain.h"
#include "link/PLVRCmd.h"
#include "link/Protokoll.h"
#include "platform/qt/ui_scale.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace kyd::app::test {
namespace {

using Commands = std::vector<std::string>;

class CassettePageTest : public PtyAppFixture {
protected:
    TCassettePage& Page()
    {
        if (!opened_) {
            Main().MenuPageControl->setCurrentWidget(Main().TabSheetCassItem);
            ProcessEvents();
            opened_ = true;
            TakeCommands();
        }
        return *Main().CassettePage;
    }
    void Pick(int position) { Page().TabButtons->button(position)->click(); }
    std::vector<std::string> Messages()
    {
        std::vector<std::string> out;
        for (const auto& c : dialogs.calls())
            out.push_back(c.text);
        dialogs.clear();
        return out;
    }

private:
    bool opened_ = false;
};

TEST_F(CassettePageTest, ReadsWritesAndReadsBackAPositionThenOpensLocksAndClosesIt)
{
    StartOnPty();
    TCassettePage& p = Page();
    // Shown with no position selected and nothing to act on.
    EXPECT_EQ(p.TabIndex(), -1);
    for (QWidget* w : std::initializer_list<QWidget*>{p.ButtonCassOpen, p.ButtonCassClose, p.ButtonLockToFrame,
                                                      p.ButtonReadCassItems, p.GroupBoxCassID, p.GroupBoxCassDenom,
                                                      p.GroupBoxNoteSize})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();

    // Every caption keeps air on both sides within its button.
    ProcessEvents();
    for (QPushButton* b : p.findChildren<QPushButton*>())
        EXPECT_GE(b->width(), platform::UiScale::TextWidth(b->font(), b->text()) + 16) << b->text().toStdString();

    simulator.withCore([](sim::SimCore& c) { c.cassette(3).denomination = "SEK102A"; });
    Pick(3);
    EXPECT_EQ(TakeCommands(), (Commands{"RD/9328", "RD/9327", "RD/9329"}));
    EXPECT_EQ(p.MaskEditCassId->text(), "NC000003");
    EXPECT_EQ(p.ComboBoxCurrency->currentText(), "SEK");
    EXPECT_EQ(p.ComboBoxDemValue->currentText(), "1000");
    EXPECT_EQ(p.MaskEditDenVariant->text(), "A");
    EXPECT_EQ(p.MaskEditNoteHeigth->text(), "077");
    EXPECT_EQ(p.MaskEditNoteWidth->text(), "141");
    EXPECT_TRUE(p.GroupBoxCassDenom->isEnabled());
    // A fill never counts as an edit.
    EXPECT_FALSE(p.ButtonSetCassId->isEnabled());
    EXPECT_FALSE(p.ButtonSetDenom->isEnabled());
    EXPECT_FALSE(p.ButtonSetNoteSize->isEnabled());

    Type(p.MaskEditNoteHeigth, "85");
    Type(p.MaskEditNoteWidth, "120");
    ASSERT_TRUE(p.ButtonSetNoteSize->isEnabled());
    p.ButtonSetNoteSize->click();
    EXPECT_FALSE(p.ButtonSetNoteSize->isEnabled());

    p.ComboBoxCurrency->setCurrentText("EUR");
    Type(p.ComboBoxDemValue, "500");
    Type(p.MaskEditDenVariant, "");
    ASSERT_TRUE(p.ButtonSetDenom->isEnabled());
    p.ButtonSetDenom->click();

    Type(p.MaskEditCassId, "CASS0303");
    ASSERT_TRUE(p.ButtonSetCassId->isEnabled());
    p.ButtonSetCassId->click();
    EXPECT_EQ(TakeCommands(), (Commands{"WD/9329/085120", "WD/9327/EUR052 ", "WD/9328/CASS0303"}));
    EXPECT_TRUE(Messages().empty());

    p.ButtonReadCassItems->click();
    EXPECT_EQ(TakeCommands(), (Commands{"RD/9328", "RD/9327", "RD/9329"}));
    EXPECT_EQ(p.MaskEditCassId->text(), "CASS0303");
    EXPECT_EQ(p.ComboBoxCurrency->currentText(), "EUR");
    EXPECT_EQ(p.ComboBoxDemValue->currentText(), "500");
    EXPECT_EQ(p.MaskEditDenVariant->text(), "");
    EXPECT_EQ(p.MaskEditNoteHeigth->text(), "085");
    EXPECT_EQ(p.MaskEditNoteWidth->text(), "120");

    p.ButtonCassOpen->click();
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(3).state; }), sim::CassetteState::Open);
    p.ButtonLockToFrame->click();
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(3).state; }), sim::CassetteState::Latched);
    p.ButtonCassClose->click();
    EXPECT_EQ(TakeCommands(), (Commands{"831", "830", "731"}));
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(3).state; }), sim::CassetteState::Closed);

    // Leaving and coming back shows the page with no position selected.
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetTrans);
    Main().MenuPageControl->setCurrentWidget(Main().TabSheetCassItem);
    ProcessEvents();
    EXPECT_EQ(p.TabIndex(), -1);
    EXPECT_FALSE(p.GroupBoxCassID->isEnabled());
}

TEST_F(CassettePageTest, EmptyPositionRejectVaultAndFailedReads)
{
    StartOnPty();
    TCassettePage& p = Page();
    Pick(5); // no cassette there
    EXPECT_EQ(TakeCommands(), Commands{"RD/9528"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"No Cassette in this position"});
    EXPECT_FALSE(p.GroupBoxCassDenom->isEnabled());
    EXPECT_TRUE(p.MaskEditCassId->text().isEmpty());

    Pick(0); // the reject vault keeps only its id
    EXPECT_EQ(TakeCommands(), Commands{"RD/9028"});
    EXPECT_EQ(p.MaskEditCassId->text(), "RV000001");
    EXPECT_FALSE(p.GroupBoxCassDenom->isEnabled());
    EXPECT_FALSE(p.GroupBoxNoteSize->isEnabled());
    EXPECT_TRUE(Messages().empty());

    // A cassette the last id read reported, but which fails now: the code text.
    ASSERT_TRUE(Main().CommandLayer()->ReadCassetteIds());
    simulator.withCore([](sim::SimCore& c) { c.cassette(2).present = false; });
    TakeCommands();
    Pick(2);
    EXPECT_EQ(TakeCommands(), Commands{"RD/9228"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"50 Cassette Not Identified"});
}

TEST_F(CassettePageTest, InputThatCannotBeWrittenIsRefusedWithoutSending)
{
    StartOnPty();
    TCassettePage& p = Page();
    Pick(1);
    TakeCommands();

    Type(p.MaskEditDenVariant, "c");
    Type(p.ComboBoxDemValue, "255"); // would be stored as 250
    p.ButtonSetDenom->click();
    EXPECT_EQ(Messages(), std::vector<std::string>{"Wrong Denomination value: EUR 255 C"});
    EXPECT_TRUE(TakeCommands().empty());
    // What was typed stays in the three fields, to be corrected.
    EXPECT_EQ(p.ComboBoxCurrency->currentText(), "EUR");
    EXPECT_EQ(p.ComboBoxDemValue->currentText(), "255");
    EXPECT_EQ(p.MaskEditDenVariant->text(), "c");
    EXPECT_TRUE(p.ButtonSetDenom->isEnabled());
    Type(p.MaskEditDenVariant, "");

    Type(p.MaskEditNoteHeigth, "");
    p.ButtonSetNoteSize->click();
    const std::vector<std::string> m = Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_NE(m[0].find("Wrong note size"), std::string::npos) << m[0];

    Type(p.MaskEditCassId, "");
    p.ButtonSetCassId->click();
    const std::vector<std::string> idMessages = Messages();
    ASSERT_EQ(idMessages.size(), 1u);
    EXPECT_EQ(idMessages[0].rfind("Wrong Cassette ID: \n", 0), 0u) << idMessages[0];

    // Picking the selected position again reads nothing, like a tab.
    Pick(1);
    EXPECT_TRUE(TakeCommands().empty());

    // Variant letters are written in upper case.
    Type(p.ComboBoxDemValue, "100");
    Type(p.MaskEditDenVariant, "b");
    p.ButtonSetDenom->click();
    EXPECT_EQ(p.MaskEditDenVariant->text(), "B");
    EXPECT_EQ(TakeCommands(), Commands{"WD/9127/EUR012B"});
}

// The id edit's last position must be filled; the ones before it may stay
// empty and go out as blanks, so the dispenser always gets 8 characters.
TEST_F(CassettePageTest, AnIdThatLeavesTheLastPositionEmptyIsRefusedAndEmptyPositionsGoOutAsBlanks)
{
    StartOnPty();
    TCassettePage& p = Page();
    Pick(1);
    TakeCommands();

    Type(p.MaskEditCassId, "AB");
    ASSERT_TRUE(p.ButtonSetCassId->isEnabled());
    QTest::mouseClick(p.ButtonSetCassId, Qt::LeftButton);
    const std::vector<std::string> m = Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0], "Wrong Cassette ID: AB\nThe 8th position of the id must be filled. Positions left empty "
                    "before it are sent as blanks.");
    EXPECT_TRUE(TakeCommands().empty());
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(1).id; }), "NC000001");
    // What was typed stays, to be corrected.
    EXPECT_EQ(p.MaskEditCassId->text(), "AB");
    EXPECT_TRUE(p.ButtonSetCassId->isEnabled());

    // Typed into the last two positions, the six before them left empty.
    Type(p.MaskEditCassId, "");
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(p.MaskEditCassId, Qt::Key_Right);
    QTest::keyClicks(p.MaskEditCassId, "AB");
    QTest::mouseClick(p.ButtonSetCassId, Qt::LeftButton);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(TakeCommands(), Commands{"WD/9128/      AB"});
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(1).id; }), "      AB");
    EXPECT_FALSE(p.ButtonSetCassId->isEnabled());
}

TEST_F(CassettePageTest, ACurrencyThatIsNotThreeLettersIsRefusedAndNothingIsWritten)
{
    StartOnPty();
    TCassettePage& p = Page();
    Pick(2);
    TakeCommands();
    const std::string before = simulator.withCore([](sim::SimCore& c) { return c.cassette(2).denomination; });

    // "EU 500" would read as the code of EU 50.
    for (const char* currency : {"EU", "E1R", "EURO"}) {
        SCOPED_TRACE(currency);
        Type(p.ComboBoxCurrency, currency);
        Type(p.ComboBoxDemValue, "500");
        ASSERT_TRUE(p.ButtonSetDenom->isEnabled());
        p.ButtonSetDenom->click();
        EXPECT_TRUE(TakeCommands().empty());
        const std::vector<std::string> m = Messages();
        ASSERT_EQ(m.size(), 1u);
        EXPECT_EQ(m[0], "Wrong Denomination value: " + std::string(currency) +
                            " 500 (the currency must be three letters A-Z)");
        // The typed input stays, to be corrected.
        EXPECT_EQ(p.ComboBoxCurrency->currentText().toStdString(), currency);
        EXPECT_EQ(p.ComboBoxDemValue->currentText(), "500");
        EXPECT_TRUE(p.ButtonSetDenom->isEnabled());
    }
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(2).denomination; }), before);

    // A write the dispenser refuses keeps what was typed, to be sent again.
    simulator.updateFaults([](sim::SimFaults& f) { f.scripted.push_back({"WD/9227*", 1, '6'}); });
    Type(p.ComboBoxCurrency, "GBP");
    Type(p.ComboBoxDemValue, "20");
    p.ButtonSetDenom->click();
    EXPECT_EQ(TakeCommands(), Commands{"WD/9227/GBP021 "});
    EXPECT_EQ(p.ComboBoxCurrency->currentText(), "GBP");
    EXPECT_EQ(p.ComboBoxDemValue->currentText(), "20");
    EXPECT_TRUE(p.ButtonSetDenom->isEnabled());
    EXPECT_EQ(simulator.withCore([](sim::SimCore& c) { return c.cassette(2).denomination; }), before);
    p.ButtonSetDenom->click();
    EXPECT_EQ(TakeCommands(), Commands{"WD/9227/GBP021 "});
    EXPECT_EQ(p.ComboBoxCurrency->currentText(), "GBP");
    EXPECT_EQ(p.ComboBoxDemValue->currentText(), "20");
    EXPECT_FALSE(p.ButtonSetDenom->isEnabled());
}

TEST_F(CassettePageTest, TheLastReadThatFailedIsReportedOnceAndAFailureReplyIsNoValue)
{
    StartOnPty();
    TCassettePage& p = Page();
    auto fail = [this](const char* pattern, bool execute) {
        simulator.updateFaults([&](sim::SimFaults& f) {
            sim::ScriptedStatus s{pattern, 1, '6'};
            s.execute = execute; // true: the reply still carries the item
            f.scripted.push_back(s);
        });
    };
    // The denomination fails, the note size that follows is read and shown.
    fail("RD/9427", false);
    Pick(4);
    EXPECT_EQ(TakeCommands(), (Commands{"RD/9428", "RD/9427", "RD/9429"}));
    std::vector<std::string> m = Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_FALSE(m[0].empty());
    EXPECT_TRUE(p.ComboBoxCurrency->currentText().isEmpty());
    EXPECT_EQ(p.MaskEditNoteHeigth->text(), "082");

    // A good denomination followed by a failed note size is reported too;
    // a failure reply that carries the item's data shows none of it.
    fail("RD/9429", true);
    p.ButtonReadCassItems->click();
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_FALSE(p.ComboBoxCurrency->currentText().isEmpty());
    EXPECT_TRUE(p.MaskEditNoteHeigth->text().isEmpty());

    // Both fail: one box, for the last read.
    fail("RD/9427", true);
    simulator.updateFaults([](sim::SimFaults& f) { f.scripted.push_back({"RD/9429", 1, '>'}); });
    TakeCommands();
    p.ButtonReadCassItems->click();
    EXPECT_EQ(TakeCommands(), (Commands{"RD/9428", "RD/9427", "RD/9429"}));
    EXPECT_EQ(Messages(), std::vector<std::string>{"3E Request Format Error"});
    EXPECT_TRUE(p.ComboBoxCurrency->currentText().isEmpty());
    EXPECT_TRUE(p.ComboBoxDemValue->currentText().isEmpty());
    EXPECT_TRUE(p.MaskEditNoteHeigth->text().isEmpty());
}

} // namespace
} // namespace kyd::app::test

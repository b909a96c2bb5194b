// The item table, the self-test and the status-check decoders: payload in,
// rows out.
#include "app/ConfigItems.h"
#include "app/Denomination.h"
#include "app/DispenserStatus.h"
#include "app/SelfTestData.h"

#include <gtest/gtest.h>

#include <set>

namespace kyd::app {
namespace {

std::string State(const SensorRow& r)
{
    return r.State + "/" + std::to_string(r.Image) + "/" + r.Calibration + "/" + r.Range;
}

TEST(ItemTable, EveryPageButtonHasAnItemOnce)
{
    std::set<int> seen;
    for (const ItemPageLayout& page : ItemPageLayouts())
        for (const ItemGroup& g : page.Groups)
            for (int n : g.Items) {
                const ConfigItem* item = FindConfigItem(n);
                ASSERT_NE(item, nullptr) << n;
                EXPECT_TRUE(seen.insert(n).second) << n;
                if (item->Kind == ItemKind::Integer)
                    EXPECT_TRUE(item->Width >= 1 && item->Width <= 6) << n;
                EXPECT_EQ(item->Display == ItemDisplay::None, item->Kind != ItemKind::Display) << n;
            }
    EXPECT_EQ(seen.size(), ConfigItems().size());
    EXPECT_EQ(FindConfigItem(237), nullptr); // a confirmed write, not an item button
}

TEST(ItemTable, MessagesAndWhatMayBeWritten)
{
    EXPECT_EQ(ItemMessage(350, "/087"), " NS Entry calibration value: 087%");
    EXPECT_EQ(ItemMessage(313, "/00042"), " BCU overheat counter: 00042");
    EXPECT_EQ(ItemMessage(205, "/KYD"), "/KYD");
    EXPECT_EQ(ItemMessage(350, "/"), " NS Entry calibration value: %");
    EXPECT_TRUE(ItemValueWritable("80"));
    EXPECT_FALSE(ItemValueWritable(""));   // an emptied field
    EXPECT_FALSE(ItemValueWritable("-1")); // no option chosen
}

TEST(ItemTable, TheEditorRefusesOnlyWhatTheItemCannotCarry)
{
    EXPECT_EQ(ItemValueError("120", 3), "");
    EXPECT_EQ(ItemValueError("", 3), ""); // writes nothing, said elsewhere
    EXPECT_EQ(ItemValueError("1 2", 3), "Value 1 2 is not a number: the item takes digits only");
    EXPECT_EQ(ItemValueError("1234", 3), "Value 1234 is wider than the item's 3 digits");
    EXPECT_EQ(ItemValueError("12", 1), "Value 12 is wider than the item's 1 digit");
    // Outside the range text only: asked, not refused.
    const std::string outside = ItemRangeError("120", "Range: 0-5, Default: 0");
    EXPECT_EQ(outside, "Value 120 is outside the item's range: Range: 0-5, Default: 0");
    EXPECT_EQ(ItemRangeQuestion(outside), outside + "\nWrite it all the same?");
    EXPECT_EQ(ItemRangeError("5", "Range: 0-5, Default: 0"), "");
}

TEST(SelfTest, NoteQualifierClockAndDenominationRecords)
{
    NoteQualifierPage page;
    page.Denominations.push_back({"old", {}});
    DecodeNoteQualifier("1123", page);
    EXPECT_EQ(State(page.Clock), "Obstructed/1/123/(0-200)");
    EXPECT_TRUE(page.Denominations.empty());

    // A record with an invalid code adds nothing; the next still starts 21 on.
    DecodeNoteQualifier("0120" "EUR101 0503110052310x" "XX!!!!!0503110052310x" "SEK102A11122233344455", page);
    ASSERT_EQ(page.Denominations.size(), 2u);
    EXPECT_EQ(page.Denominations[0].Caption, TDenomination("EUR101 ").Text);
    EXPECT_EQ(page.Denominations[0].Values, (std::array<std::string, 6>{"050", "3", "110", "052", "3", "10x"}));
    EXPECT_EQ(page.Denominations[1].Caption, "SEK 1000 A");
    EXPECT_EQ(page.Denominations[1].Values[5], "455");
    // A state outside the table shows as it stands, with no picture; the
    // note qualifier has no '-' form.
    DecodeNoteQualifier("7", page);
    EXPECT_EQ(State(page.Clock), "7/-1/120/(0-200)");
    DecodeNoteQualifier("-", page);
    EXPECT_EQ(page.Clock.State, "-");
}

TEST(SelfTest, FeederShortAndLongFormsByLength)
{
    const std::string states = "01-1010-100";
    // 28 characters: short form.
    FeederPage page = NewFeederPage();
    DecodeFeeder(states + "5621" + "070" + "140" + "EUR101 ", page);
    EXPECT_EQ(State(page.Rows[0]), "Not obstructed/0/5/(0-7)");
    EXPECT_EQ(State(page.Rows[1]), "NC Empty/1/6/(0-7)");
    EXPECT_EQ(State(page.Rows[2]), "Not present/4/2/(0-3)");
    EXPECT_EQ(State(page.Rows[3]), "Obstructed/1/1/(0-3)");
    EXPECT_EQ(State(page.Rows[6]), "No Cassette/0//");
    EXPECT_EQ(State(page.Rows[7]), "Not present/4//");
    EXPECT_EQ(State(page.Rows[8]), "Lid not closed/1//");
    EXPECT_EQ(page.Rows[9].State, "Solenoide inactive");
    EXPECT_EQ(page.Vertical + "x" + page.Horizontal + " " + page.Denomination, "070x140 " + TDenomination("EUR101 ").Text);

    // 29 or more: long form.
    DecodeFeeder("011" "00011111" "07" "09" "3" "2" "068" "133" "SEK102A", page);
    EXPECT_EQ(State(page.Rows[0]), "Not obstructed/0/07/(0-15)");
    EXPECT_EQ(State(page.Rows[1]), "NC Empty/1/09/(0-15)");
    EXPECT_EQ(State(page.Rows[2]), "Normal pressure/1/3/(0-7)");
    EXPECT_EQ(State(page.Rows[3]), "Not obstructed/0/2/(0-7)");
    EXPECT_EQ(page.Vertical + "x" + page.Horizontal + " " + page.Denomination, "068x133 SEK 1000 A");

    // Short form, '-' for shutter 1: its calibration stays as it was; a bad
    // code leaves no denomination; a state outside the table has no picture.
    DecodeFeeder("x0000000000" "562-" "070" "140" "???????", page);
    EXPECT_EQ(State(page.Rows[0]), "x/-1/5/(0-7)");
    EXPECT_EQ(State(page.Rows[3]), "Not obstructed/0/2/(0-7)");
    EXPECT_EQ(page.Denomination, "");

    BlankFeeder(page);
    for (std::size_t i = 0; i < page.Rows.size(); ++i) {
        EXPECT_EQ(page.Rows[i].Image, kNoImage);
        EXPECT_EQ(page.Rows[i].State, "");
        if (i < 4)
            EXPECT_EQ(page.Rows[i].Calibration + page.Rows[i].Range, "");
    }
    EXPECT_EQ(page.Vertical + page.Horizontal + page.Denomination, "");
    EXPECT_EQ(page.Rows[0].Caption, "Exit Sensor");
}

TEST(SelfTest, StackPresenterAndNoteTransportLayouts)
{
    SensorPage sp = NewStackPresenterPage();
    // 1-9 states, 10-11 and 12-13 calibrations, 14 state and 15 calibration
    // of the reject exit, 16-22 states.
    DecodeStackPresenter("102310-40" "12" "31" "2" "6" "1000011", sp);
    ASSERT_EQ(sp.Rows.size(), 17u);
    EXPECT_EQ(State(sp.Rows[0]), "Obstructed/1/12/(0-31)");
    EXPECT_EQ(State(sp.Rows[1]), "Not obstructed/0/31/(0-31)");
    EXPECT_EQ(State(sp.Rows[2]), "Error/2//");
    EXPECT_EQ(State(sp.Rows[4]), "At sensor/1//");
    EXPECT_EQ(State(sp.Rows[5]), "Not at sensor/0//");
    EXPECT_EQ(State(sp.Rows[6]), "Not present/4//");
    EXPECT_EQ(State(sp.Rows[9]), "Error/2/6/(0-7)");
    EXPECT_EQ(sp.Rows[10].State, "RV present");
    EXPECT_EQ(sp.Rows[15].State, "Lid not closed");
    EXPECT_EQ(sp.Rows[16].State, "Solenoide active");

    // A short payload leaves the rows beyond it as they were.
    DecodeStackPresenter("0", sp);
    EXPECT_EQ(sp.Rows[0].State, "Not obstructed");
    EXPECT_EQ(sp.Rows[0].Calibration, "12");
    EXPECT_EQ(sp.Rows[16].State, "Solenoide active");

    SensorPage nt = NewNoteTransportPage();
    DecodeNoteTransport("01045", nt);
    EXPECT_EQ(State(nt.Rows[0]), "Not obstructed/0/4/(0-7)");
    EXPECT_EQ(State(nt.Rows[1]), "Obstructed/1/5/(0-7)");
    EXPECT_EQ(State(nt.Rows[2]), "RT not present/0//");
    DecodeNoteTransport("003", nt);
    EXPECT_EQ(State(nt.Rows[2]), "RT present/3//");
    // Any state but 0 is a tray that is there, an error state too.
    DecodeNoteTransport("002", nt);
    EXPECT_EQ(State(nt.Rows[2]), "RT present/2//");
    DecodeNoteTransport("001", nt);
    EXPECT_EQ(State(nt.Rows[2]), "RT present/1//");
    DecodeNoteTransport("00-", nt);
    EXPECT_EQ(State(nt.Rows[2]), "-/-1//");
    EXPECT_EQ(SelfTestCommand(-1) + SelfTestCommand(0) + SelfTestCommand(9), "GAG0G9");
}

// A status-check payload: hopper records, then the seven task statuses.
std::string Hoppers(std::initializer_list<const char*> records)
{
    std::string s;
    for (const char* r : records)
        s += r;
    return s;
}

TEST(StatusCheck, RecordsTasksAndTheTextBlocks)
{
    std::string payload;
    payload = Hoppers({"0000012345", "1150300001", "2000RC0002", "30000CASS3", "4J51001234", "5166054321",
                       "60000     ", "70000     ", "80000     "});
    ASSERT_EQ(payload.size(), 90u);
    StatusCheck s;
    // No task part after the ninth record: corrupt.
    EXPECT_FALSE(DecodeStatusCheck(payload, s));
    ASSERT_TRUE(DecodeStatusCheck(payload + "00" "01" "02" "99" "00" "03" "00", s));
    ASSERT_EQ(s.Hoppers.size(), 9u);
    auto row = [&s](int i) {
        const HopperStatusRow& h = s.Hoppers[static_cast<std::size_t>(i)];
        return h.Number + "|" + h.CassId + "|" + h.OpenClose + "|" + h.Status + "|" + h.Internal;
    };
    EXPECT_EQ(row(0), "0|12345|-|Ok|00 The Reject Vault is OK");
    EXPECT_EQ(row(1), "1|00001|Cassette operational|31 Low Level|03 Low level in cassette");
    EXPECT_EQ(row(3), "3|CASS3|No Feeder||");
    EXPECT_EQ(row(4), "4|01234|Cassette operational|4A Note Feeder Exit Sensor Failure|"
                      "10 Sensor broken, or note stuck under exit sensor");
    // 350 + 60 lies beyond the feeder block: no text, never another block's.
    EXPECT_EQ(row(5), "5|54321||31 Low Level|60 ");
    // A status character without a text of its own.
    ASSERT_TRUE(DecodeStatusCheck(Hoppers({"0000012345", "1~50300001"}), s));
    EXPECT_EQ(row(1), "1|00001|Cassette operational|Unknown Status|03 Low level in cassette");
    ASSERT_TRUE(DecodeStatusCheck(payload + "00" "01" "02" "99" "00" "03" "00", s));
    EXPECT_EQ(s.Tasks[0].Status, "The Transport is OK");
    EXPECT_EQ(s.Tasks[1].Status, "Error in note data table was detected during power on");
    EXPECT_EQ(s.Tasks[3].Status, "");  // 550 + 99 lies in no block of its own
    EXPECT_EQ(s.Tasks[5].Status, "Note is jammed in Throat sensor"); // Note Output: 580 + n
    EXPECT_EQ(std::string(s.Tasks[6].Task), "Data Handler");

    // Ends before a record starts: the hoppers it has, no tasks.
    ASSERT_TRUE(DecodeStatusCheck(payload.substr(0, 50), s));
    EXPECT_EQ(s.Hoppers.size(), 5u);
    EXPECT_EQ(s.Hoppers[4].Number, "4");
    EXPECT_EQ(s.Tasks[0].Status, "");
    // A record cut short, an internal status or a task that is no number.
    EXPECT_FALSE(DecodeStatusCheck(payload.substr(0, 45), s));
    EXPECT_FALSE(DecodeStatusCheck("01x00RV001", s));
    EXPECT_FALSE(DecodeStatusCheck("012x0RV001", s));
    EXPECT_FALSE(DecodeStatusCheck(payload + "00" "0x" "00" "00" "00" "00" "00", s));
    EXPECT_FALSE(DecodeStatusCheck(payload + "00" "00" "00" "00" "00" "00" "0", s));

    EXPECT_EQ(DispenserStatusText(kInternalVault, 50), "");
    EXPECT_EQ(DispenserStatusText(kOpenCloseFeeder, 20), "");
    EXPECT_EQ(DispenserStatusText(kBcuControl, 13), "No notes in carrier on retract");
    EXPECT_EQ(DispenserStatusText(kInternalFeeder, -1), "");
    EXPECT_EQ(DispenserStatusText(kBcuControl, 2147483647), ""); // no overflow past the table
    EXPECT_EQ(DispenserStatusText(123, 0), "");
}

} // namespace
} // namespace kyd::app

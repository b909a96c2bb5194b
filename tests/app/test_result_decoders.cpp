// What the result windows and the Cassette page make of replies and fields.
#include "app/CassetteItems.h"
#include "app/ResultDecoders.h"

#include <gtest/gtest.h>

namespace kyd::app {
namespace {

using Lines = std::vector<std::string>;

TEST(ResultDecoders, RejectTraceStartsAfterItsEndMark)
{
    Lines l;
    DecodeRejectTrace("0", l);
    EXPECT_EQ(l, Lines{"No rejects has occured"});
    DecodeRejectTrace(std::string(20, '0'), l); // power-on ring
    EXPECT_EQ(l, Lines{"No rejects has occured"});
    DecodeRejectTrace("12034", l); // wrapped: oldest code after the mark
    EXPECT_EQ(l, (Lines{"1\t33 Long Note Sensor A", "2\t34 Long Note Sensor B", "3\t31 Double Note",
                        "4\t32 Internal Reject", "5\t30 ->"}));
    DecodeRejectTrace("1200", l); // not wrapped: cut after the mark
    EXPECT_EQ(l, (Lines{"1\t31 Double Note", "2\t32 Internal Reject", "3\t30 ->"}));
    DecodeRejectTrace("98", l); // no mark at all
    EXPECT_EQ(l, (Lines{"1\t39 Notes Too Close", "2\t38 Skewed Note"}));
    // A character that is no reject code shows a blank text; the trace is
    // still shown.
    DecodeRejectTrace("1x0", l);
    EXPECT_EQ(l, (Lines{"1\t31 Double Note", "2\t ", "3\t30 ->"}));
    DecodeRejectTrace("", l);
    EXPECT_TRUE(l.empty());
}

TEST(ResultDecoders, ReadDataRecords)
{
    Lines l;
    ASSERT_TRUE(DecodeCurrencyCodes("xEUR---SEK", l));
    EXPECT_EQ(l, (Lines{"1  EUR", "3  SEK"}));
    // What the dispenser sent is shown, whatever the characters.
    ASSERT_TRUE(DecodeCurrencyCodes("xEUR1X3", l));
    EXPECT_EQ(l, (Lines{"1  EUR", "2  1X3"}));

    ASSERT_TRUE(DecodeProgramIds("/CMC12340102SPCV-1.2.3.4NQ", l)); // last record too short
    EXPECT_EQ(l, (Lines{"CMC: 1234-01.02", "SPC: V-1.2.3."}));
    ASSERT_TRUE(DecodeProgramIds("/C-C12340102", l));
    EXPECT_EQ(l, Lines{"C-C: 1234-01.02"});

    ASSERT_TRUE(DecodeTable("/3A0054F012", TableKind::Status, 0, l));
    EXPECT_EQ(l, (Lines{"005\t3A Feed Cassette Not Present or Opened", "012\t4F Guard will not open"}));
    // Lower-case hexadecimal digits, a count that is no number, a code that
    // is no hexadecimal number: every line is shown.
    ASSERT_TRUE(DecodeTable("/3a0053A0x5G1007", TableKind::Status, 0, l));
    EXPECT_EQ(l, (Lines{"005\t3A Feed Cassette Not Present or Opened", "0x5\t3A Feed Cassette Not Present or Opened",
                        "007\t"}));

    ASSERT_TRUE(DecodeTable("/02003240010000725007", TableKind::Reject, 0, l));
    EXPECT_EQ(l, (Lines{"003\t02 More than one note", "001\t24 Notes bundle-rejected due to single reject is full",
                        "007\t", "007\t"})); // 0 and 25 have no text
    EXPECT_FALSE(DecodeTable("/0A005", TableKind::Reject, 0, l));
    // A last record cut short shows what it has.
    for (TableKind k : {TableKind::Reject, TableKind::Status}) {
        ASSERT_TRUE(DecodeTable("/02", k, 0, l));
        EXPECT_EQ(l, Lines{"\t" + std::string(k == TableKind::Reject ? "02 More than one note" : "")});
        ASSERT_TRUE(DecodeTable("/0200300", k, 0, l)); // code 00, no count
        EXPECT_EQ(l, (Lines{l[0], "\t"}));
        ASSERT_TRUE(DecodeTable("/02003124", k, 0, l)); // code 12, count "4"
        ASSERT_EQ(l.size(), 2u);
        EXPECT_EQ(l[1].substr(0, 2), "4\t");
    }
    // A reject code that is no decimal number is the one thing the decoding
    // cannot go on from; a count that is none is shown as sent.
    EXPECT_FALSE(DecodeTable("/0x003", TableKind::Reject, 0, l));
    ASSERT_TRUE(DecodeTable("/020x3", TableKind::Reject, 0, l));
    EXPECT_EQ(l, Lines{"0x3\t02 More than one note"});
    ASSERT_TRUE(DecodeTable("/020034x", TableKind::Status, 0, l));
    EXPECT_EQ(l, (Lines{"003\t", "\t"}));
    EXPECT_EQ(CorruptedReplyText("/0A005"), "Corrupted reply string from KYD:\n/0A005");
}

TEST(ResultDecoders, NoteCountersAreSixtyFourBit)
{
    EXPECT_EQ(NoteCounterLine(303, "x0000001234", "Delivered"), "303\t1234\tDelivered");
    EXPECT_EQ(NoteCounterLine(330, "/9999999999", "Life"), "330\t9999999999\tLife");
    EXPECT_EQ(NoteCounterLine(304, "/00000x1234", "Rejected"), "304\tError\tRejected");
    EXPECT_EQ(NoteCounterRows().size(), 15u);
    EXPECT_EQ(NoteCounterRows()[9].Item, 0); // the rule between the two groups
    EXPECT_EQ(NoteCounterRule(), std::string(100, '-'));
}

TEST(ResultDecoders, LastStatusAndTheCassetteListShowEveryRecord)
{
    link::FeederList list;
    auto f = std::make_unique<link::FeederData>();
    f->Number = 2;
    f->Count = 7;
    f->Status = "30 Successful Command";
    f->Id = "NC002";
    list.push_back(std::move(f));
    std::vector<LastStatusRow> rows;
    ASSERT_TRUE(DecodeLastStatus(list, rows));
    EXPECT_EQ(rows[0].Hopper, "2");
    EXPECT_EQ(rows[0].Count, "7");
    std::vector<GridRow> grid;
    DecodeCassetteList(list, grid);
    EXPECT_EQ(grid.at(1), (GridRow{"2", "NC002", "", "30 Successful Command"}));
    list[0]->Count = -1; // the count was not a number
    ASSERT_TRUE(DecodeLastStatus(list, rows));
    EXPECT_EQ(rows[0].Count, "-1");
    // A status character without a text: the row shows, its status empty.
    list[0]->Status.clear();
    DecodeCassetteList(list, grid);
    ASSERT_EQ(grid.size(), 2u);
    EXPECT_EQ(grid.at(1), (GridRow{"2", "NC002", "", ""}));
}

TEST(ResultDecoders, ItemEditorAndMasks)
{
    EXPECT_EQ(IntegerItemText("/100", 3), "100");
    EXPECT_EQ(IntegerItemText("/1234567", 9), "123456");
    EXPECT_EQ(IntegerItemMask(3), "999");
    EXPECT_EQ(QtInputMask("aaaaaaaA;1; "), "nnnnnnnN; ");
    EXPECT_EQ(QtInputMask("009;1; "), "990; ");
    EXPECT_EQ(QtInputMask("c;1; "), "x; ");
    EXPECT_EQ(QtInputMask("999999;1;_"), "000000;_");
    EXPECT_EQ(QtInputMask("99-aa"), "00-nn; ");
}

TEST(CassetteItems, DenominationFromTheFields)
{
    TDenomination d;
    std::string error;
    ASSERT_TRUE(ComposeDenomination("eur", "500", "", d, error));
    EXPECT_EQ(d.Code, "EUR052 "); // no variant: still writable
    ASSERT_TRUE(ComposeDenomination("SEK", "100", "a", d, error));
    EXPECT_EQ(d.Code, "SEK012A");
    ASSERT_TRUE(ComposeDenomination("EUR", "9000000000", " ", d, error));
    EXPECT_EQ(d.Value, 9000000000);

    // The code keeps two digits: 255 would be written as 250.
    EXPECT_FALSE(ComposeDenomination("EUR", "255", "", d, error));
    EXPECT_EQ(error, "Wrong Denomination value: EUR 255");
    EXPECT_FALSE(ComposeDenomination("EUR", "", "", d, error));
    EXPECT_EQ(error, "Wrong Denomination value: EUR ");
    EXPECT_FALSE(ComposeDenomination("EUR", "5x", "", d, error));
    // Zero has no code the dispenser or this tool reads back.
    EXPECT_FALSE(ComposeDenomination("EUR", "0", "", d, error));
    EXPECT_EQ(error, "Wrong Denomination value: EUR 0");
    EXPECT_FALSE(ComposeDenomination("EUR", "000", "A", d, error));

    // Two letters and a value read as a code ("EU 500" is EU 50): the
    // currency is three letters A-Z or nothing is composed.
    for (const char* currency : {"EU", "E1R", "EURO", "", "E R", "?UR"}) {
        SCOPED_TRACE(currency);
        EXPECT_FALSE(ComposeDenomination(currency, "500", "", d, error));
        EXPECT_FALSE(d.Valid);
        EXPECT_NE(error.find("three letters A-Z"), std::string::npos) << error;
    }
    // What is written reads back as the value and variant the page shows.
    EXPECT_FALSE(ComposeDenomination("EUR", "0500", "", d, error));
    ASSERT_TRUE(ComposeDenomination("usd", "50000", "z", d, error));
    EXPECT_EQ(d.Code, "USD054Z");
}

TEST(CassetteItems, NoteSizeAndId)
{
    std::string text, error;
    ASSERT_TRUE(NoteSizeText("85", "120", text, error));
    EXPECT_EQ(text, "085120");
    ASSERT_TRUE(NoteSizeText(" 7", "1", text, error));
    EXPECT_EQ(text, "007001");
    EXPECT_FALSE(NoteSizeText("", "120", text, error));
    EXPECT_NE(error.find("Wrong note size"), std::string::npos);
    EXPECT_FALSE(NoteSizeText("1234", "120", text, error));
    EXPECT_FALSE(NoteSizeText("8a", "120", text, error));
}

// The id goes out as its edit's mask has it: 8 positions, the last one
// required, the others a blank where nothing was typed.
TEST(CassetteItems, CassetteIdFollowsItsEditMask)
{
    std::string id, error;
    ASSERT_TRUE(CassetteIdText("NC000001", id, error));
    EXPECT_EQ(id, "NC000001");
    ASSERT_TRUE(CassetteIdText("      AB", id, error));
    EXPECT_EQ(id, "      AB");
    ASSERT_TRUE(CassetteIdText("N C    7", id, error));
    EXPECT_EQ(id, "N C    7");

    const std::string lastEmpty = "\nThe 8th position of the id must be filled.";
    for (const char* shown : {"NC01", "NC01    ", "", "        ", "NC 01"}) {
        id = "kept";
        EXPECT_FALSE(CassetteIdText(shown, id, error)) << shown;
        EXPECT_EQ(id, "kept");
        EXPECT_NE(error.find(lastEmpty), std::string::npos) << error;
    }
    EXPECT_EQ(error.rfind("Wrong Cassette ID: NC 01\n", 0), 0u) << error;
    for (const char* shown : {"NC-00001", "ABCDEFGHIJ", "NC00000\xC4"}) {
        EXPECT_FALSE(CassetteIdText(shown, id, error)) << shown;
        EXPECT_EQ(error, std::string("Wrong Cassette ID: ") + shown +
                             "\nAn id holds letters A-Z, a-z and digits 0-9 only.");
    }
}

} // namespace
} // namespace kyd::app

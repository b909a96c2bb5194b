#include "link/AppContext.h"
#include "link/Protokoll.h"
#include "link/StatusTexts.h"

#include <gtest/gtest.h>

namespace kyd::link {
namespace {

TEST(StatusModel, FeederIterationOnEmptyListEndsAtOnce)
{
    Protokoll p;
    EXPECT_EQ(p.FirstFeeder(), nullptr);
    EXPECT_EQ(p.NextFeeder(), nullptr);
    EXPECT_EQ(p.NextFeeder(), nullptr);
}

TEST(StatusModel, IterationVisitsEveryRecordInOrder)
{
    Protokoll p;
    FeederList list;
    for (int n : {3, 1, 3}) {
        list.push_back(std::make_unique<FeederData>());
        list.back()->Number = n;
    }
    list[2]->Id = "SECND";
    p.SetFeeders(std::move(list));
    std::vector<int> seen;
    for (FeederData* f = p.FirstFeeder(); f; f = p.NextFeeder())
        seen.push_back(f->Number);
    EXPECT_EQ(seen, (std::vector<int>{3, 1, 3}));
    EXPECT_EQ(p.NextFeeder(), nullptr);
    // The first of two records with the same number is found.
    ASSERT_NE(p.FindFeeder(3), nullptr);
    EXPECT_EQ(p.FindFeeder(3)->Id, "0");
    EXPECT_TRUE(p.HasFeeder(1));
    EXPECT_FALSE(p.HasFeeder(2));
}

TEST(StatusModel, SetCodeTextsAndFallback)
{
    Protokoll p;
    p.SetCode(48);
    EXPECT_EQ(p.CodeText, "30 Successful Command");
    p.SetCode(88);
    EXPECT_EQ(p.StatusCode, 88);
    EXPECT_EQ(p.CodeText, "Unknown Status  58");
    p.SetCode(112);
    EXPECT_EQ(p.CodeText, "70 Cassette is pulled out on close");
    p.SetCode(202);
    EXPECT_EQ(p.CodeText, "LRC Error");
    p.SetCode(205);
    EXPECT_EQ(p.CodeText, "Communication Canceled");
    p.SetCode(5);
    EXPECT_EQ(p.CodeText, "Unknown Status  05");
}

TEST(StatusModel, TextLookupsStayInTheirRanges)
{
    EXPECT_EQ(StatusCodeText(92), "5C Sub-unit Operation Not Performed");
    EXPECT_EQ(StatusCodeText(106), "6A No Data Available");
    EXPECT_EQ(StatusCodeText(105), "");
    EXPECT_EQ(StatusCodeText(127), "Unknown Status");
    EXPECT_EQ(StatusCodeText(200), "No Connection");
    EXPECT_EQ(StatusCodeText(204), "");
    for (int code : {0, 47, 128, 195, 199, 206, 250, 255, 683})
        EXPECT_EQ(StatusCodeText(code), "") << code;
    // A status character's code only ever gets a dispenser text.
    Protokoll p;
    p.SetCharCode(200);
    EXPECT_EQ(p.CodeText, "Unknown Status  C8");
    EXPECT_EQ(StatusClassText(196), "OPERATOR RECOVERABLE");
    EXPECT_EQ(StatusClassText(203), "Hardware Error");
    EXPECT_EQ(StatusClassText(200), "");
}

TEST(StatusModel, ClearKeepsFatalMarkAndPayloads)
{
    Protokoll p;
    EXPECT_EQ(p.FatalMark, 0);
    p.FatalMark = 3;
    p.StatusClass = 199;
    p.SetCode(53);
    p.ReadData = "R";
    p.SelfTestData = "S";
    p.CheckStatusData = "Q";
    p.Trace = "T";
    p.ProgramId = "12-03.A1";
    p.TotalNotes = 7;
    p.SetFeeders({});
    p.Clear();
    EXPECT_EQ(p.FatalMark, 3);
    EXPECT_EQ(p.StatusClass, 0);
    EXPECT_EQ(p.StatusCode, 0);
    EXPECT_EQ(p.CodeText, "");
    EXPECT_EQ(p.Trace, "");
    EXPECT_EQ(p.ProgramId, "");
    EXPECT_EQ(p.TotalNotes, 0);
    EXPECT_EQ(p.ReadData, "R");
    EXPECT_EQ(p.SelfTestData, "S");
    EXPECT_EQ(p.CheckStatusData, "Q");
}

TEST(StatusModel, SuccessMeansWarningClassAndNotCancelled)
{
    Protokoll p;
    EXPECT_FALSE(p.Succeeded());
    p.StatusClass = 195;
    p.SetCode(48);
    EXPECT_TRUE(p.Succeeded());
    p.SetCode(205);
    EXPECT_FALSE(p.Succeeded());
    p.StatusClass = 196;
    p.SetCode(50);
    EXPECT_FALSE(p.Succeeded());
}

TEST(StatusModel, FeederDataClears)
{
    FeederData f;
    EXPECT_EQ(f.Id, "0");
    f.Number = 2;
    f.Status = "x";
    f.Id = "AB123";
    f.Count = 4;
    f.Width = 140;
    f.Clear();
    EXPECT_EQ(f.Number, 0);
    EXPECT_EQ(f.Status, "");
    EXPECT_EQ(f.Id, "0");
    EXPECT_EQ(f.Count, 0);
    EXPECT_EQ(f.Width, 0);
}

} // namespace
} // namespace kyd::link

// The cassette information window: the cassette list and the note sizes.
#include "app/qt/CassInfo.h"
#include "link/Protokoll.h"
#include "platform/dialogs.h"
#include "platform/qt/ui_scale.h"

#include <QFontMetrics>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace kyd::app {
namespace {

// The warnings a refused fill gives.
struct Warnings {
    platform::FakeDialogs dialogs;
    Warnings() { platform::setDialogs(&dialogs); }
    ~Warnings() { platform::setDialogs(nullptr); }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> out;
        for (const auto& c : dialogs.calls())
            if (c.type == platform::DlgType::Warning)
                out.push_back(c.text);
        return out;
    }
};

link::FeederList Feeders(int n)
{
    link::FeederList list;
    for (int k = 0; k < n; ++k) {
        auto f = std::make_unique<link::FeederData>();
        f->Number = k;
        f->Id = "ID00" + std::to_string(k);
        f->Status = "30 Successful Command";
        f->Width = k == 1 ? 140 : 0;
        list.push_back(std::move(f));
    }
    return list;
}

// Every header's text fits its column (nothing is elided), the columns keep
// the design proportions, and each row is as high as the text.
void ExpectHeadersFit(const TCassInfo& w, std::array<int, 4> design)
{
    const QFontMetrics fm(w.HeaderFont());
    for (int c = 0; c < 4; ++c) {
        const QString text = QString::fromStdString(w.Cell(0, c));
        EXPECT_LE(platform::UiScale::TextWidth(w.HeaderFont(), text) + w.CellPadding(), w.StringGrid1->columnWidth(c))
            << text.toStdString();
        const double ratio = design[c] / double(design[3]);
        EXPECT_NEAR(w.StringGrid1->columnWidth(c) / double(w.StringGrid1->columnWidth(3)), ratio, ratio * 0.05) << c;
    }
    EXPECT_GE(w.StringGrid1->rowHeight(0), fm.height());
    EXPECT_GE(w.StringGrid1->rowHeight(0), 15);
}

TEST(CassInfo, ShowsTheCassettesOfTheModel)
{
    link::Protokoll model;
    model.SetFeeders(Feeders(3));
    TCassInfo w(nullptr, &model);
    EXPECT_EQ(w.windowTitle().toStdString(), "Cassette information");
    EXPECT_TRUE(w.windowFlags() & Qt::Tool);
    ASSERT_EQ(w.findChild<QTableWidget*>("StringGrid1"), w.StringGrid1);
    EXPECT_EQ(w.StringGrid1->rowCount(), 10);
    EXPECT_EQ(w.StringGrid1->columnCount(), 4);

    EXPECT_TRUE(w.ShowCassettes());
    ExpectHeadersFit(w, {23, 66, 44, 214});
    EXPECT_EQ(w.Cell(0, 0), "No");
    EXPECT_EQ(w.Cell(0, 1), "Cassette Id");
    EXPECT_EQ(w.Cell(0, 2), "Width");
    EXPECT_EQ(w.Cell(0, 3), "Status");
    EXPECT_EQ(w.Cell(1, 0), "0");
    EXPECT_EQ(w.Cell(1, 1), "ID000");
    EXPECT_EQ(w.Cell(1, 2), ""); // width 0: empty
    EXPECT_EQ(w.Cell(2, 2), "140");
    EXPECT_EQ(w.Cell(3, 3), "30 Successful Command");
    EXPECT_EQ(w.Cell(4, 0), "");
}

TEST(CassInfo, MoreCassettesThanRowsGrowTheGridAndARecordWithoutStatusTextIsShown)
{
    link::Protokoll model;
    model.SetFeeders(Feeders(12));
    TCassInfo w(nullptr, &model);
    const int height = w.height();
    EXPECT_TRUE(w.ShowCassettes());
    EXPECT_EQ(w.StringGrid1->rowCount(), 13);
    EXPECT_EQ(w.Cell(12, 0), "11");
    EXPECT_GT(w.height(), height); // no scroll bars: the window grows with it

    // A record without a status text (an unknown status character) shows
    // with an empty status; nothing is refused.
    Warnings warnings;
    model.FindFeeder(4)->Status.clear();
    EXPECT_TRUE(w.ShowCassettes());
    EXPECT_TRUE(warnings.Texts().empty());
    EXPECT_EQ(w.StringGrid1->rowCount(), 13);
    EXPECT_EQ(w.Cell(5, 0), "4");
    EXPECT_EQ(w.Cell(5, 3), "");
    EXPECT_EQ(w.Cell(6, 0), "5");
    EXPECT_NE(w.Cell(6, 3), "");
}

TEST(CassInfo, EmptyListShowsOnlyTheHeader)
{
    link::Protokoll model;
    TCassInfo w(nullptr, &model);
    EXPECT_TRUE(w.ShowCassettes());
    EXPECT_EQ(w.Cell(0, 0), "No");
    EXPECT_EQ(w.Cell(1, 0), "");
}

TEST(CassInfo, NoteSizes)
{
    link::Protokoll model;
    TCassInfo w(nullptr, &model);
    // Position 1 is skipped; records of 13 characters follow.
    const std::string payload = std::string("x") + "EUR052 070140" + "SEK012A065130" + "ZZZ????071141" + "EUR";
    EXPECT_TRUE(w.ShowNoteSizes(payload));
    EXPECT_EQ(w.windowTitle().toStdString(), "Item 202 Note Sizes");
    ExpectHeadersFit(w, {23, 46, 54, 154}); // 70 design pixels narrower
    EXPECT_EQ(w.Cell(0, 1), "Vertical");
    EXPECT_EQ(w.Cell(0, 3), "Denomination");
    EXPECT_EQ(w.Cell(1, 0), "1");
    EXPECT_EQ(w.Cell(1, 1), "070");
    EXPECT_EQ(w.Cell(1, 2), "140");
    EXPECT_EQ(w.Cell(1, 3), "EUR 500  ");
    EXPECT_EQ(w.Cell(2, 3), "SEK 100 A");
    EXPECT_EQ(w.Cell(3, 1), "071");
    EXPECT_EQ(w.Cell(3, 3), ""); // does not parse
    // A short last record is cut to what exists.
    EXPECT_EQ(w.Cell(4, 0), "4");
    EXPECT_EQ(w.Cell(4, 1), "");
    EXPECT_EQ(w.Cell(5, 0), "");

    // A size that is not a number is shown as sent, without a warning.
    Warnings warnings;
    TCassInfo odd(nullptr, &model);
    EXPECT_TRUE(odd.ShowNoteSizes("/EUR052 07X140"));
    EXPECT_EQ(odd.Cell(1, 1), "07X");
    EXPECT_EQ(odd.Cell(1, 2), "140");
    EXPECT_TRUE(warnings.Texts().empty());
}

} // namespace
} // namespace kyd::app

#include "app/qt/CassInfo.h"

#include "app/Denomination.h"
#include "link/Protokoll.h"
#include "link/TextPos.h"

#include "platform/qt/ui_scale.h"

#include <QFont>
#include <QHeaderView>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace kyd::app {

namespace {

constexpr int kRowHeight = 15;

QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TCassInfo::TCassInfo(QWidget* owner, link::Protokoll* model) : QDialog(owner), model_(model)
{
    setObjectName("CassInfo");
    setWindowTitle("Cassette information");
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    StringGrid1 = new QTableWidget(kRows, static_cast<int>(widths_.size()), this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setFocusPolicy(Qt::NoFocus); // nothing to pick: no current cell frame
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGrid1);
    FitWindow();
}

int TCassInfo::CellPadding() const
{
    // The cell's text margins, its grid line and a little air.
    return 2 * (StringGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, StringGrid1) + 1) + 1 + 4;
}

QFont TCassInfo::HeaderFont() const
{
    QFont f = StringGrid1->font();
    f.setBold(true);
    return f;
}

void TCassInfo::SetCell(int row, int column, const std::string& text)
{
    if (row < 0 || row >= StringGrid1->rowCount())
        return; // the grid keeps its design size
    auto* item = new QTableWidgetItem(Latin1(text));
    if (row == 0) {
        // The fixed first row.
        item->setFont(HeaderFont());
        item->setBackground(palette().button());
    }
    StringGrid1->setItem(row, column, item);
}

std::string TCassInfo::Cell(int row, int column) const
{
    const QTableWidgetItem* item = StringGrid1->item(row, column);
    return item ? item->text().toLatin1().toStdString() : std::string();
}

void TCassInfo::ClearGrid()
{
    StringGrid1->clearContents();
}

void TCassInfo::FitWindow()
{
    // The design widths, scaled for the font and widened alike until every
    // header fits its column.
    platform::UiScale scale = platform::UiScale::For(StringGrid1);
    const QFontMetrics fm(HeaderFont());
    for (std::size_t c = 0; c < widths_.size(); ++c)
        scale.FitText(HeaderFont(), QString::fromLatin1(headers_[c]), widths_[c], CellPadding());
    const int rowHeight = std::max(scale.Y(kRowHeight), fm.height() + 2);

    int width = 0;
    for (std::size_t c = 0; c < widths_.size(); ++c) {
        StringGrid1->setColumnWidth(static_cast<int>(c), scale.X(widths_[c]));
        width += scale.X(widths_[c]);
    }
    for (int r = 0; r < kRows; ++r)
        StringGrid1->setRowHeight(r, rowHeight);
    const int frame = 2 * StringGrid1->frameWidth();
    setFixedSize(width + frame, kRows * rowHeight + frame);
}

void TCassInfo::ShowCassettes()
{
    ClearGrid();
    for (int c = 0; c < 4; ++c)
        SetCell(0, c, headers_[static_cast<std::size_t>(c)]);
    int row = 1;
    for (link::FeederData* f = model_->FirstFeeder(); f && row < kRows; f = model_->NextFeeder(), ++row) {
        SetCell(row, 0, std::to_string(f->Number));
        SetCell(row, 1, f->Id);
        SetCell(row, 2, f->Width != 0 ? std::to_string(f->Width) : std::string());
        SetCell(row, 3, f->Status);
    }
}

void TCassInfo::ShowNoteSizes(const std::string& d)
{
    setWindowTitle("Item 202 Note Sizes");
    widths_[1] -= 20;
    widths_[2] += 10;
    widths_[3] -= 60;
    headers_ = kNoteSizeHeaders;
    FitWindow(); // 70 design pixels narrower

    ClearGrid();
    for (int c = 0; c < 4; ++c)
        SetCell(0, c, headers_[static_cast<std::size_t>(c)]);
    int n = 1;
    for (int s = 2; s < static_cast<int>(d.size()) && n < kRows; s += 13, ++n) {
        SetCell(n, 0, std::to_string(n));
        SetCell(n, 1, link::SubString(d, s + 7, 3));
        SetCell(n, 2, link::SubString(d, s + 10, 3));
        const TDenomination denomination(link::SubString(d, s, 7));
        SetCell(n, 3, denomination.Valid ? denomination.Text : std::string());
    }
}

void ShowCassetteWindow(QWidget* owner, link::Protokoll& model)
{
    TCassInfo window(owner, &model);
    window.ShowCassettes();
    window.exec();
}

} // namespace kyd::app

#include "app/qt/CassInfo.h"

#include "app/qt/Latin1.h"
#include "app/qt/ModalRun.h"
#include "app/qt/ResultForms.h"

#include "app/ResultDecoders.h"
#include "link/Protokoll.h"
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
    if (row < 0)
        return;
    while (row >= StringGrid1->rowCount()) {
        // More records than design rows: the grid grows.
        const int r = StringGrid1->rowCount();
        StringGrid1->insertRow(r);
        StringGrid1->setRowHeight(r, StringGrid1->rowHeight(0));
    }
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
    return item ? Latin1Std(item->text()) : std::string();
}

void TCassInfo::ClearGrid()
{
    StringGrid1->clearContents();
    StringGrid1->setRowCount(kRows);
}

void TCassInfo::SetRows(const std::vector<GridRow>& rows)
{
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            SetCell(static_cast<int>(r), static_cast<int>(c), rows[r][c]);
    FitWindow();
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
    const int rows = StringGrid1->rowCount();
    for (int r = 0; r < rows; ++r)
        StringGrid1->setRowHeight(r, rowHeight);
    const int frame = 2 * StringGrid1->frameWidth();
    setFixedSize(width + frame, rows * rowHeight + frame);
}

bool TCassInfo::ShowCassettes()
{
    ClearGrid();
    std::vector<GridRow> rows;
    DecodeCassetteList(model_->Feeders(), rows);
    SetRows(rows);
    return true;
}

bool TCassInfo::ShowNoteSizes(const std::string& d)
{
    setWindowTitle("Item 202 Note Sizes");
    widths_[1] -= 20;
    widths_[2] += 10;
    widths_[3] -= 60;
    headers_ = kNoteSizeHeaders;
    ClearGrid();
    FitWindow(); // 70 design pixels narrower
    std::vector<GridRow> rows;
    if (!DecodeNoteSizes(d, rows)) {
        WarnCorruptedReply(d);
        return false;
    }
    SetRows(rows);
    return true;
}

void ShowCassetteWindow(QWidget* owner, link::Protokoll& model)
{
    TCassInfo window(owner, &model);
    if (window.ShowCassettes())
        ExecModal(window);
}

} // namespace kyd::app

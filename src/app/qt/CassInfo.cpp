#include "app/qt/CassInfo.h"

#include "app/ResultDecoders.h"
#include "link/Protokoll.h"
#include "platform/qt/ui_scale.h"

#include <QFont>
#include <QFontMetrics>
#include <QStyle>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

namespace kyd::app {

namespace {

constexpr std::array<int, 4> kColumnWidths{23, 66, 44, 214};
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

    StringGrid1 = new QTableWidget(kRows, static_cast<int>(kColumnWidths.size()), this);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setFocusPolicy(Qt::NoFocus);
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(1);
    const auto scale = platform::UiScale::For(this);
    for (int c = 0; c < static_cast<int>(kColumnWidths.size()); ++c)
        StringGrid1->setColumnWidth(c, scale.X(kColumnWidths[static_cast<std::size_t>(c)]));
    for (int r = 0; r < kRows; ++r)
        StringGrid1->setRowHeight(r, scale.Y(kRowHeight));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGrid1);
    FitWindow();
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
        QFont f = item->font();
        f.setBold(true);
        item->setFont(f);
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
    StringGrid1->setRowCount(kRows);
}

void TCassInfo::SetRows(const std::vector<GridRow>& rows)
{
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            SetCell(static_cast<int>(r), static_cast<int>(c), rows[r][c]);
    FitColumnsToHeader();
    FitWindow();
}

void TCassInfo::FitColumnsToHeader()
{
    // A column is at least as wide as its (bold) header needs.
    for (int c = 0; c < StringGrid1->columnCount(); ++c) {
        const QTableWidgetItem* item = StringGrid1->item(0, c);
        if (!item)
            continue;
        const int need = QFontMetrics(item->font()).horizontalAdvance(item->text()) +
                         2 * StringGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
        if (StringGrid1->columnWidth(c) < need)
            StringGrid1->setColumnWidth(c, need);
    }
}

void TCassInfo::FitWindow()
{
    int width = 0;
    for (int c = 0; c < StringGrid1->columnCount(); ++c)
        width += StringGrid1->columnWidth(c);
    int height = 0;
    for (int r = 0; r < StringGrid1->rowCount(); ++r)
        height += StringGrid1->rowHeight(r);
    const int frame = 2 * StringGrid1->frameWidth();
    setFixedSize(width + frame, height + frame);
}

bool TCassInfo::ShowCassettes()
{
    ClearGrid();
    std::vector<GridRow> rows;
    if (!DecodeCassetteList(model_->Feeders(), rows))
        return false;
    SetRows(rows);
    return true;
}

bool TCassInfo::ShowNoteSizes(const std::string& d)
{
    setWindowTitle("Item 202 Note Sizes");
    const auto scale = platform::UiScale::For(this);
    StringGrid1->setColumnWidth(1, StringGrid1->columnWidth(1) - scale.X(20));
    StringGrid1->setColumnWidth(2, StringGrid1->columnWidth(2) + scale.X(10));
    StringGrid1->setColumnWidth(3, StringGrid1->columnWidth(3) - scale.X(60));
    ClearGrid();
    std::vector<GridRow> rows;
    if (!DecodeNoteSizes(d, rows))
        return false;
    SetRows(rows); // 70 pixels narrower
    return true;
}

void ShowCassetteWindow(QWidget* owner, link::Protokoll& model)
{
    TCassInfo window(owner, &model);
    if (window.ShowCassettes())
        window.exec();
}

} // namespace kyd::app

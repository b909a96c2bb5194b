#include "app/qt/CassInfo.h"

#include "app/Denomination.h"
#include "link/Protokoll.h"
#include "link/TextPos.h"

#include <QFont>
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
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(1);
    for (int c = 0; c < static_cast<int>(kColumnWidths.size()); ++c)
        StringGrid1->setColumnWidth(c, kColumnWidths[static_cast<std::size_t>(c)]);
    for (int r = 0; r < kRows; ++r)
        StringGrid1->setRowHeight(r, kRowHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGrid1);
    FitWindow();
}

void TCassInfo::SetCell(int row, int column, const std::string& text)
{
    if (row < 0 || row >= StringGrid1->rowCount())
        return; // the grid keeps its design size
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
}

void TCassInfo::FitWindow()
{
    int width = 0;
    for (int c = 0; c < StringGrid1->columnCount(); ++c)
        width += StringGrid1->columnWidth(c);
    const int frame = 2 * StringGrid1->frameWidth();
    setFixedSize(width + frame, kRows * kRowHeight + frame);
}

void TCassInfo::ShowCassettes()
{
    ClearGrid();
    SetCell(0, 0, "No");
    SetCell(0, 1, "Cassette Id");
    SetCell(0, 2, "Width");
    SetCell(0, 3, "Status");
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
    StringGrid1->setColumnWidth(1, StringGrid1->columnWidth(1) - 20);
    StringGrid1->setColumnWidth(2, StringGrid1->columnWidth(2) + 10);
    StringGrid1->setColumnWidth(3, StringGrid1->columnWidth(3) - 60);
    FitWindow(); // 70 pixels narrower

    ClearGrid();
    SetCell(0, 0, "No");
    SetCell(0, 1, "Vertical");
    SetCell(0, 2, "Horizontal");
    SetCell(0, 3, "Denomination");
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

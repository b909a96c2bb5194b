// The cassette information window: the cassettes of the last cassette-id
// read (number, id, note width, status), or the note-size table of item 202.
#pragma once

#include <QDialog>
#include <QFont>

#include <array>
#include <string>
#include <vector>

class QTableWidget;

namespace kyd::link {
class Protokoll;
}

namespace kyd::app {

class TCassInfo : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRows = 10;

    // The status model is not owned.
    TCassInfo(QWidget* owner, link::Protokoll* model);

    // Header row "No", "Cassette Id", "Width", "Status", then one row per
    // cassette of the model's feeder list; the grid grows beyond its design
    // rows. A status character without a text shows an empty status. Always
    // true: every list is shown.
    bool ShowCassettes();
    // The note sizes of item 202: records of 13 characters from position 2,
    // a denomination code, the vertical and the horizontal size. False, after
    // the same warning, when a size is not a number.
    bool ShowNoteSizes(const std::string& payload);

    // The text of a cell ("" when empty).
    std::string Cell(int row, int column) const;

    QTableWidget* StringGrid1 = nullptr;

    using Headers = std::array<const char*, 4>;
    static constexpr Headers kCassetteHeaders{"No", "Cassette Id", "Width", "Status"};
    static constexpr Headers kNoteSizeHeaders{"No", "Vertical", "Horizontal", "Denomination"};
    // The header row's font.
    QFont HeaderFont() const;
    // What a cell takes besides its text.
    int CellPadding() const;

private:
    void SetCell(int row, int column, const std::string& text);
    void ClearGrid();
    void SetRows(const std::vector<std::array<std::string, 4>>& rows);
    void FitWindow();

    link::Protokoll* model_;
    std::array<int, 4> widths_{23, 66, 44, 214}; // design widths of the columns
    Headers headers_ = kCassetteHeaders;
};

// Shows the cassette window modally for the model's cassettes and frees it
// afterwards (what SHOW_CASSETTE_DLG of a script asks for).
void ShowCassetteWindow(QWidget* owner, link::Protokoll& model);

} // namespace kyd::app

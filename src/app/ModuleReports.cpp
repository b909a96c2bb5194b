#include "app/ModuleReports.h"

#include "app/DispenserStatus.h"
#include "link/TextPos.h"
#include "platform/report_canvas.h"

#include <functional>

namespace kyd::app {

namespace {

// Records of `size` characters from position 2 (1-based), read while a
// record's first position is before the payload's last character. Calls
// take(record) for each; false when a record is cut short. A last record
// needs only its first `needed` characters (those that hold a field it
// always has): it is then passed as it came, shorter than size.
template <class Take>
bool ForEachRecord(const std::string& payload, std::size_t size, std::size_t needed, Take take)
{
    for (std::size_t pos = 2; pos < payload.size(); pos += size) {
        if (pos - 1 + needed > payload.size())
            return false;
        if (!take(payload.substr(pos - 1, size)))
            return true;
    }
    return true;
}

} // namespace

const std::array<ModuleTask, 21>& ModuleTaskTable()
{
    static const std::array<ModuleTask, 21> table{{
        {"0", 0},    {"1", 0},    {"2", 0},    {"TRP", kTaskMainMotor},       {"FDR", kInternalFeeder},
        {"PRS", kTaskStackPresenter},          {"DIV", kTaskNoteDiverter},    {"QUA", kTaskNoteQualifier},
        {"STK", kTaskNoteStacker},             {"THR", kTaskNoteOutput},      {"REJ", kInternalVault},
        {"11", 0},   {"12", 0},   {"13", 0},   {"DAT", kTaskDataHandler},     {"15", 0},
        {"16", 0},   {"17", 0},   {"18", 0},   {"19", 0},                     {"BCU", kBcuControl},
    }};
    return table;
}

int FindTask(const std::string& name)
{
    // Only the first fifteen entries are searched: the dispenser's own
    // module status names no task above 14 but BCU, which takes no texts.
    for (int i = 0; i <= 14; ++i)
        if (name == ModuleTaskTable()[static_cast<std::size_t>(i)].Name)
            return i;
    return -1;
}

std::string ModuleStatusText(int base, int code)
{
    // A task without texts of its own shows none (never the texts that
    // happen to sit at its code's number).
    if (base == 0)
        return {};
    return DispenserStatusText(base, code);
}

PageEnd DecodeErrorLogPage(const std::string& payload, int page, std::vector<LogRow>& rows)
{
    int number = page * kErrorLogPageRecords + 1;
    bool ended = false;
    bool corrupt = false;
    // The record that ends the log needs no more than its task number.
    const bool complete = ForEachRecord(payload, 8, 2, [&](const std::string& r) {
        const std::string taskText = r.substr(0, 2);
        const int task = link::DecimalOrMinusOne(taskText);
        if (task == 0) {
            ended = true;
            return false;
        }
        if (r.size() < 8) { // every other record shows all its fields
            corrupt = true;
            return false;
        }
        const std::string codeText = r.substr(2, 2);
        LogRow row;
        row.Caption = std::to_string(number++);
        if (task < 0 || task > 20) {
            row.Task = "???";
            row.Description = "Unknown task: " + taskText + ", error code: " + codeText;
        } else {
            const int code = link::DecimalOrMinusOne(codeText);
            if (code < 0) {
                corrupt = true;
                return false;
            }
            const ModuleTask& t = ModuleTaskTable()[static_cast<std::size_t>(task)];
            row.Task = t.Name;
            row.Description = codeText + "  " + ModuleStatusText(t.Base, code);
        }
        row.Line = r.substr(4, 4);
        rows.push_back(std::move(row));
        return true;
    });
    if (!complete || corrupt)
        return PageEnd::Corrupt;
    return ended ? PageEnd::End : PageEnd::More;
}

bool DecodeModuleStatus(const std::string& payload, std::vector<LogRow>& rows)
{
    bool corrupt = false;
    // The blank after the value holds no field.
    const bool complete = ForEachRecord(payload, 12, 11, [&](const std::string& r) {
        const std::string name = r.substr(0, 3);
        const std::string codeText = r.substr(4, 2);
        const int code = link::DecimalOrMinusOne(codeText);
        if (code < 0) {
            corrupt = true;
            return false;
        }
        const int task = FindTask(name);
        const int base = task < 0 ? 0 : ModuleTaskTable()[static_cast<std::size_t>(task)].Base;
        rows.push_back({name, codeText, ModuleStatusText(base, code), r.substr(7, 4)});
        return true;
    });
    return complete && !corrupt;
}

bool DecodeModuleIds(const std::string& payload, std::vector<ModIdRow>& rows)
{
    for (std::size_t pos = 2; pos < payload.size();) {
        const std::size_t m = payload.compare(pos - 1, 3, "NFC") == 0 ? 4 : 3;
        if (pos - 1 + m + 14 > payload.size())
            return false;
        const std::string r = payload.substr(pos - 1, m + 14);
        rows.push_back({r.substr(0, m), {r.substr(m, 3), r.substr(m + 3, 2), r.substr(m + 5, 2), r.substr(m + 7, 7)}});
        pos += m + 14;
    }
    return true;
}

bool DecodeExtendedIds(const std::string& payload, std::vector<ModIdRow>& rows)
{
    return ForEachRecord(payload, 18, 18, [&](const std::string& r) {
        rows.push_back({r.substr(0, 4), {r.substr(4, 14)}});
        return true;
    });
}

std::string PadField(const std::string& text, std::size_t width, char fill)
{
    if (text.size() >= width)
        return text.substr(0, width);
    return std::string(width - text.size(), fill) + text;
}

namespace {

struct ModIdField {
    const char* Name;
    std::size_t Width;
    char Fill;
};
constexpr ModIdField kStandardFields[] = {{"Type", 3, '0'}, {"Revision", 2, '0'}, {"Field Revision", 2, '0'},
                                          {"Serial Number", 7, '0'}};
constexpr ModIdField kExtendedField = {"Value", 14, ' '};

} // namespace

void ApplyModIdEdit(ModIdRow& row, const std::vector<std::string>& edits)
{
    if (row.Extended()) {
        if (!edits.empty())
            row.Columns.assign(1, PadField(edits[0], kExtendedField.Width, kExtendedField.Fill));
        return;
    }
    row.Columns.resize(4);
    for (std::size_t i = 0; i < 4 && i < edits.size(); ++i)
        row.Columns[i] = PadField(edits[i], kStandardFields[i].Width, kStandardFields[i].Fill);
}

bool CheckModIdEdit(const ModIdRow& row, const std::vector<std::string>& edits, std::string& error)
{
    for (std::size_t i = 0; i < edits.size() && i < (row.Extended() ? 1u : 4u); ++i) {
        const ModIdField& f = row.Extended() ? kExtendedField : kStandardFields[i];
        const std::string padded = PadField(edits[i], f.Width, f.Fill);
        for (char c : padded) {
            if (c < 0x20 || c > 0x7E) {
                error = std::string(f.Name) + ": only printable ASCII characters (blank to '~') can be written";
                return false;
            }
        }
    }
    return true;
}

std::string ModIdRecord(const ModIdRow& row)
{
    std::string record = row.Caption;
    for (const std::string& c : row.Columns)
        record += c;
    return record;
}

namespace {

std::string RightAligned(const std::string& s, std::size_t width)
{
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

} // namespace

std::string ErrorLogReport(const std::vector<LogRow>& rows)
{
    std::string out;
    out += "    Module Error Log\n";
    out += "   " + std::string(18, '=') + "\n";
    out += "\n";
    out += "       Task  Line   Error description\n";
    out += "   " + std::string(70, '-') + "\n";
    for (std::size_t i = 0; i < rows.size() && rows[i].Task != "0"; ++i)
        out += RightAligned(std::to_string(i + 1), 5) + "  " + rows[i].Task + "   " + rows[i].Line + "   " +
               rows[i].Description + "\n";
    return out;
}

namespace {

bool ListedStandard(const ModIdRow& r)
{
    return !r.Columns.empty() && r.Columns[0] != kEmptyModuleType;
}

bool ListedExtended(const ModIdRow& r)
{
    return !r.Columns.empty() && r.Columns[0] != kEmptyExtendedValue;
}

std::string Column(const ModIdRow& r, std::size_t i)
{
    return i < r.Columns.size() ? r.Columns[i] : std::string();
}

} // namespace

std::string ModuleIdReport(const std::vector<ModIdRow>& standard, const std::vector<ModIdRow>& extended)
{
    std::string out;
    out += "\n    Module Id\n";
    out += "   " + std::string(11, '=') + "\n\n";
    out += "   Module  Type  Revision  Field rev.  Serial number\n";
    out += "   " + std::string(70, '-') + "\n";
    for (const ModIdRow& r : standard) {
        if (!ListedStandard(r))
            continue;
        std::string name = r.Caption;
        if (name.size() < 8)
            name += std::string(8 - name.size(), ' ');
        out += "   " + name + Column(r, 0) + std::string(5, ' ') + Column(r, 1) + std::string(8, ' ') + Column(r, 2) +
               std::string(9, ' ') + Column(r, 3) + "\n";
    }
    bool first = true;
    for (const ModIdRow& r : extended) {
        if (!ListedExtended(r))
            continue;
        if (first) {
            out += "\n\n    Extended Module Id\n";
            out += "   " + std::string(20, '=') + "\n\n";
            out += "   Position  Value\n";
            out += "   " + std::string(70, '-') + "\n";
            first = false;
        }
        out += "   " + r.Caption + std::string(6, ' ') + Column(r, 0) + "\n";
    }
    return out;
}

namespace {

struct Heading {
    int Col; // in character widths
    const char* Text;
};

// Lays out rows down the page and breaks onto a new page when the next
// row would come within four lines of the foot.
class PagedReport {
public:
    explicit PagedReport(platform::ReportCanvas& c) : c_(c)
    {
        h_ = c_.TextHeight("Hi there!") + 15;
        w_ = c_.TextWidth("H");
    }
    int W() const { return w_; }
    int H() const { return h_; }
    int line = 0;

    void Headings(const std::vector<Heading>& hs, int atLine)
    {
        for (const Heading& hd : hs)
            c_.TextOut(hd.Col * w_, atLine * h_, hd.Text);
    }
    // Breaks the page when line no longer fits; then writes the headings
    // again (bold, two points larger) at line 4 and goes on at line 6.
    void Room(const std::vector<Heading>& hs)
    {
        if (c_.PageHeight() - 4 * h_ >= line * h_)
            return;
        PageNumber();
        c_.NewPage();
        ++page_;
        PageNumber();
        if (hs.empty()) {
            line = 4;
            return;
        }
        c_.SetBold(true);
        c_.ChangeFontSize(2);
        Headings(hs, 4);
        c_.ChangeFontSize(-2);
        c_.SetBold(false);
        line = 6;
    }
    void Text(int col, const std::string& s) { c_.TextOut(col * w_, line * h_, s); }

private:
    void PageNumber() { c_.TextOut(c_.PageWidth() / 2 - 3 * w_, c_.PageHeight() - 2 * h_, "Page " + std::to_string(page_)); }

    platform::ReportCanvas& c_;
    int h_ = 0;
    int w_ = 0;
    int page_ = 1;
};

// Title and first headings: bold, five points up for the title, three down
// for the headings at line 8, then plain at the base size from line 10.
void Title(platform::ReportCanvas& c, PagedReport& r, int titleCol, const char* title,
           const std::vector<Heading>& hs)
{
    c.SetBold(true);
    c.ChangeFontSize(5);
    c.TextOut(titleCol * r.W(), 4 * r.H(), title);
    c.ChangeFontSize(-3);
    r.Headings(hs, 8);
    c.ChangeFontSize(-2);
    c.SetBold(false);
    r.line = 10;
}

} // namespace

bool PrintErrorLog(platform::ReportCanvas& canvas, const std::vector<LogRow>& rows)
{
    PagedReport r(canvas);
    const std::vector<Heading> headings{{12, "Task"}, {20, "Error code description"}, {75, "Line"}};
    if (!canvas.Begin())
        return false;
    Title(canvas, r, 20, kErrorLogJobTitle, headings);
    for (std::size_t i = 0; i < rows.size() && rows[i].Task != "0"; ++i) {
        r.Room(headings);
        r.Text(8, std::to_string(i + 1));
        r.Text(12, rows[i].Task);
        r.Text(20, rows[i].Description);
        r.Text(75, rows[i].Line);
        ++r.line;
    }
    canvas.End();
    return true;
}

bool PrintModuleIds(platform::ReportCanvas& canvas, const std::vector<ModIdRow>& standard,
                    const std::vector<ModIdRow>& extended)
{
    PagedReport r(canvas);
    const std::vector<Heading> headings{
        {8, "Module"}, {16, "Type"}, {23, "Revision"}, {32, "Field Rev."}, {43, "Serial Number"}};
    const std::vector<Heading> extHeadings{{8, "Position"}, {17, "Value"}};
    if (!canvas.Begin())
        return false;
    Title(canvas, r, 17, kModuleIdJobTitle, headings);
    for (const ModIdRow& row : standard) {
        if (!ListedStandard(row))
            continue;
        r.Room(headings);
        r.Text(8, row.Caption);
        for (std::size_t i = 0; i < 4; ++i)
            r.Text(17 + 9 * static_cast<int>(i), Column(row, i));
        ++r.line;
    }
    bool first = true;
    for (const ModIdRow& row : extended) {
        if (!ListedExtended(row))
            continue;
        if (first) {
            r.line += 2;
            r.Room({}); // the section's headings go to the next page whole
            canvas.SetBold(true);
            canvas.ChangeFontSize(2);
            r.Headings(extHeadings, r.line);
            canvas.ChangeFontSize(-2);
            canvas.SetBold(false);
            r.line += 2;
            first = false;
        }
        r.Room(extHeadings);
        r.Text(8, row.Caption);
        r.Text(17, Column(row, 0));
        ++r.line;
    }
    canvas.End();
    return true;
}

} // namespace kyd::app

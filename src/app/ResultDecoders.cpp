#include "app/ResultDecoders.h"

#include "app/Denomination.h"
#include "link/StatusTexts.h"
#include "link/TextPos.h"


namespace kyd::app {

namespace {

using link::CharAt;
using link::SubString;

bool AllDigits(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

// ---- last dispense status ----------------------------------------------

bool DecodeLastStatus(const link::FeederList& feeders, std::vector<LastStatusRow>& rows)
{
    // Every record is shown as the link parsed it: a count that was no
    // number reads -1.
    rows.clear();
    for (const auto& f : feeders)
        rows.push_back({std::to_string(f->Number), std::to_string(f->Count), f->Status});
    return true;
}

// ---- reject trace --------------------------------------------------------

std::string RejectTraceText(char code)
{
    static const char* const kTexts[10] = {
        "30 ->",          "31 Double Note",        "32 Internal Reject",
        "33 Long Note Sensor A", "34 Long Note Sensor B", "35 Short Note",
        "36 Incorrect Count",    "37 Thin Note",          "38 Skewed Note",
        "39 Notes Too Close"};
    if (code < '0' || code > '9')
        return " ";
    return kTexts[code - '0'];
}

void DecodeRejectTrace(const std::string& trace, std::vector<std::string>& lines)
{
    lines.clear();
    std::string t = trace;
    const std::size_t zero = t.find('0');
    if (zero != std::string::npos && zero + 1 < t.size()) {
        // The trace is a ring: its first end mark ('0') follows the newest
        // code. A second mark right after it means the ring has not wrapped.
        if (t[zero + 1] != '0')
            t = t.substr(zero + 1) + t.substr(0, zero + 1);
        else
            t.resize(zero + 1);
    }
    if (t == "0") {
        lines.push_back("No rejects has occured");
        return;
    }
    for (std::size_t i = 0; i < t.size(); ++i)
        lines.push_back(std::to_string(i + 1) + "\t" + RejectTraceText(t[i]));
}

// ---- cassette grid -------------------------------------------------------

void DecodeCassetteList(const link::FeederList& feeders, std::vector<GridRow>& rows)
{
    rows.assign(1, GridRow{"No", "Cassette Id", "Width", "Status"});
    for (const auto& f : feeders)
        rows.push_back({std::to_string(f->Number), f->Id, f->Width != 0 ? std::to_string(f->Width) : std::string(),
                        f->Status});
}

bool DecodeNoteSizes(const std::string& d, std::vector<GridRow>& rows)
{
    rows.assign(1, GridRow{"No", "Vertical", "Horizontal", "Denomination"});
    int n = 1;
    for (int s = 2; s < static_cast<int>(d.size()); s += 13, ++n) {
        // The sizes as the dispenser sent them.
        const std::string vertical = SubString(d, s + 7, 3);
        const std::string horizontal = SubString(d, s + 10, 3);
        const TDenomination denomination(SubString(d, s, 7));
        rows.push_back({std::to_string(n), vertical, horizontal, denomination.Valid ? denomination.Text : std::string()});
    }
    return true;
}

// ---- read-data window ----------------------------------------------------

bool DecodeProgramIds(const std::string& d, std::vector<std::string>& lines)
{
    lines.clear();
    for (int s = 2; s < static_cast<int>(d.size()); s += 11) {
        const std::string record = SubString(d, s, 11);
        if (record.size() < 5)
            break; // too short to name anything
        if (CharAt(d, s + 4) != '-')
            lines.push_back(SubString(d, s, 3) + ": " + SubString(d, s + 3, 4) + "-" + SubString(d, s + 7, 2) + "." +
                            SubString(d, s + 9, 2));
        else
            lines.push_back(SubString(d, s, 3) + ": " + SubString(d, s + 3, 8));
    }
    return true;
}

bool DecodeCurrencyCodes(const std::string& d, std::vector<std::string>& lines)
{
    lines.clear();
    int n = 1;
    for (int s = 2; s < static_cast<int>(d.size()); s += 3, ++n) {
        const std::string code = SubString(d, s, 3);
        if (code[0] == '-')
            continue; // an empty place
        lines.push_back(std::to_string(n) + "  " + code);
    }
    return true;
}

std::string RejectTableText(int code)
{
    static const char* const kTexts[24] = {
        "01 Notes bundle-rejected in the learning sequence",
        "02 More than one note",
        "03 Skewed Note",
        "04 Long Note at sensor A",
        "05 Long Note at sensor B",
        "06 Short Note at sensor A",
        "07 Short Note at sensor B",
        "08 Too Close to previous note.",
        "09 Notes rejected due to fatal status",
        "10 Unexpected note",
        "11 Thin Note",
        "12 Notes rejected due to failure moving diverter to stack",
        "13 Notes Too Close in Transport",
        "14 Notes Too Close in Diverter",
        "15 Notes rejected due to failure moving diverter to reject",
        "16 Notes single-rejected in the learning sequence",
        "17 Only for test purpose.",
        "18 Notes too late to Note Qualifier (Only for logging)",
        "19 Notes fed and rejected during Close Cassettes",
        "20 Notes overlapped sensor A",
        "21 Notes overlapped sensor B",
        "22 Unexpected note in reject sensor",
        "23 Rejected note on command",
        "24 Notes bundle-rejected due to single reject is full"};
    if (code < 1 || code > 24)
        return {};
    return kTexts[code - 1];
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

bool DecodeTable(const std::string& d, TableKind kind, int textBase, std::vector<std::string>& lines)
{
    lines.clear();
    for (int s = 2; s < static_cast<int>(d.size()); s += 5) {
        const std::string code = SubString(d, s, 2);
        // The count as the dispenser sent it.
        const std::string count = SubString(d, s + 2, 3);
        std::string text;
        if (kind == TableKind::Reject) {
            if (!AllDigits(code))
                return false;
            if (code.size() == 2)
                text = RejectTableText(link::DecimalOrMinusOne(code) + textBase);
        } else {
            // A code that is no hexadecimal number has no text; the line
            // is still shown.
            const int hi = HexDigit(CharAt(code, 1));
            const int lo = code.size() == 2 ? HexDigit(CharAt(code, 2)) : -1;
            const int n = hi * 16 + lo;
            // Only the dispenser's own status characters have texts here.
            if (hi >= 0 && lo >= 0 && n >= 48 && n <= 127)
                text = link::StatusCodeText(textBase + n);
        }
        lines.push_back(count + "\t" + text);
    }
    return true;
}

std::string CorruptedReplyText(const std::string& payload)
{
    return "Corrupted reply string from KYD:\n" + payload;
}

// ---- note counters -------------------------------------------------------

const std::vector<NoteCounterRow>& NoteCounterRows()
{
    static const std::vector<NoteCounterRow> kRows = {
        {303, "Total number of notes delivered"},
        {304, "Total number of notes rejected"},
        {305, "Total number of bundle rejects"},
        {308, "Total number of notes singel rejected"},
        {309, "Total number of notes bundle rejected"},
        {320, "Total number of transaction bundles"},
        {390, "Total number of bundle retracts"},
        {318, "Total number of notes delivered in HPF mode"},
        {319, "Total number of notes rejected in HPF mode"},
        {0, nullptr},
        {330, "Total number of notes delivered (Life Long)"},
        {331, "Total number of notes rejected (Life Long)"},
        {332, "Total number of bundle rejects (Life Long)"},
        {333, "Total number of transaction bundles(Life Long)"},
        {334, "Total number of bundle retracts (Life Long)"},
    };
    return kRows;
}

std::vector<std::string> NoteCounterHeading()
{
    return {"Item\tCount\tDescription", std::string(50, '=')};
}

std::string NoteCounterRule()
{
    return std::string(100, '-');
}

std::string NoteCounterLine(int item, const std::string& readData, const char* description)
{
    const std::string digits = SubString(readData, 2, 10);
    std::string count = "Error";
    if (AllDigits(digits)) {
        std::int64_t v = 0;
        for (char c : digits)
            v = v * 10 + (c - '0'); // ten digits: fits in 64 bits
        count = std::to_string(v);
    }
    return std::to_string(item) + "\t" + count + "\t" + description;
}

// ---- item editor ---------------------------------------------------------

namespace {

int ClampWidth(int width)
{
    return width < 1 ? 1 : width > 6 ? 6 : width;
}

} // namespace

std::string IntegerItemText(const std::string& payload, int width)
{
    return SubString(payload, 2, ClampWidth(width));
}

std::string IntegerItemMask(int width)
{
    return std::string("999999").substr(0, static_cast<std::size_t>(ClampWidth(width)));
}

// ---- input masks -----------------------------------------------------------

std::string QtInputMask(const std::string& mask)
{
    const std::size_t first = mask.find(';');
    const std::string body = mask.substr(0, first);
    std::string blank = " ";
    if (first != std::string::npos) {
        const std::size_t second = mask.find(';', first + 1);
        if (second != std::string::npos && second + 1 < mask.size())
            blank = mask.substr(second + 1, 1);
    }
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        switch (c) {
        case 'a': out += 'n'; break;
        case 'A': out += 'N'; break;
        case '9': out += '0'; break;
        case '0': out += '9'; break;
        case 'c': out += 'x'; break;
        case 'C': out += 'X'; break;
        case 'l': out += 'a'; break;
        case 'L': out += 'A'; break;
        case '\\':
            // A literal: the next character as it stands.
            if (i + 1 < body.size()) {
                out += '\\';
                out += body[++i];
            }
            break;
        default:
            // Anything else is a literal here; escape what Qt would read as
            // a mask character.
            if (std::string("AaNnXx90Dd#HhBb><!{}[]").find(c) != std::string::npos)
                out += '\\';
            out += c;
            break;
        }
    }
    return out + ";" + blank;
}

} // namespace kyd::app

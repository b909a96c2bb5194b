// The module reports: error log pages, module status and module ids decoded,
// edited and written back; the saved text compared with golden files; the
// printed layout on a recording canvas.
#include "app/ModuleReports.h"
#include "platform/report_canvas.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace kyd::app {
namespace {

std::string Golden(const char* name)
{
    std::ifstream in(std::string(KYD_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Row(const LogRow& r)
{
    return r.Caption + "|" + r.Task + "|" + r.Description + "|" + r.Line;
}

// Fixed metrics: text height 10 (line 25), character width 6, page
// 600 x 1000; every call is recorded.
class RecordingCanvas final : public platform::ReportCanvas {
public:
    std::vector<std::string> ops;
    int pages = 0;
    bool Begin() override { ++pages; ops.push_back("begin"); return true; }
    void End() override { ops.push_back("end"); }
    void NewPage() override { ++pages; ops.push_back("page"); }
    void SetBold(bool b) override { ops.push_back(b ? "bold" : "plain"); }
    void ChangeFontSize(int d) override { ops.push_back("size " + std::to_string(d)); }
    void TextOut(int x, int y, const std::string& t) override
    {
        ops.push_back(std::to_string(x) + "," + std::to_string(y) + " " + t);
    }
    int TextHeight(const std::string&) override { return 10; }
    int TextWidth(const std::string& t) override { return 6 * static_cast<int>(t.size()); }
    int PageWidth() const override { return 600; }
    int PageHeight() const override { return 1000; }
    bool Has(const std::string& op) const { return std::find(ops.begin(), ops.end(), op) != ops.end(); }
};

std::string Records(int n, int firstTask = 3)
{
    std::string s = "/";
    for (int i = 0; i < n; ++i)
        s += (firstTask < 10 ? "0" : "") + std::to_string(firstTask) + "01" + "00" + (i < 10 ? "0" : "") +
             std::to_string(i);
    return s;
}

TEST(ErrorLog, RecordsTasksAndNumberingAcrossPages)
{
    std::vector<LogRow> rows;
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "25990001" "20000007" "14990002", 0, rows), PageEnd::More);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(Row(rows[0]), "1|TRP|17  |0042"); // 417 has no text
    EXPECT_EQ(Row(rows[1]), "2|???|Unknown task: 25, error code: 99|0001");
    EXPECT_EQ(Row(rows[2]), "3|BCU|00  The BCU Control is OK|0007");
    EXPECT_EQ(Row(rows[3]), "4|DAT|99  |0002"); // 749 lies outside the task's texts

    rows.clear();
    EXPECT_EQ(DecodeErrorLogPage("/01010001" "04030123" "00000000" "03010001", 2, rows), PageEnd::End);
    ASSERT_EQ(rows.size(), 2u);
    // A task without texts of its own shows none (not a reply-status text).
    EXPECT_EQ(Row(rows[0]), "57|1|01  |0001");
    EXPECT_EQ(Row(rows[1]), "58|FDR|03  Low level in cassette|0123");

    rows.clear();
    EXPECT_EQ(DecodeErrorLogPage("/00000000", 0, rows), PageEnd::End);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(DecodeErrorLogPage("/", 1, rows), PageEnd::More);
    EXPECT_EQ(DecodeErrorLogPage("/x3010001", 0, rows), PageEnd::More); // not a number: an unknown task
    EXPECT_EQ(rows.back().Task, "???");

    // Cut short, or a known task with a code that is no number.
    EXPECT_EQ(DecodeErrorLogPage("/0301004", 0, rows), PageEnd::Corrupt);
    EXPECT_EQ(DecodeErrorLogPage("/03x10042", 0, rows), PageEnd::Corrupt);
}

TEST(ErrorLog, ModuleStatusAndTheTaskSearch)
{
    std::vector<LogRow> rows;
    EXPECT_TRUE(DecodeModuleStatus("/TRP 01 0000 BCU 00 0012 XYZ 03 9999 ", rows));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Row(rows[0]), "TRP|01|Transport clock pulses are missed|0000");
    // Only entries 0 to 14 are searched: BCU and unknown names take no text.
    EXPECT_EQ(Row(rows[1]), "BCU|00||0012");
    EXPECT_EQ(Row(rows[2]), "XYZ|03||9999");
    EXPECT_EQ(FindTask("DAT"), 14);
    EXPECT_EQ(FindTask("BCU"), -1);
    EXPECT_FALSE(DecodeModuleStatus("/TRP xx 0000 ", rows));
    EXPECT_FALSE(DecodeModuleStatus("/TRP 01 00", rows));
}

TEST(ErrorLog, AModuleStatusWhoseLastRecordLacksOnlyItsSeparatorIsWhole)
{
    std::vector<LogRow> rows;
    EXPECT_TRUE(DecodeModuleStatus("/TRP 00 0001 BCU 01 0002", rows));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Caption, "TRP");
    EXPECT_EQ(rows[0].Line, "0001");
    EXPECT_EQ(Row(rows[1]), "BCU|01||0002");
    // A single record, and the same ending after a whole one with its blank.
    rows.clear();
    EXPECT_TRUE(DecodeModuleStatus("/TRP 01 0000", rows));
    EXPECT_EQ(Row(rows.at(0)), "TRP|01|Transport clock pulses are missed|0000");
    // One character more missing cuts the value: still refused.
    rows.clear();
    EXPECT_FALSE(DecodeModuleStatus("/TRP 00 0001 BCU 01 000", rows));
    // Error log records carry a field up to their last character: a record
    // one short is cut, whatever it is.
    rows.clear();
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "0301004", 0, rows), PageEnd::Corrupt);
}

TEST(ErrorLog, TheRecordThatEndsTheLogNeedsNoMoreThanItsTaskNumber)
{
    std::vector<LogRow> rows;
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "00", 0, rows), PageEnd::End);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Row(rows[0]), "1|TRP|17  |0042");
    rows.clear();
    EXPECT_EQ(DecodeErrorLogPage("/00", 1, rows), PageEnd::End);
    EXPECT_TRUE(rows.empty());
    // Any other record shows all its fields: cut short, it is corrupt (an
    // unknown task too), as is a task number cut in two.
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "03", 0, rows), PageEnd::Corrupt);
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "25990", 0, rows), PageEnd::Corrupt);
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "0 ", 0, rows), PageEnd::Corrupt); // no number: an unknown task
    // A record that would start at the last character is not read.
    EXPECT_EQ(DecodeErrorLogPage("/03170042" "0", 0, rows), PageEnd::More);
}

TEST(ModuleIds, RecordsWidthsEditsAndWrittenRecords)
{
    std::vector<ModIdRow> rows;
    EXPECT_TRUE(DecodeModuleIds("/NFC1ABC01021234567CMC###00000000000", rows));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Caption, "NFC1");
    EXPECT_EQ(rows[0].Columns, (std::vector<std::string>{"ABC", "01", "02", "1234567"}));
    EXPECT_EQ(rows[1].Caption, "CMC");
    EXPECT_EQ(rows[1].Columns[0], "###");
    EXPECT_FALSE(DecodeModuleIds("/CMC0010101234", rows));

    ModIdRow& std = rows[0];
    ApplyModIdEdit(std, {"7", "123", "", "42"});
    EXPECT_EQ(ModIdRecord(std), "NFC1" "007" "12" "00" "0000042");

    std::vector<ModIdRow> ext;
    EXPECT_TRUE(DecodeExtendedIds("/0001ABCDEFGHIJKLMN0002##############", ext));
    ASSERT_EQ(ext.size(), 2u);
    EXPECT_TRUE(ext[0].Extended());
    ApplyModIdEdit(ext[0], {"AB"});
    EXPECT_EQ(ModIdRecord(ext[0]), "0001" + std::string(12, ' ') + "AB");
    EXPECT_FALSE(DecodeExtendedIds("/0001ABC", ext));

    EXPECT_EQ(PadField("abcdef", 3, '0'), "abc");
    EXPECT_EQ(PadField("", 2, '0'), "00");
}

std::vector<LogRow> LogRows(int n)
{
    std::vector<LogRow> rows;
    for (int page = 0; page * kErrorLogPageRecords < n; ++page) {
        const int count = std::min(kErrorLogPageRecords, n - page * kErrorLogPageRecords);
        EXPECT_NE(DecodeErrorLogPage(Records(count, 3 + page), page, rows), PageEnd::Corrupt);
    }
    return rows;
}

TEST(Reports, SavedTextMatchesTheGoldenFiles)
{
    std::vector<LogRow> log;
    DecodeErrorLogPage("/03170042" "25990001" "04030123" "00000000", 0, log);
    EXPECT_EQ(ErrorLogReport(log), Golden("golden_module_error_log.txt"));

    std::vector<ModIdRow> standard, extended;
    DecodeModuleIds("/CMC0010100A123456NFC1ABC01021234567FDR###000000000", standard);
    DecodeExtendedIds("/0001ABCDEFGHIJKLMN0002##############0003   SERIAL-0042", extended);
    EXPECT_EQ(ModuleIdReport(standard, extended), Golden("golden_module_id.txt"));
    // Without extended values, no extended part.
    EXPECT_EQ(ModuleIdReport(standard, {}).find("Extended"), std::string::npos);
}

TEST(Reports, ErrorLogPrintBreaksPagesAndNumbersThem)
{
    RecordingCanvas one;
    PrintErrorLog(one, LogRows(3));
    EXPECT_EQ(one.pages, 1);
    EXPECT_TRUE(one.Has("120,100 KYDTest Module Error Log")); // (20w, 4h)
    EXPECT_TRUE(one.Has("72,200 Task"));                       // line 8
    EXPECT_TRUE(one.Has("48,250 1"));                          // first row at line 10
    EXPECT_TRUE(one.Has("450,300 0002"));                      // its line column at 75w
    for (const std::string& op : one.ops)
        EXPECT_EQ(op.find("Page "), std::string::npos) << op;

    // Rows at lines 10 to 36 fit on a page of 1000 (foot margin 4 lines).
    RecordingCanvas many;
    PrintErrorLog(many, LogRows(60));
    EXPECT_EQ(many.pages, 3);
    EXPECT_TRUE(many.Has("48,900 27"));
    EXPECT_TRUE(many.Has("282,950 Page 1")); // (600/2 - 3w, 1000 - 2h)
    EXPECT_TRUE(many.Has("282,950 Page 2"));
    EXPECT_TRUE(many.Has("282,950 Page 3"));
    EXPECT_TRUE(many.Has("72,100 Task"));    // headings again at line 4
    EXPECT_TRUE(many.Has("48,150 28"));      // and the rows go on at line 6
    EXPECT_EQ(many.ops.back(), "end");
}

TEST(Reports, ModuleIdPrintSkipsEmptyPositionsAndBreaksLongLists)
{
    std::vector<ModIdRow> standard, extended;
    DecodeModuleIds("/CMC0010100A123456FDR###000000000", standard);
    DecodeExtendedIds("/0001ABCDEFGHIJKLMN0002##############", extended);
    RecordingCanvas one;
    PrintModuleIds(one, standard, extended);
    EXPECT_EQ(one.pages, 1);
    EXPECT_TRUE(one.Has("102,100 KYDTest Module Id")); // (17w, 4h)
    EXPECT_TRUE(one.Has("48,250 CMC"));
    EXPECT_TRUE(one.Has("264,250 A123456"));  // serial at 44w
    EXPECT_TRUE(one.Has("48,325 Position"));  // two lines down
    EXPECT_TRUE(one.Has("48,375 0001"));
    EXPECT_FALSE(one.Has("48,275 FDR"));
    EXPECT_FALSE(one.Has("48,400 0002"));

    // More rows than a page holds are not lost.
    std::string payload = "/";
    for (int i = 0; i < 40; ++i)
        payload += "F" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "0010100A123456";
    standard.clear();
    DecodeModuleIds(payload, standard);
    RecordingCanvas many;
    PrintModuleIds(many, standard, extended);
    EXPECT_EQ(many.pages, 2);
    EXPECT_TRUE(many.Has("48,150 F27"));
    EXPECT_TRUE(many.Has("282,950 Page 2"));
}

} // namespace
} // namespace kyd::app

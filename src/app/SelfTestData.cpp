#include "app/SelfTestData.h"

#include "app/Denomination.h"
#include "link/TextPos.h"

namespace kyd::app {

namespace {

using link::CharAt;
using link::SubString;

// Sets text from the field at pos (count characters) when the payload
// reaches it; leaves it as it was otherwise.
void Field(const std::string& p, int pos, int count, std::string& text)
{
    if (pos <= static_cast<int>(p.size()))
        text = SubString(p, pos, count);
}

void State(const std::string& p, int pos, SensorRow& row, bool dash, const char* t0 = nullptr,
           const char* t1 = nullptr)
{
    if (pos <= static_cast<int>(p.size()))
        SetSensorState(row, CharAt(p, pos), dash, t0, t1);
}

std::vector<SensorRow> Rows(std::initializer_list<std::pair<const char*, const char*>> rows)
{
    std::vector<SensorRow> v;
    for (const auto& [caption, range] : rows)
        v.push_back({caption, "", kNoImage, "", range});
    return v;
}

} // namespace

std::string SensorStateText(int state)
{
    static const char* const kTexts[5] = {"Not obstructed", "Obstructed", "Error", "Warning", "Not present"};
    return state >= 0 && state < 5 ? kTexts[state] : "";
}

void SetSensorState(SensorRow& row, char c, bool dashAllowed, const char* text0, const char* text1)
{
    int v = -1;
    if (c >= '0' && c <= '4')
        v = c - '0';
    else if (c == '-' && dashAllowed)
        v = 4;
    if (v < 0) {
        row.State = c == '\0' ? std::string() : std::string(1, c);
        row.Image = kNoImage;
        return;
    }
    row.Image = v;
    if (v == 0 && text0)
        row.State = text0;
    else if (v == 1 && text1)
        row.State = text1;
    else
        row.State = SensorStateText(v);
}

FeederPage NewFeederPage()
{
    FeederPage page;
    page.Rows = Rows({{"Exit Sensor", ""},
                      {"Empty Sensor", ""},
                      {"Pressure Sensor", ""},
                      {"NC Shutter Sensor 1", ""},
                      {"NC Shutter Sensor 2", ""},
                      {"NC Shutter Sensor 3", ""},
                      {"Cassette present Sensor", ""},
                      {"Cassette low level Sensor", ""},
                      {"Cassette lid/lock Sensor", ""},
                      {"NC Shutter solenoid Sensor", ""},
                      {"NC Lid solenoid Sensor", ""}});
    return page;
}

SensorPage NewStackPresenterPage()
{
    return {Rows({{"BOU Exit Sensor", "(0-31)"},
                  {"BOU Empty Sensor", "(0-31)"},
                  {"BCU Front service deliver pos.", ""},
                  {"BCU Rear service deliver pos.", ""},
                  {"BCU Home Sensor", ""},
                  {"BCU Reject Sensor", ""},
                  {"Spare", ""},
                  {"Shutter open Sensor", ""},
                  {"Shutter close Sensor", ""},
                  {"ND Reject exit Sensor", "(0-7)"},
                  {"Reject Vault presens Sensor", ""},
                  {"RV Shutter closed Sensor", ""},
                  {"RV Shutter single accept Sensor", ""},
                  {"RV Shutter Stack accept Sensor", ""},
                  {"RV Shutter Retract Sensor", ""},
                  {"Cassette lid/lock Sensor", ""},
                  {"Lid solenoid status Sensor", ""}})};
}

SensorPage NewNoteTransportPage()
{
    return {Rows({{"Note transport Sensor", "(0-7)"}, {"Throat  Sensor", "(0-7)"}, {"Reject Tray presens Sensor", ""}})};
}

void DecodeNoteQualifier(const std::string& p, NoteQualifierPage& page)
{
    State(p, 1, page.Clock, false);
    Field(p, 2, 3, page.Clock.Calibration);
    page.Denominations.clear();
    const int size = static_cast<int>(p.size());
    for (int s = 5; s < size; s += 21) {
        const TDenomination d(SubString(p, s, 7));
        if (!d.Valid)
            continue;
        DenominationRow row{d.Text, {}};
        static const int kOffsets[6][2] = {{7, 3}, {10, 1}, {11, 3}, {14, 3}, {17, 1}, {18, 3}};
        for (int i = 0; i < 6; ++i)
            row.Values[static_cast<std::size_t>(i)] = SubString(p, s + kOffsets[i][0], kOffsets[i][1]);
        page.Denominations.push_back(std::move(row));
    }
}

void DecodeFeeder(const std::string& p, FeederPage& page)
{
    if (page.Rows.size() != 11)
        page = NewFeederPage();
    auto& r = page.Rows;
    State(p, 1, r[0], true);
    State(p, 2, r[1], true, "NC Not Empty", "NC Empty");
    State(p, 3, r[2], true, "Low pressure", "Normal pressure");
    State(p, 4, r[3], true);
    State(p, 5, r[4], true);
    State(p, 6, r[5], true);
    State(p, 7, r[6], true, "No Cassette", "Cassette present");
    State(p, 8, r[7], true, "Low level", "Not low level");
    State(p, 9, r[8], true, "Lid closed & locked", "Lid not closed");
    State(p, 10, r[9], true, "Solenoide inactive", "Solenoide active");
    State(p, 11, r[10], true, "Solenoide inactive", "Solenoide active");

    const bool longForm = p.size() > 28;
    auto calibration = [&p](SensorRow& row, int pos, int count, const char* range) {
        if (pos > static_cast<int>(p.size()))
            return;
        row.Calibration = SubString(p, pos, count);
        row.Range = range;
    };
    std::string denomination;
    if (longForm) {
        calibration(r[0], 12, 2, "(0-15)");
        calibration(r[1], 14, 2, "(0-15)");
        calibration(r[2], 16, 1, "(0-7)");
        calibration(r[3], 17, 1, "(0-7)");
        Field(p, 18, 3, page.Vertical);
        Field(p, 21, 3, page.Horizontal);
        denomination = SubString(p, 24, 7);
    } else {
        calibration(r[0], 12, 1, "(0-7)");
        calibration(r[1], 13, 1, "(0-7)");
        calibration(r[2], 14, 1, "(0-3)");
        if (CharAt(p, 15) != '-')
            calibration(r[3], 15, 1, "(0-3)");
        Field(p, 16, 3, page.Vertical);
        Field(p, 19, 3, page.Horizontal);
        denomination = SubString(p, 22, 7);
    }
    const TDenomination d(denomination);
    page.Denomination = d.Valid ? d.Text : std::string();
}

void DecodeStackPresenter(const std::string& p, SensorPage& page)
{
    if (page.Rows.size() != 17)
        page = NewStackPresenterPage();
    auto& r = page.Rows;
    static const char* const kAt[2] = {"Not at sensor", "At sensor"};
    for (int i = 0; i < 9; ++i) {
        const bool bcu = i >= 2 && i <= 5;
        State(p, i + 1, r[static_cast<std::size_t>(i)], true, bcu ? kAt[0] : nullptr, bcu ? kAt[1] : nullptr);
    }
    Field(p, 10, 2, r[0].Calibration);
    Field(p, 12, 2, r[1].Calibration);
    State(p, 14, r[9], true);
    Field(p, 15, 1, r[9].Calibration);
    for (int i = 10; i < 17; ++i) {
        const char* t0 = nullptr;
        const char* t1 = nullptr;
        if (i == 10) {
            t0 = "RV not present";
            t1 = "RV present";
        } else if (i == 15) {
            t0 = "Lid closed & locked";
            t1 = "Lid not closed";
        } else if (i == 16) {
            t0 = "Solenoide inactive";
            t1 = "Solenoide active";
        }
        State(p, i + 6, r[static_cast<std::size_t>(i)], true, t0, t1);
    }
}

void DecodeNoteTransport(const std::string& p, SensorPage& page)
{
    if (page.Rows.size() != 3)
        page = NewNoteTransportPage();
    auto& r = page.Rows;
    State(p, 1, r[0], false);
    State(p, 2, r[1], false);
    // The reject tray: any state but 0 means it is there.
    State(p, 3, r[2], false, "RT not present", "RT present");
    if (r[2].Image >= 2)
        r[2].State = "RT present";
    Field(p, 4, 1, r[0].Calibration);
    Field(p, 5, 1, r[1].Calibration);
}

void BlankFeeder(FeederPage& page)
{
    if (page.Rows.size() != 11)
        page = NewFeederPage();
    for (std::size_t i = 0; i < page.Rows.size(); ++i) {
        SensorRow& row = page.Rows[i];
        row.State.clear();
        row.Image = kNoImage;
        if (i < 4) {
            row.Calibration.clear();
            row.Range.clear();
        }
    }
    page.Denomination.clear();
    page.Vertical.clear();
    page.Horizontal.clear();
}

std::string SelfTestCommand(int selector)
{
    return selector == -1 ? std::string("GA") : "G" + std::to_string(selector);
}

} // namespace kyd::app

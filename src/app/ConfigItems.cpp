#include "app/ConfigItems.h"

#include "link/TextPos.h"

#include <algorithm>

namespace kyd::app {

namespace {

using K = ItemKind;
using D = ItemDisplay;

ConfigItem Integer(int n, const char* caption, const char* title, const char* range, int width)
{
    return {n, K::Integer, caption, title, range, width, D::None};
}

ConfigItem Choice(int n, const char* caption, const char* title, const char* options)
{
    return {n, K::Choice, caption, title, options, 0, D::None};
}

ConfigItem Show(int n, const char* caption, const char* title, D how)
{
    return {n, K::Display, caption, title, "", 0, how};
}

std::vector<ConfigItem> MakeItems()
{
    std::vector<ConfigItem> v = {
        Show(100, "Program ID's", "", D::ProgramIds),
        Integer(104, "Max. Notes", "Item 104 Max. notes per bundle", "Range: 1-100, Default: 100", 3),
        Show(118, "Currency Codes", "", D::CurrencyCodes),
        Choice(127, "Change Over", "Item 127 Change Over Method",
               "No change over(default)\nChange over on empty cassette"),
        Choice(201, "Feed Order", "Item 201 Feed Order", "In hopper order\nBiggest first(default)\nSmallest first"),
        Show(202, "Note Sizes", "", D::NoteSizes),
        Choice(203, "Auto Retract", "Item 203 Auto Retract", "No auto retract\nAuto retract enabled (default)"),
        Integer(204, "Retract Time-out", "Item 204 Retract time-out", "Range: 1-150, Default: 90", 3),
        Show(205, "Info", "", D::Message),
        Choice(206, "Shutter Emulation", "Item 206 Shutter Emulation",
               "No Shutter(default)\nShutter type 1\nShutter type 2"),
        Choice(207, "Software Lock", "Item 207 Software Lock flag", "Cleared (by power-on reset)\nSet"),
        Choice(208, "Move Forward", "Item 208 Move Froward and Hold",
               "Remain in stacking pos.(default)\nMove to hold pos.\nRemain but with special deliver"),
        Choice(209, "Throat Active", "Item 209 Throat Active Flag", "Reset\nThroat sensor has been active"),
        Choice(210, "Auto Retract Notes", "Item 210 Auto Retract with notes",
               "No notes retracted\nNotes have been retracted"),
        Choice(211, "Non Addressed", "Item 211 Non Addressed Feeders",
               "Never report status\nReport non-OK status(default)"),
        Choice(212, "Status on Close", "Item 212 Status on Close cmd",
               "Always report OK status (default)\nReport non-OK status"),
        Choice(214, "Self Test Data", "Item 214 Send Self Test Data option",
               "Compability mode (default)\nExtended mode"),
        Choice(223, "Clean on Close", "Item 223 Clean CRR on Close",
               "No Clean on every Close(default)\nClean on every Close"),
        Choice(224, "Deliver Timeout", "Item 224 Deliver timeout", "180 seconds (default)\n20 seconds"),
        Choice(225, "Mark Cassette", "Item 225 Mark Cassette with Diverter",
               "No Flip on Cassette in(default)\nFlip Diverter on Cassette in"),
        Integer(227, "Notes betw. Pressure", "Item 227 No Notes beween Pressure", "Range: 1-50, Default: 40", 3),
        Choice(228, "HPF on Open", "Item 228 HPF mode on Cassette open", "No HPF on open(default)\nHPF mode on open"),
        Integer(233, "Notes betw. Clean", "Item 233 No Notes betw CRR clean on Close",
                "0-2000(default),0 = No CRR clean", 4),
        Integer(235, "Feed Retries", "Item 235 Max Feed error Retries", "Range: 0-5, Default: 0 = 5 Retries)", 1),
        Choice(239, "Reset/Close Timeout", "Item 239 Reset/Close Cass Timeout",
               "180 s(default)\n20 s (Reset on Power up)"),
        Choice(240, "Detect Cass. Out", "Item 240 Detect Cassette out on Close",
               "No detection on close(default)\nDetect out on Close"),
        Choice(241, "Main Motor Start", "Item 241 Main Motor Start",
               "Normal Main Motor Start(default)\nSlow Main Motor Start"),
        Integer(244, "BCU Home Timeout", "Item 244 BCU Home timeout", "Range: 0-5, Default: 0", 3),
        Choice(247, "Fast Open/Close", "Item 247 Fast Open and Close",
               "Normal Open and Close(default)\nFast Open and Close"),
        Choice(248, "Open on Insert", "Item 248 Open Cassette on Insert", "No open on insert(default)\nOpen on insert"),
        Integer(249, "Close Retries", "Item 249 Max Close Retries", "Range: 0-5, Default: 0 = 5 Retries)", 1),
        Show(300, "Reject Table", "Item 300 Internal reject table", D::RejectTable),
        Show(301, "Status Table", "Item 301 Status code table", D::StatusTable),
        Show(313, "BCU Overheat", "", D::Message),
        Show(350, "NS Calibration", "", D::Message),
        Choice(395, "Reject Vault", "Item 395 Reject Vault", "Disabled\nEnabled (default)"),
        Choice(396, "Stack Presenter", "Item 396 Stack Presenter", "Disabled\nEnabled (default)"),
        Integer(398, "Reject Calculation", "Item 398 Configure reject calculation", "Range: 1-20, Default: 15", 2),
        Integer(399, "Max Single Reject", "Item 399 Max notes in single reject", "Range: 1-200, Default: 50", 3),
    };
    return v;
}

} // namespace

const std::vector<ConfigItem>& ConfigItems()
{
    static const std::vector<ConfigItem> items = MakeItems();
    return items;
}

const ConfigItem* FindConfigItem(int number)
{
    const auto& items = ConfigItems();
    const auto it = std::find_if(items.begin(), items.end(), [number](const ConfigItem& i) { return i.Number == number; });
    return it == items.end() ? nullptr : &*it;
}

const std::vector<ItemPageLayout>& ItemPageLayouts()
{
    static const std::vector<ItemPageLayout> pages = {
        {"InfoStatisticsTabSheet",
         "Info/Statistics",
         {{"InfoGroupBox", "Information", {100, 118, 202}}, {"StatisticsGroupBox", "Statistics", {300, 301}}}},
        {"ServiceItemTabSheet",
         "Service",
         {{"FlagsGroupBox", "Flags", {210, 209}}, {"HardwareGroupBox", "Hardware", {350, 313, 205}}}},
        {"KYDConfigTabSheet",
         "Configuration",
         {{"GeneralGroupBox", "General", {104, 206, 396, 244}},
          {"AdminGroupBox", "Admin", {211, 212, 214, 224, 207}},
          {"FeedingGroupBox", "Feeding", {201, 208, 127}},
          {"RejectRetractGroupBox", "Reject/Retract", {395, 398, 399, 203, 204}}}},
        {"KYDConfig2TabSheet",
         "Config2",
         {{"CassetteSettingsGroupBox", "Cassette Settings", {247, 248, 225, 240, 249}},
          {"FeederSettingsGroupBox", "Feeder Settings", {228, 227, 223, 233, 235}},
          {"GeneralSettingsGroupBox", "General Settings", {241, 239}}}},
    };
    return pages;
}

std::string ItemMessage(int item, const std::string& payload)
{
    switch (item) {
    case 205: return payload;
    case 313: return " BCU overheat counter: " + link::SubString(payload, 2, 5);
    case 350: return " NS Entry calibration value: " + link::SubString(payload, 2, 3) + "%";
    default: return {};
    }
}

bool ItemValueWritable(const std::string& value)
{
    return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ItemRange(const std::string& text, long& low, long& high)
{
    auto digits = [&text](std::size_t at, long& v) {
        std::size_t end = at;
        v = 0;
        while (end < text.size() && end - at < 9 && text[end] >= '0' && text[end] <= '9')
            v = v * 10 + (text[end++] - '0');
        return end;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || (i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9'))
            continue;
        const std::size_t dash = digits(i, low);
        if (dash < text.size() && text[dash] == '-' && dash + 1 < text.size() && text[dash + 1] >= '0' &&
            text[dash + 1] <= '9') {
            digits(dash + 1, high);
            return low <= high;
        }
    }
    return false;
}

std::string ItemRangeError(const std::string& value, const std::string& rangeText)
{
    long low = 0, high = 0;
    if (!ItemValueWritable(value) || !ItemRange(rangeText, low, high))
        return {};
    long v = 0;
    for (char c : value)
        v = v > high ? v : v * 10 + (c - '0'); // stops growing once above the range
    if (v >= low && v <= high)
        return {};
    return "Value " + value + " is outside the item's range: " + rangeText;
}

std::string ItemValueError(const std::string& value, int width)
{
    if (value.empty())
        return {};
    if (!ItemValueWritable(value))
        return "Value " + value + " is not a number: the item takes digits only";
    if (static_cast<int>(value.size()) > width)
        return "Value " + value + " is wider than the item's " + std::to_string(width) +
               (width == 1 ? " digit" : " digits");
    return {};
}

std::string ItemRangeQuestion(const std::string& rangeError)
{
    return rangeError + "\nWrite it all the same?";
}

} // namespace kyd::app

// The dispenser's configuration and data items as the main window's item
// pages show them: number, kind, title, range or option text, digit count,
// the page and group of each button, and what a read of each item shows.
// Data only; the pages in app/qt put it on screen.
#pragma once

#include <string>
#include <vector>

namespace kyd::app {

enum class ItemKind {
    Integer, // digits in the editor's integer mode, writable
    Choice,  // radio buttons in the editor's choice mode, writable
    Display, // shown in a window or a message, not editable
};

// How a display item is shown.
enum class ItemDisplay {
    None,          // an editable item
    ProgramIds,    // read-data window, program id records
    CurrencyCodes, // read-data window, currency codes
    NoteSizes,     // cassette information window, note-size table
    RejectTable,   // read-data window, reject table
    StatusTable,   // read-data window, status table
    Message,       // information message box (ItemMessage)
};

struct ConfigItem {
    int Number;
    ItemKind Kind;
    const char* Caption; // the button's caption
    const char* Title;   // the editor's title, the read-data window's caption
    const char* Text;    // range text (integer) or the options, one a line (choice)
    int Width;           // digits of an integer item
    ItemDisplay Display;
};

// Every item of the pages, in item number order.
const std::vector<ConfigItem>& ConfigItems();
// The item, or null when no page has it.
const ConfigItem* FindConfigItem(int number);

struct ItemGroup {
    const char* Name;    // the group box's object name
    const char* Caption; // its title
    std::vector<int> Items;
};

struct ItemPageLayout {
    const char* Name;    // the page's object name
    const char* Caption; // its tab caption
    std::vector<ItemGroup> Groups;
};

// The four item pages, in tab order: Info/Statistics, Service,
// Configuration, Config2.
const std::vector<ItemPageLayout>& ItemPageLayouts();

// The text of a display item shown in a message box (items 205, 313, 350).
std::string ItemMessage(int item, const std::string& payload);

// Whether a value the editor returned may be written: an integer field
// left empty or a choice with no option selected writes nothing.
bool ItemValueWritable(const std::string& value);

// The range an integer item's range text names: its first "low-high" pair
// ("Range: 1-100, Default: 100", "0-2000(default),..."). False when the
// text names none.
bool ItemRange(const std::string& rangeText, long& low, long& high);
// Empty when value (decimal digits) lies in the range the text names (or
// the text names none); else that it lies outside, with the range text.
// The range texts are informal (item 244 reads "0-5" with a width of 3):
// the editor asks before it writes such a value, it does not refuse it.
std::string ItemRangeError(const std::string& value, const std::string& rangeText);
// Empty when an integer item of width digits can carry value (an empty
// value writes nothing and is no error either); else why it cannot: it is
// not a number, or it is wider than the item's field.
std::string ItemValueError(const std::string& value, int width);
// The question asked before a value outside the range text is written.
std::string ItemRangeQuestion(const std::string& rangeError);
// What the editor says when it closed without a value to write.
inline constexpr const char* kNothingWritten = "Nothing was written: no value was given";

} // namespace kyd::app

// The simulated dispenser's items: configuration items, counters, the
// reject and status tables, the cassette items, module ids and the error log.
#include "sim/sim_core.h"

#include "sim/sim_text.h"

#include <algorithm>
#include <cctype>

namespace kyd::sim {

namespace {
constexpr int kErrorLogPageSize = 28;
} // namespace

using namespace text;

void SimCore::initItems()
{
    items_.clear();
    auto integer = [this](int item, int min, int max, int def, int width) {
        items_[item] = Item{Item::Integer, min, max, width, def, def};
    };
    auto choice = [this](int item, int count, int def) {
        items_[item] = Item{Item::Choice, 0, count - 1, 1, def, def};
    };
    auto action = [this](int item, int min, int max) {
        items_[item] = Item{Item::Action, min, max, 1, min, min};
    };
    integer(104, 1, 100, 100, 3);
    integer(204, 1, 150, 90, 3);
    integer(227, 1, 50, 40, 3);
    integer(233, 0, 2000, 2000, 4);
    integer(235, 0, 5, 0, 1);
    integer(244, 0, 5, 0, 3);
    integer(249, 0, 5, 0, 1);
    integer(398, 1, 20, 15, 2);
    integer(399, 1, 200, 50, 3);
    choice(127, 2, 0);
    choice(201, 3, 1);
    choice(203, 2, 1);
    choice(206, 3, 0);
    choice(207, 2, 0);
    choice(208, 3, 0);
    choice(209, 2, 0);
    choice(210, 2, 0);
    choice(211, 2, 1);
    choice(212, 2, 0);
    choice(214, 2, 0);
    choice(223, 2, 0);
    choice(224, 2, 0);
    choice(225, 2, 0);
    choice(228, 2, 0);
    choice(239, 2, 0);
    choice(240, 2, 0);
    choice(241, 2, 0);
    choice(247, 2, 0);
    choice(248, 2, 0);
    choice(395, 2, 1);
    choice(396, 2, 1);
    action(217, 1, 1);  // clean the note qualifier rollers
    action(218, 1, 8);  // clean the rollers of feeder n
    action(237, 0, 0);  // clear the non-volatile memory
    action(250, 0, 0);  // restore default settings
    action(310, 0, 0);  // clear statistics
    action(392, 0, 0);  // clear the note qualifier table
    action(393, 0, 2);  // move the BCU: home, reject, hold
    action(394, 0, 1);  // shutter: open, close
    items_[394].value = 1;
}

std::string SimCore::readData(std::string_view cmd) const
{
    std::string rest(cmd.substr(3));
    std::string param;
    if (auto slash = rest.find('/'); slash != std::string::npos) {
        param = rest.substr(slash + 1);
        rest.resize(slash);
    }
    if (!allDigits(rest))
        return ">";
    if (rest.size() == 4 && rest[0] == '9')
        return rest[1] > '8' ? ">" : readCassetteItem(rest[1] - '0', toInt(rest.substr(2)));
    if (rest.size() != 3)
        return ">";
    return readItem(toInt(rest), param);
}

std::string SimCore::writeData(std::string_view cmd)
{
    std::string rest(cmd.substr(3));
    auto slash = rest.find('/');
    if (slash == std::string::npos)
        return ">";
    std::string value = rest.substr(slash + 1);
    rest.resize(slash);
    if (!allDigits(rest))
        return ">";
    if (rest.size() == 4 && rest[0] == '9')
        return rest[1] > '8' ? ">" : writeCassetteItem(rest[1] - '0', toInt(rest.substr(2)), value);
    if (rest.size() != 3)
        return ">";
    return writeItem(toInt(rest), value);
}

std::string SimCore::itemValue(int item) const
{
    std::string r = readItem(item, "");
    return r.size() >= 2 && r[0] == '0' ? r.substr(2) : std::string();
}

long SimCore::counter(int item) const
{
    auto it = counters_.find(item);
    return it == counters_.end() ? -1 : it->second;
}

std::string SimCore::readItem(int item, const std::string& param) const
{
    if (auto it = items_.find(item); it != items_.end())
        return "0/" + digits(it->second.value, it->second.width);
    if (auto it = counters_.find(item); it != counters_.end())
        return "0/" + digits(it->second, 10);
    switch (item) {
    case 100: {
        std::string r = "0/CMC" + (config_.programId + "00000000").substr(0, 8);
        r += "SPC20230911NQC20221003BCU20230102";
        return r;
    }
    case 110: {
        if (param.empty())
            return moduleIds(0);
        if (param.size() != 1 || param[0] < '0' || param[0] > '3')
            return ">";
        return moduleIds(param[0] - '0');
    }
    case 118: {
        std::vector<std::string> currencies;
        for (int pos = 1; pos <= 8; ++pos) {
            const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
            std::string cur = c.denomination.substr(0, 3);
            if (c.fitted && c.present &&
                std::find(currencies.begin(), currencies.end(), cur) == currencies.end())
                currencies.push_back(cur);
        }
        while (currencies.size() < 4)
            currencies.push_back("---");
        std::string r = "0/";
        for (const auto& cur : currencies)
            r += cur;
        return r;
    }
    case 202: {
        std::string r = "0/";
        for (int pos = 1; pos <= 8; ++pos) {
            const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
            if (c.fitted && c.present)
                r += c.denomination + digits(c.height, 3) + digits(c.width, 3);
        }
        return r;
    }
    case 205: return "0/KYD dispenser simulator";
    case 300: {
        std::string r = "0/";
        for (const auto& [code, count] : rejectTable_)
            if (count > 0)
                r += digits(code, 2) + digits(count, 3);
        return r.size() > 2 ? r : "j"; // nothing counted yet: no data
    }
    case 301: {
        if (statusTable_.empty())
            return "j";
        std::string r = "0/";
        static const char hex[] = "0123456789ABCDEF";
        for (const auto& [status, count] : statusTable_) {
            auto u = static_cast<unsigned char>(status);
            r += hex[u >> 4];
            r += hex[u & 15];
            r += digits(count, 3);
        }
        return r;
    }
    case 311: {
        if (param.empty())
            return errorLogPage(0);
        if (!allDigits(param) || param.size() > 2)
            return ">";
        return errorLogPage(toInt(param));
    }
    case 313: return "0/00000";
    case 350: return "0/087";
    case 397: {
        std::string r = "0/";
        for (const char* task : {"TRP", "FDR", "PRS", "DIV", "QUA", "STK", "THR", "REJ", "DAT", "BCU"})
            r += std::string(task) + " 00 0000 ";
        return r;
    }
    default: return "8";
    }
}

std::string SimCore::writeItem(int item, const std::string& raw)
{
    if (item == 110)
        return writeModuleId(raw);
    // The item editor may leave blanks or mask characters around the digits.
    std::string value;
    for (char c : raw)
        if (c != ' ' && c != '_')
            value += c;
    if (auto it = counters_.find(item); it != counters_.end()) {
        if (value != "0")
            return ">";
        it->second = 0;
        return "0";
    }
    auto it = items_.find(item);
    if (it == items_.end())
        return "8";
    Item& it2 = it->second;
    if (!allDigits(value) || value.size() > 6)
        return ">";
    int v = toInt(value);
    if (v < it2.min || v > it2.max)
        return ">";
    if (it2.kind == Item::Action) {
        switch (item) {
        case 218:
            if (!cassettes_[static_cast<std::size_t>(v)].fitted)
                return ":";
            break;
        case 237: errorLog_.clear(); break;
        case 250: initItems(); return "0";
        case 310:
            for (auto& [n, count] : counters_)
                if (n < 330 || n > 334)
                    count = 0;
            rejectTable_.clear();
            statusTable_.clear();
            break;
        default: break;
        }
    }
    it2.value = v;
    return "0";
}

std::string SimCore::readCassetteItem(int pos, int item) const
{
    const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
    if (!c.fitted || !c.present)
        return pos == 0 ? "?" : "P";
    switch (item) {
    case 28: return "0/" + c.id;
    case 27: return pos == 0 ? "8" : "0/" + c.denomination;
    case 29: return pos == 0 ? "8" : "0/" + digits(c.height, 3) + digits(c.width, 3);
    default: return "8";
    }
}

std::string SimCore::writeCassetteItem(int pos, int item, const std::string& value)
{
    Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
    if (item != 27 && item != 28 && item != 29)
        return "8";
    if (pos == 0 && item != 28)
        return "8";
    if (!c.fitted || !c.present)
        return pos == 0 ? "?" : "P";
    switch (item) {
    case 28:
        if (value.size() > 8)
            return ">";
        c.id = value + std::string(8 - value.size(), ' ');
        return "0";
    case 27: {
        if (value.size() != 6 && value.size() != 7)
            return ">";
        for (int i = 0; i < 3; ++i)
            if (!std::isalpha(static_cast<unsigned char>(value[static_cast<std::size_t>(i)])) && value[static_cast<std::size_t>(i)] != '?')
                return ">";
        if (!allDigits(value.substr(3, 3)) || toInt(value.substr(3, 2)) < 1)
            return ">";
        c.denomination = value.size() == 7 ? value : value + " ";
        return "0";
    }
    default: // 29: height and width, three digits each
        if (value.size() != 6 || !allDigits(value))
            return ">";
        c.height = toInt(value.substr(0, 3));
        c.width = toInt(value.substr(3, 3));
        return "0";
    }
}

std::string SimCore::moduleIds(int page) const
{
    std::string r = "0/";
    if (page == 3) {
        for (const auto& [pos, value] : extendedIds_)
            r += pos + value;
        return r;
    }
    // Page 0: the controller boards; pages 1 and 2: four feeder boards each.
    std::size_t first = page == 0 ? 0 : 5 + 4 * static_cast<std::size_t>(page - 1);
    std::size_t last = page == 0 ? 5 : first + 4;
    for (std::size_t i = first; i < last && i < modules_.size(); ++i) {
        const ModuleId& m = modules_[i];
        r += m.name + m.type + m.rev + m.fieldRev + m.serial;
    }
    return r;
}

std::string SimCore::writeModuleId(const std::string& record)
{
    if (record.size() == 18 && allDigits(record.substr(0, 4))) {
        for (auto& [pos, value] : extendedIds_)
            if (pos == record.substr(0, 4)) {
                value = record.substr(4);
                return "0";
            }
        return ">";
    }
    const std::size_t m = record.compare(0, 3, "NFC") == 0 ? 4 : 3;
    if (record.size() != m + 14)
        return ">";
    for (ModuleId& mod : modules_)
        if (mod.name == record.substr(0, m)) {
            mod.type = record.substr(m, 3);
            mod.rev = record.substr(m + 3, 2);
            mod.fieldRev = record.substr(m + 5, 2);
            mod.serial = record.substr(m + 7, 7);
            return "0";
        }
    return ">";
}

std::string SimCore::errorLogPage(int page) const
{
    std::string r = "0/";
    const std::size_t first = static_cast<std::size_t>(page) * kErrorLogPageSize;
    const std::size_t last = first + kErrorLogPageSize;
    for (std::size_t i = first; i < last && i < errorLog_.size(); ++i) {
        const ErrorLogEntry& e = errorLog_[i];
        std::string line = (e.line + "0000").substr(0, 4);
        r += digits(e.task, 2) + digits(e.code, 2) + line;
    }
    if (errorLog_.size() < last)
        r += "00000000"; // end of the log
    return r;
}

} // namespace kyd::sim

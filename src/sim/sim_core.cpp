#include "sim/sim_core.h"

#include "sim/framing.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace kyd::sim {

namespace {

constexpr std::size_t kTraceSize = 20;
constexpr int kErrorLogPageSize = 28;

std::string digits(long value, int width)
{
    if (value < 0)
        value = 0;
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) > width)
        s = std::string(static_cast<std::size_t>(width), '9'); // saturate
    return std::string(static_cast<std::size_t>(width) - s.size(), '0') + s;
}

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int toInt(std::string_view s)
{
    int v = 0;
    for (char c : s)
        v = v * 10 + (c - '0');
    return v;
}

std::string last5(const std::string& id)
{
    std::string s = id;
    if (s.size() < 5)
        s.append(5 - s.size(), ' ');
    return s.substr(s.size() - 5);
}

const char* const kDefaultDenominations[8] = {"EUR101 ", "EUR201 ", "EUR501 ", "EUR102 ",
                                              "EUR202 ", "EUR502 ", "EUR050 ", "SEK102A"};

// Why a fed note is rejected: its code in the reject trace and in the
// reject table.
struct RejectReason {
    char trace;
    int table;
};
constexpr std::array<RejectReason, 8> kRejectReasons{{
    {'1', 2}, {'8', 3}, {'1', 2}, {'3', 4}, {'5', 6}, {'1', 2}, {'7', 11}, {'9', 8}}};

} // namespace

SimCore::SimCore(SimConfig config) : config_(std::move(config))
{
    powerOn();
}

void SimCore::powerOn()
{
    Cassette& rv = cassettes_[0];
    rv = Cassette{};
    rv.fitted = true;
    rv.present = true;
    rv.id = "RV000001";
    rv.denomination = "       ";
    for (int pos = 1; pos <= 8; ++pos) {
        Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
        c = Cassette{};
        c.fitted = pos <= config_.feeders;
        c.present = c.fitted;
        c.id = "NC00000" + std::to_string(pos);
        c.denomination = kDefaultDenominations[pos - 1];
        c.height = 62 + 5 * pos;
        c.width = 120 + 7 * pos;
        c.notes = c.present ? config_.notesPerCassette : 0;
    }
    stack_ = throat_ = throatChecksLeft_ = 0;
    teller_ = '0';
    lastDispense_.clear();
    trace_.assign(kTraceSize, '0');
    traceWrite_ = 0;
    fedNotes_ = 0;
    initItems();
    counters_.clear();
    for (int item : {303, 304, 305, 308, 309, 318, 319, 320, 390, 330, 331, 332, 333, 334})
        counters_[item] = 0;
    rejectTable_.clear();
    statusTable_.clear();
    errorLog_ = {{3, 2, "0142"}, {4, 5, "0310"}, {9, 3, "0077"}, {20, 0, "0015"}};
    modules_ = {{"CMC", "100", "03", "01", "1000123"},
                {"SPC", "210", "02", "00", "2000456"},
                {"NQC", "310", "05", "02", "3000789"},
                {"RVC", "410", "01", "00", "4000012"},
                {"BCU", "510", "02", "01", "5000345"}};
    for (int pos = 1; pos <= 8; ++pos) {
        if (cassettes_[static_cast<std::size_t>(pos)].fitted)
            modules_.push_back({"NFC" + std::to_string(pos), "600", "04", "00", "60000" + digits(pos, 2)});
        else
            modules_.push_back({"NFC" + std::to_string(pos), "###", "##", "##", "#######"});
    }
    extendedIds_ = {{"0001", "KYD-SIM-000001"}, {"0002", "CMC-HW-REV-0C "},
                    {"0003", std::string(14, '#')},  {"0004", std::string(14, '#')}};
    lastReply_.clear();
}

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

FrameResult SimCore::handleFrame(std::string_view frame)
{
    FrameResult r;
    if (frame.empty())
        return r;
    for (char c : frame)
        if (!isPrintable(c))
            return r;
    r.answered = true;
    if (!checksumOk(frame)) {
        r.reply = "7";
        countStatus('7');
        return r;
    }
    r.command = std::string(frame.substr(0, frame.size() - 2));
    r.reply = execute(r.command);
    return r;
}

std::string SimCore::execute(std::string_view cmd)
{
    std::string reply;
    const bool single = cmd.size() == 1;
    const char c = cmd.empty() ? '\0' : cmd[0];
    if (cmd.empty())
        reply = "8";
    else if (c == '1' || c == '2')
        reply = dispense(cmd);
    else if (c == '7' || c == '8')
        reply = openClose(cmd);
    else if (c == 'D')
        reply = retract(cmd);
    else if (c == 'G')
        reply = selfTest(cmd);
    else if (c == 'Z')
        reply = zCommand(cmd);
    else if (cmd.substr(0, 3) == "RD/")
        reply = readData(cmd);
    else if (cmd.substr(0, 3) == "WD/")
        reply = writeData(cmd);
    else if (!single)
        reply = "8";
    else {
        switch (c) {
        case '0': reply = reset(); break;
        case '3': reply = deliver(); break;
        case '4': reply = reject(); break;
        case '5': reply = cassetteIds(); break;
        case '6': reply = lastStatus(); break;
        case '9': reply = "0" + trace_; break;
        case ':': reply = checkThroat(); break;
        case 'A': reply = programId(); break;
        case 'Q': reply = statusCheck(); break;
        case 'K':
            return lastReply_.empty() ? std::string("e") : lastReply_;
        case ';': // start lock timer
        case '<': // alarm
        case '>': // configure
        case 'L': // define note size
            reply = "0";
            break;
        default: reply = "8"; break;
        }
    }
    countStatus(reply[0]);
    lastReply_ = reply;
    return reply;
}

bool SimCore::anyOpen() const
{
    for (int pos = 1; pos <= 8; ++pos)
        if (usable(pos))
            return true;
    return false;
}

bool SimCore::usable(int pos) const
{
    const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
    return c.fitted && c.present && c.state == CassetteState::Open;
}

void SimCore::countStatus(char status)
{
    // Successes and "no data" answers are not faults worth counting.
    if (status != '0' && status != 'j')
        ++statusTable_[status];
}

void SimCore::pushTrace(char code)
{
    trace_[traceWrite_] = code;
    traceWrite_ = (traceWrite_ + 1) % kTraceSize;
    trace_[traceWrite_] = '0';
}

void SimCore::rejectNotes(int n, bool bundle)
{
    if (n <= 0)
        return;
    cassettes_[0].notes += n;
    counters_[304] += n;
    counters_[331] += n;
    if (bundle) {
        counters_[305] += 1;
        counters_[332] += 1;
        counters_[309] += n;
    } else {
        counters_[308] += n;
    }
}

std::string SimCore::dispense(std::string_view cmd)
{
    if (cmd.size() < 6 || (cmd.size() - 2) % 4 != 0)
        return ">";
    std::vector<std::pair<int, int>> requests; // cassette, count
    std::set<int> seen;
    for (std::size_t i = 2; i < cmd.size(); i += 4) {
        char n = cmd[i];
        std::string_view count = cmd.substr(i + 1, 3);
        if (n < '1' || n > '8' || !allDigits(count))
            return ">";
        if (!seen.insert(n - '0').second)
            return ">";
        requests.emplace_back(n - '0', toInt(count));
    }

    const bool toReject = cmd[0] == '2' && cmd[1] == '9';
    std::vector<DispenseRecord> records;
    for (auto [n, count] : requests)
        records.push_back({n, '0', 0});
    auto reply = [&](char status, int delivered) {
        std::string r(1, status);
        r += cmd[0];
        r += cmd[1];
        r += digits(delivered, 3);
        for (const DispenseRecord& rec : records) {
            r += static_cast<char>('0' + rec.cassette);
            r += rec.status;
            r += digits(rec.notes, 3);
        }
        lastDispense_ = records;
        return r;
    };

    teller_ = cmd[1];
    if (throat_ > 0)
        return reply('M', 0);
    if (!anyOpen())
        return reply('3', 0);
    bool missing = false;
    for (DispenseRecord& rec : records)
        if (!usable(rec.cassette)) {
            rec.status = ':';
            missing = true;
        }
    if (missing)
        return reply(':', 0);
    int total = 0;
    for (auto [n, count] : requests)
        total += count;
    if (total == 0)
        return reply('>', 0);
    if (total + stack_ > items_[104].value)
        return reply('B', 0);

    int delivered = 0, rejected = 0;
    bool empty = false;
    for (std::size_t k = 0; k < requests.size(); ++k) {
        auto [n, want] = requests[k];
        Cassette& c = cassettes_[static_cast<std::size_t>(n)];
        int good = 0;
        while (good < want && c.notes > 0) {
            --c.notes;
            ++fedNotes_;
            if (config_.rejectEvery > 0 && fedNotes_ % config_.rejectEvery == 0) {
                ++rejected;
                // The reasons take turns, double notes most often.
                const auto turn = static_cast<std::size_t>(fedNotes_ / config_.rejectEvery - 1);
                const RejectReason& why = kRejectReasons[turn % kRejectReasons.size()];
                pushTrace(why.trace);
                ++rejectTable_[why.table];
            } else {
                ++good;
            }
        }
        records[k].notes = good;
        if (good < want) {
            records[k].status = '2';
            empty = true;
        }
        delivered += good;
    }
    rejectNotes(rejected, false);
    if (toReject) {
        rejectNotes(delivered, true);
        rejectTable_[23] += delivered;
    } else {
        stack_ += delivered;
    }
    char status = empty ? '2' : rejected > 0 ? '4' : '0';
    return reply(status, delivered);
}

std::string SimCore::deliver()
{
    if (stack_ == 0)
        return "8";
    if (throat_ > 0)
        return "M";
    throat_ = stack_;
    stack_ = 0;
    throatChecksLeft_ = config_.throatChecksToRemove;
    counters_[303] += throat_;
    counters_[330] += throat_;
    counters_[320] += 1;
    counters_[333] += 1;
    items_[209].value = 1;
    return "0";
}

std::string SimCore::reject()
{
    if (stack_ == 0)
        return "8";
    rejectNotes(stack_, true);
    rejectTable_[23] += stack_;
    stack_ = 0;
    return "0";
}

std::string SimCore::checkThroat()
{
    if (throat_ > 0 && throatChecksLeft_ > 0) {
        --throatChecksLeft_;
        return "M";
    }
    throat_ = 0; // the operator has taken the notes
    return "0";
}

std::string SimCore::retract(std::string_view cmd)
{
    if (cmd.size() != 3 || (cmd[1] != '0' && cmd[1] != '1') || cmd[2] != '0')
        return cmd.size() == 3 ? ">" : "8";
    if (throat_ == 0)
        return "<";
    int n = throat_;
    throat_ = 0;
    if (cmd[1] == '0')
        stack_ += n;
    else
        rejectNotes(n, true);
    counters_[390] += 1;
    counters_[334] += 1;
    items_[210].value = 1;
    return "0";
}

std::string SimCore::reset()
{
    if (stack_ > 0) {
        rejectNotes(stack_, true);
        stack_ = 0;
    }
    return "0";
}

std::string SimCore::cassetteIds() const
{
    std::string r = "0";
    for (int pos = 1; pos <= 8; ++pos) {
        const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
        if (!c.fitted || !c.present)
            continue;
        r += static_cast<char>('0' + pos);
        r += c.notes == 0 ? '2' : c.notes <= config_.lowLevel ? '1' : '0';
        r += last5(c.id);
    }
    return r;
}

std::string SimCore::lastStatus() const
{
    std::string r = "0";
    if (lastDispense_.empty()) {
        // Nothing dispensed since power-on (or since the status was
        // cleared): every cassette in place reports itself idle.
        for (int pos = 1; pos <= 8; ++pos) {
            const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
            if (c.fitted && c.present)
                r += static_cast<char>('0' + pos) + std::string("0000");
        }
        return r;
    }
    for (const DispenseRecord& rec : lastDispense_) {
        r += static_cast<char>('0' + rec.cassette);
        r += rec.status;
        r += digits(rec.notes, 3);
    }
    return r;
}

std::string SimCore::openClose(std::string_view cmd)
{
    const bool open = cmd[0] == '8';
    if (cmd.size() == 1) {
        bool any = false;
        for (int pos = 0; pos <= 8; ++pos) {
            Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
            if (!c.fitted || !c.present)
                continue;
            c.state = open ? CassetteState::Open : CassetteState::Closed;
            any = any || pos > 0;
        }
        return open && !any ? ":" : "0";
    }
    if (cmd.size() != 3)
        return "8";
    const char n = cmd[1], m = cmd[2];
    if (n < '0' || n > '8')
        return ">";
    CassetteState target;
    if (open && m == '1')
        target = CassetteState::Open;
    else if (open && m == '0')
        target = CassetteState::Latched;
    else if (!open && m == '1')
        target = CassetteState::Closed;
    else if (!open && m == '2')
        target = CassetteState::Released;
    else
        return ">";
    Cassette& c = cassettes_[static_cast<std::size_t>(n - '0')];
    if (!c.fitted || !c.present)
        return n == '0' ? "?" : ":";
    c.state = target;
    return "0";
}

std::string SimCore::programId() const
{
    std::string id = config_.programId;
    if (id.size() < 8)
        id = std::string(8 - id.size(), '0') + id;
    return "00" + (config_.longProgramId ? id : id.substr(2));
}

std::string SimCore::statusCheck() const
{
    std::string r = "0";
    // Reject vault record.
    const Cassette& rv = cassettes_[0];
    r += '0';
    r += rv.present ? '0' : '?';
    r += !rv.present ? '1' : rv.state == CassetteState::Open ? '6' : '2';
    r += rv.present ? "00" : "03";
    r += last5(rv.id);
    for (int pos = 1; pos <= 8; ++pos) {
        const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
        r += static_cast<char>('0' + pos);
        if (!c.fitted) {
            r += "0000     ";
            continue;
        }
        if (!c.present) {
            r += ":101     ";
            continue;
        }
        r += c.notes == 0 ? '2' : c.notes <= config_.lowLevel ? '1' : '0';
        switch (c.state) {
        case CassetteState::Closed: r += '3'; break;
        case CassetteState::Latched: r += '4'; break;
        case CassetteState::Released: r += '2'; break;
        case CassetteState::Open: r += '5'; break;
        }
        r += c.notes == 0 ? "07" : c.notes <= config_.lowLevel ? "03" : "00";
        r += last5(c.id);
    }
    r += "00000000000000"; // seven tasks, all well
    return r;
}

std::string SimCore::selfTest(std::string_view cmd) const
{
    if (cmd == "GA") {
        std::string r = "00120";
        std::set<std::string> done;
        for (int pos = 1; pos <= 8; ++pos) {
            const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
            if (!c.fitted || !c.present || !done.insert(c.denomination).second)
                continue;
            r += c.denomination + "0503110" + "0523108";
        }
        return r;
    }
    if (cmd.size() != 2 || cmd[1] < '0' || cmd[1] > '9')
        return "8";
    const int sel = cmd[1] - '0';
    if (sel == 0) {
        const Cassette& rv = cassettes_[0];
        const bool rvOpen = rv.present && rv.state == CassetteState::Open;
        std::string r = "0";
        r += stack_ > 0 ? '1' : '0'; // BOU exit
        r += '0';                     // BOU empty
        r += "0010";                  // BCU front, rear, home, reject
        r += '0';                     // spare
        r += items_.at(394).value == 0 ? "10" : "01"; // shutter open / closed
        r += "1215";                  // BOU calibrations
        r += "03";                    // ND reject exit state and calibration
        r += rv.present ? '1' : '0';
        r += rvOpen ? '0' : '1';      // RV shutter closed
        r += '0';                     // single accept
        r += rvOpen ? '1' : '0';      // stack accept
        r += "000";                   // retract, lid/lock, lid solenoid
        return r;
    }
    if (sel == 9)
        return std::string("00") + (throat_ > 0 ? '1' : '0') + "145";
    const Cassette& c = cassettes_[static_cast<std::size_t>(sel)];
    if (!c.fitted)
        return "8";
    const bool open = c.present && c.state == CassetteState::Open;
    std::string r = "0";
    r += '0';                                                   // exit
    r += !c.present ? '-' : c.notes == 0 ? '1' : '0';           // empty
    r += !c.present ? '-' : '1';                                // pressure
    r += open ? "111" : "000";                                  // shutters 1..3
    r += c.present ? '1' : '0';                                 // cassette present
    r += !c.present ? '-' : c.notes <= config_.lowLevel ? '0' : '1'; // low level
    r += c.state == CassetteState::Released ? '1' : '0';        // lid/lock
    r += "00";                                                  // solenoids
    const bool extended = items_.at(214).value == 1;
    r += extended ? "07093" : "562";
    r += extended ? "2" : "1";
    r += digits(c.height, 3);
    r += digits(c.width, 3);
    r += c.present ? c.denomination : std::string(7, ' ');
    return r;
}

std::string SimCore::zCommand(std::string_view cmd)
{
    if ((cmd.substr(0, 2) == "Z1" || cmd.substr(0, 2) == "Z2") && cmd.size() == 4)
        return "0"; // test mode, software switch
    if ((cmd.substr(0, 2) == "Z8" || cmd.substr(0, 2) == "Z9") && cmd.size() == 3) {
        if (cmd[1] == '9')
            for (auto& [item, value] : counters_)
                if (item < 330 || item > 334)
                    value = 0;
        return "0";
    }
    if (cmd == "Z3") {
        lastDispense_.clear();
        return "0";
    }
    if (cmd == "Z5") { // restart: the stack is emptied into the reject vault
        reset();
        return "0";
    }
    if (cmd == "Z6F") {
        initItems();
        return "0";
    }
    if (cmd == "ZB")
        return "0KYDSIM01";
    return "8";
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

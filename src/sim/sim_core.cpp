#include "sim/sim_core.h"

#include "sim/framing.h"
#include "sim/sim_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace kyd::sim {

namespace {

constexpr std::size_t kTraceSize = 20;

// Consumes one use of a count (0 never, -1 always, n the next n).
bool takeCount(int& count)
{
    if (count == 0)
        return false;
    if (count > 0)
        --count;
    return true;
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

using namespace text;

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
    rv.notes = config_.rejectVaultNotes;
    for (int pos = 1; pos <= 8; ++pos) {
        Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
        c = Cassette{};
        c.fitted = feederFitted(pos);
        c.present = c.fitted;
        c.id = "NC00000" + std::to_string(pos);
        c.denomination = kDefaultDenominations[pos - 1];
        c.height = 62 + 5 * pos;
        c.width = 120 + 7 * pos;
        c.notes = c.present ? config_.notesPerCassette : 0;
        auto listed = [pos](const std::vector<int>& v) { return std::find(v.begin(), v.end(), pos) != v.end(); };
        if (listed(config_.emptyCassettes))
            c.notes = 0;
        c.exitJammed = c.fitted && listed(config_.jammedExitSensors);
    }
    stack_ = throat_ = throatChecksLeft_ = 0;
    throatLeft_ = false;
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
    takeNotesWhenDue();
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

bool SimCore::feederFitted(int pos) const
{
    if (pos < 1 || pos > 8)
        return false;
    if (config_.fittedFeeders.empty())
        return pos <= config_.feeders;
    return std::find(config_.fittedFeeders.begin(), config_.fittedFeeders.end(), pos) != config_.fittedFeeders.end();
}

RejectVaultLevel SimCore::rejectVaultLevel() const
{
    const int notes = cassettes_[0].notes;
    if (notes >= config_.rejectVaultCapacity)
        return RejectVaultLevel::Full;
    if (notes >= config_.rejectVaultAlmostFull)
        return RejectVaultLevel::AlmostFull;
    return RejectVaultLevel::Normal;
}

bool SimCore::usable(int pos) const
{
    const Cassette& c = cassettes_[static_cast<std::size_t>(pos)];
    return c.fitted && c.present && c.state == CassetteState::Open;
}

void SimCore::logError(int task, int code, int line)
{
    constexpr std::size_t kLogRecords = 4 * 28;
    if (errorLog_.size() >= kLogRecords)
        errorLog_.erase(errorLog_.begin());
    errorLog_.push_back({task, code, digits(line, 4)});
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
    // Faults land in the error log as the feeder (task 4) or the throat
    // handler (task 9) would record them.
    if (throat_ > 0) {
        logError(9, 3, 212);
        return reply('M', 0);
    }
    if (!anyOpen())
        return reply('3', 0);
    bool missing = false;
    for (DispenseRecord& rec : records)
        if (!usable(rec.cassette)) {
            rec.status = ':';
            missing = true;
        }
    if (missing) {
        logError(4, 1, 118);
        return reply(':', 0);
    }
    // A stuck exit sensor stops its feeder before a note moves.
    bool jammed = false;
    for (DispenseRecord& rec : records)
        if (cassettes_[static_cast<std::size_t>(rec.cassette)].exitJammed) {
            rec.status = 'J';
            jammed = true;
        }
    if (jammed) {
        logError(4, 10, 431);
        return reply('J', 0);
    }
    if (rejectVaultLevel() == RejectVaultLevel::Full)
        return reply('Q', 0);
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
            logError(4, 5, 377);
        }
        delivered += good;
    }
    rejectNotes(rejected, false);
    if (toReject) {
        rejectNotes(delivered, true);
        rejectTable_[23] += delivered;
    } else {
        stack_ += delivered;
        // A dispense presents the bundle at once; a move forward keeps it
        // on the stack for a deliver or a reject.
        if (cmd[0] == '1' && stack_ > 0)
            present();
    }
    char status = empty ? '2' : rejected > 0 ? '4' : '0';
    if (status == '0' && rejectVaultLevel() != RejectVaultLevel::Normal)
        status = rejectVaultLevel() == RejectVaultLevel::Full ? 'Q' : 'D';
    return reply(status, delivered);
}

std::string SimCore::deliver()
{
    // A dispense has presented its bundle already: a deliver after it
    // (as scripts send one) has nothing more to do.
    if (stack_ == 0 && throat_ > 0)
        return "0";
    if (stack_ == 0)
        return "8";
    if (throat_ > 0)
        return "M";
    present();
    return "0";
}

void SimCore::present()
{
    throat_ = stack_;
    stack_ = 0;
    throatChecksLeft_ = config_.throatChecksToRemove;
    throatLeft_ = takeCount(config_.notesLeftInThroat);
    presentedAtMs_ = nowMs_;
    counters_[303] += throat_;
    counters_[330] += throat_;
    counters_[320] += 1;
    counters_[333] += 1;
    items_[209].value = 1;
}

void SimCore::takeNotesWhenDue()
{
    if (throat_ > 0 && !throatLeft_ && config_.takeNotesAfterMs >= 0 &&
        nowMs_ - presentedAtMs_ >= config_.takeNotesAfterMs)
        throat_ = 0;
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
    if (throat_ > 0 && (throatLeft_ || config_.takeNotesAfterMs >= 0))
        return "M"; // still there (takeNotesWhenDue has run)
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
    throatLeft_ = false;
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

std::string SimCore::zCommand(std::string_view cmd)
{
    if ((cmd.substr(0, 2) == "Z1" || cmd.substr(0, 2) == "Z2") && cmd.size() == 4) {
        (cmd[1] == '1' ? testMode_ : swSwitch_) = std::string(cmd.substr(2));
        return "0";
    }
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
    if (cmd == "Z6F") { // the error log lives in the NV memory too
        initItems();
        errorLog_.clear();
        testMode_ = swSwitch_ = "00";
        return "0";
    }
    if (cmd == "ZB")
        return "0KYDSIM01";
    return "8";
}

} // namespace kyd::sim

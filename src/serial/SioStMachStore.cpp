// Storing and loading a state machine in the library's text format.
#include "serial/SioStMachStore.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

namespace sio {

namespace {

constexpr const char* kHeader = "KYD state machine 1";
// Bounds that no drawn machine comes near; beyond them the input is damaged.
constexpr std::size_t kMaxStates = 10000;
constexpr std::size_t kMaxConditions = 10000;
constexpr long long kMaxCoordinate = 1000000;

// --- writing ---

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[5];
                std::snprintf(buf, sizeof buf, "\\x%02X", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Colour(TColor c)
{
    char buf[12];
    std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(c));
    return buf;
}

class Line {
public:
    explicit Line(const char* keyword) : text_(keyword) {}
    Line& Str(const char* key, const std::string& v) { return Item(key, Quote(v)); }
    Line& Int(const char* key, long long v) { return Item(key, std::to_string(v)); }
    Line& Flag(const char* key, bool v) { return Item(key, v ? "1" : "0"); }
    Line& Col(const char* key, TColor v) { return Item(key, Colour(v)); }
    Line& Font(const TSioFont& f)
    {
        return Str("FontName", f.Name).Int("FontSize", f.Size).Col("FontColor", f.Color);
    }
    std::string Text() const { return text_ + "\n"; }

private:
    Line& Item(const char* key, const std::string& v)
    {
        text_ += ' ';
        text_ += key;
        text_ += '=';
        text_ += v;
        return *this;
    }
    std::string text_;
};

// --- reading ---

using Items = std::map<std::string, std::string>;

struct Record {
    int line = 0;
    std::string keyword;
    Items items;
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at text[i] (the opening quote); i ends behind the
// closing quote. The value is kept with its quotes' contents unescaped.
std::string ReadQuoted(const std::string& text, std::size_t& i, int line)
{
    std::string out;
    ++i;
    while (true) {
        if (i >= text.size())
            throw EStateMachineLoad(line, "a string has no closing quote");
        const char c = text[i++];
        if (c == '"')
            return out;
        if (static_cast<unsigned char>(c) < 0x20)
            throw EStateMachineLoad(line, "a string holds a control character; write it as an escape");
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i >= text.size())
            throw EStateMachineLoad(line, "a string ends in the middle of an escape");
        const char e = text[i++];
        switch (e) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x': {
            const int hi = i < text.size() ? HexDigit(text[i]) : -1;
            const int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            if (hi < 0 || lo < 0)
                throw EStateMachineLoad(line, "\\x needs two hex digits");
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            throw EStateMachineLoad(line, std::string("unknown escape \\") + e);
        }
    }
}

Record ParseLine(const std::string& text, int line)
{
    Record r;
    r.line = line;
    std::size_t i = text.find(' ');
    r.keyword = text.substr(0, i);
    while (i != std::string::npos && i < text.size()) {
        if (text[i] != ' ')
            throw EStateMachineLoad(line, "items must be separated by one blank");
        ++i;
        const std::size_t eq = text.find('=', i);
        if (eq == std::string::npos || eq == i)
            throw EStateMachineLoad(line, "an item is not Key=Value");
        const std::string key = text.substr(i, eq - i);
        for (char c : key)
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
                throw EStateMachineLoad(line, "an item's key is not a name");
        i = eq + 1;
        std::string value;
        if (i < text.size() && text[i] == '"') {
            value = "\"" + ReadQuoted(text, i, line);
        } else {
            const std::size_t end = text.find(' ', i);
            value = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? text.size() : end;
            if (value.empty())
                throw EStateMachineLoad(line, "item " + key + " has no value");
        }
        if (!r.items.emplace(key, value).second)
            throw EStateMachineLoad(line, "item " + key + " is given twice");
    }
    return r;
}

// Takes the items of one record, each at most once; Finish refuses those
// left over.
class Reader {
public:
    explicit Reader(Record& r) : r_(r) {}

    std::optional<std::string> Str(const char* key)
    {
        auto v = Take(key);
        if (!v)
            return std::nullopt;
        if (v->empty() || (*v)[0] != '"')
            throw Bad(key, "is not a quoted string");
        return v->substr(1);
    }
    std::optional<long long> Int(const char* key, long long lo, long long hi)
    {
        auto v = Take(key);
        if (!v)
            return std::nullopt;
        long long n = 0;
        const char* b = v->data();
        const char* e = b + v->size();
        auto [p, ec] = std::from_chars(b, e, n);
        if (ec != std::errc() || p != e)
            throw Bad(key, "is not a whole number");
        if (n < lo || n > hi)
            throw Bad(key, "is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
        return n;
    }
    std::optional<bool> Flag(const char* key)
    {
        auto v = Take(key);
        if (!v)
            return std::nullopt;
        if (*v != "0" && *v != "1")
            throw Bad(key, "is not 0 or 1");
        return *v == "1";
    }
    std::optional<TColor> Col(const char* key)
    {
        auto v = Take(key);
        if (!v)
            return std::nullopt;
        if (v->size() != 9 || (*v)[0] != '$')
            throw Bad(key, "is not a colour ($ and eight hex digits)");
        TColor c = 0;
        for (std::size_t k = 1; k < v->size(); ++k) {
            const int d = HexDigit((*v)[k]);
            if (d < 0)
                throw Bad(key, "is not a colour ($ and eight hex digits)");
            c = c * 16 + static_cast<TColor>(d);
        }
        return c;
    }
    void Font(TSioFont& f)
    {
        if (auto v = Str("FontName"))
            f.Name = *v;
        if (auto v = Int("FontSize", 0, 1000))
            f.Size = static_cast<int>(*v);
        if (auto v = Col("FontColor"))
            f.Color = *v;
    }
    void Finish()
    {
        if (!r_.items.empty())
            throw EStateMachineLoad(r_.line, "unknown item " + r_.items.begin()->first + " in " + r_.keyword);
    }

private:
    std::optional<std::string> Take(const char* key)
    {
        auto it = r_.items.find(key);
        if (it == r_.items.end())
            return std::nullopt;
        std::string v = it->second;
        r_.items.erase(it);
        return v;
    }
    EStateMachineLoad Bad(const char* key, const std::string& what) const
    {
        return EStateMachineLoad(r_.line, std::string("item ") + key + " " + what);
    }
    Record& r_;
};

// What a file describes, checked whole before anything is built.
struct ConditionDesc {
    Record record;
    std::optional<Record> connectoid;
};
struct StateDesc {
    Record record;
    std::string name;
    std::vector<ConditionDesc> conditions;
};

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string l = text.substr(start, end - start);
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        lines.push_back(std::move(l));
        start = end + 1;
    }
    return lines;
}

} // namespace

EStateMachineLoad::EStateMachineLoad(int line, const std::string& what)
    : std::runtime_error("state machine, line " + std::to_string(line) + ": " + what), line_(line)
{
}

std::string StoreStateMachine(const TSioCustomStateMachine& machine)
{
    std::string out = std::string(kHeader) + "\n";
    out += Line("machine")
               .Str("Caption", machine.Caption)
               .Col("Color", machine.Color)
               .Flag("MovableStates", machine.MovableStates)
               .Int("ConnectoidClickStyle", machine.ConnectoidClickStyle)
               .Flag("SingleBorder", machine.SingleBorder)
               .Str("StartState", machine.StartState ? machine.StartState->Name : std::string())
               .Str("TerminalState", machine.TerminalState ? machine.TerminalState->Name : std::string())
               .Text();
    for (const TSioCustomState* s : machine.States()) {
        out += Line("state")
                   .Str("Name", s->Name)
                   .Str("Caption", s->GetCaption())
                   .Int("Left", s->Left())
                   .Int("Top", s->Top())
                   .Int("Width", s->Width())
                   .Int("Height", s->Height())
                   .Col("ActiveColor", s->GetActiveColor())
                   .Col("InactiveColor", s->GetInactiveColor())
                   .Int("GlyphCells", s->GetGlyphCells())
                   .Flag("Movable", s->Movable)
                   .Flag("ActionState", s->ActionState)
                   .Str("OutputOnActivate", s->OutputOnActivate)
                   .Font(s->Font)
                   .Text();
        for (int i = 0; i < s->Conditions().Count(); ++i) {
            const TSioStateCondition& c = s->Conditions()[i];
            const TSioCustomState* next = c.GetNextState();
            out += Line("condition")
                       .Str("NextState", next && next->Machine() == &machine ? next->Name : std::string())
                       .Str("StartString", c.StartString)
                       .Str("EndString", c.EndString)
                       .Int("PacketSize", c.PacketSize)
                       .Int("Timeout", c.Timeout)
                       .Int("ErrorCode", c.ErrorCode)
                       .Flag("IgnoreCase", c.IgnoreCase)
                       .Flag("DefaultError", c.DefaultError)
                       .Flag("DefaultNext", c.DefaultNext)
                       .Str("OutputOnActivate", c.OutputOnActivate)
                       .Text();
            if (const TSioStateConnectoid* k = c.Connectoid())
                out += Line("connectoid")
                           .Str("Caption", k->GetCaption())
                           .Col("Color", k->GetColor())
                           .Int("Width", k->GetWidth())
                           .Font(k->Font)
                           .Text();
        }
    }
    return out + "end\n";
}

void LoadStateMachine(const std::string& text, TSioCustomStateMachine& machine, TSioBaseComponent* owner,
                      std::vector<std::unique_ptr<TSioCustomState>>& states)
{
    if (!machine.States().empty())
        throw EStateMachineLoad(0, "the machine already holds states");
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty() || lines[0] != kHeader)
        throw EStateMachineLoad(1, std::string("not a state machine (the first line must read \"") + kHeader + "\")");

    // Parse and check everything first.
    std::optional<Record> machineRecord;
    std::vector<StateDesc> descs;
    std::set<std::string> names;
    bool ended = false;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const int line = static_cast<int>(n + 1);
        if (ended)
            throw EStateMachineLoad(line, "text after end");
        if (lines[n].empty())
            continue;
        Record r = ParseLine(lines[n], line);
        if (r.keyword == "end") {
            if (!r.items.empty())
                throw EStateMachineLoad(line, "end takes no items");
            ended = true;
        } else if (r.keyword == "machine") {
            if (machineRecord)
                throw EStateMachineLoad(line, "a second machine record");
            if (!descs.empty())
                throw EStateMachineLoad(line, "the machine record must come before the states");
            machineRecord = std::move(r);
        } else if (r.keyword == "state") {
            if (descs.size() >= kMaxStates)
                throw EStateMachineLoad(line, "too many states");
            auto it = r.items.find("Name");
            if (it == r.items.end() || it->second.size() < 2 || it->second[0] != '"')
                throw EStateMachineLoad(line, "a state needs a Name");
            std::string name = it->second.substr(1);
            if (!names.insert(name).second)
                throw EStateMachineLoad(line, "a second state named \"" + name + "\"");
            descs.push_back(StateDesc{std::move(r), std::move(name), {}});
        } else if (r.keyword == "condition") {
            if (descs.empty())
                throw EStateMachineLoad(line, "a condition outside a state");
            if (descs.back().conditions.size() >= kMaxConditions)
                throw EStateMachineLoad(line, "too many conditions");
            descs.back().conditions.push_back(ConditionDesc{std::move(r), std::nullopt});
        } else if (r.keyword == "connectoid") {
            if (descs.empty() || descs.back().conditions.empty())
                throw EStateMachineLoad(line, "a connectoid outside a condition");
            if (descs.back().conditions.back().connectoid)
                throw EStateMachineLoad(line, "a second connectoid for one condition");
            descs.back().conditions.back().connectoid = std::move(r);
        } else {
            throw EStateMachineLoad(line, "unknown record \"" + r.keyword + "\"");
        }
    }
    if (!ended)
        throw EStateMachineLoad(static_cast<int>(lines.size()), "the text ends before its end line");
    if (!machineRecord)
        throw EStateMachineLoad(2, "no machine record");
    auto checkName = [&](const Record& r, const char* key) {
        auto it = r.items.find(key);
        if (it == r.items.end())
            return;
        if (it->second.empty() || it->second[0] != '"')
            throw EStateMachineLoad(r.line, std::string("item ") + key + " is not a quoted string");
        const std::string name = it->second.substr(1);
        if (!name.empty() && !names.count(name))
            throw EStateMachineLoad(r.line, std::string("item ") + key + " names no state: \"" + name + "\"");
    };
    checkName(*machineRecord, "StartState");
    checkName(*machineRecord, "TerminalState");
    for (const StateDesc& d : descs)
        for (const ConditionDesc& c : d.conditions)
            checkName(c.record, "NextState");

    // Read every value into fresh objects; only then touch the machine.
    Reader mi(*machineRecord);
    const std::string caption = mi.Str("Caption").value_or("");
    const TColor colour = mi.Col("Color").value_or(clWhite);
    const bool movable = mi.Flag("MovableStates").value_or(false);
    const auto clickStyle = mi.Int("ConnectoidClickStyle", 0, ccsHighlight | ccsHint | ccsDashedLine).value_or(0);
    const bool singleBorder = mi.Flag("SingleBorder").value_or(true);
    const std::string start = mi.Str("StartState").value_or("");
    const std::string terminal = mi.Str("TerminalState").value_or("");
    mi.Finish();
    std::vector<std::unique_ptr<TSioCustomState>> made;
    std::map<std::string, TSioCustomState*> byName;
    struct Links {
        TSioStateCondition* condition;
        std::string next;
    };
    std::vector<Links> links;
    for (StateDesc& d : descs) {
        auto s = std::make_unique<TSioCustomState>(owner);
        Reader in(d.record);
        s->Name = *in.Str("Name");
        if (auto v = in.Str("Caption"))
            s->SetCaption(*v);
        const long long left = in.Int("Left", -kMaxCoordinate, kMaxCoordinate).value_or(0);
        const long long top = in.Int("Top", -kMaxCoordinate, kMaxCoordinate).value_or(0);
        const long long width = in.Int("Width", 0, kMaxCoordinate).value_or(75);
        const long long height = in.Int("Height", 0, kMaxCoordinate).value_or(50);
        s->SetBounds(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height));
        if (auto v = in.Col("ActiveColor"))
            s->SetActiveColor(*v);
        const std::optional<TColor> inactive = in.Col("InactiveColor");
        if (auto v = in.Int("GlyphCells", 0, 3))
            s->SetGlyphCells(static_cast<int>(*v));
        s->Movable = in.Flag("Movable").value_or(false);
        s->ActionState = in.Flag("ActionState").value_or(false);
        s->OutputOnActivate = in.Str("OutputOnActivate").value_or("");
        in.Font(s->Font);
        in.Finish();
        // Placing a state takes the machine's colour: the stored one wins.
        s->SetInactiveColor(inactive.value_or(colour));
        for (ConditionDesc& cd : d.conditions) {
            TSioStateCondition& c = s->Conditions().Add();
            Reader ci(cd.record);
            links.push_back(Links{&c, ci.Str("NextState").value_or("")});
            c.StartString = ci.Str("StartString").value_or("");
            c.EndString = ci.Str("EndString").value_or("");
            c.PacketSize = static_cast<std::int32_t>(ci.Int("PacketSize", 0, INT32_MAX).value_or(0));
            c.Timeout = static_cast<std::int32_t>(ci.Int("Timeout", 0, INT32_MAX).value_or(2048));
            c.ErrorCode = static_cast<std::int32_t>(ci.Int("ErrorCode", INT32_MIN, INT32_MAX).value_or(0));
            c.IgnoreCase = ci.Flag("IgnoreCase").value_or(false);
            c.DefaultError = ci.Flag("DefaultError").value_or(false);
            c.DefaultNext = ci.Flag("DefaultNext").value_or(false);
            c.OutputOnActivate = ci.Str("OutputOnActivate").value_or("");
            ci.Finish();
            if (!cd.connectoid) {
                c.SetConnectoid(nullptr);
                continue;
            }
            TSioStateConnectoid k;
            Reader ki(*cd.connectoid);
            if (auto v = ki.Str("Caption"))
                k.SetCaption(*v);
            if (auto v = ki.Col("Color"))
                k.SetColor(*v);
            if (auto v = ki.Int("Width", 0, 1000))
                k.SetWidth(static_cast<int>(*v));
            ki.Font(k.Font);
            ki.Finish();
            c.SetConnectoid(&k);
        }
        byName[s->Name] = s.get();
        made.push_back(std::move(s));
    }

    for (Links& l : links)
        l.condition->SetNextState(l.next.empty() ? nullptr : byName.at(l.next));
    machine.Caption = caption;
    machine.Color = colour;
    machine.MovableStates = movable;
    machine.ConnectoidClickStyle = static_cast<TAdConnectoidClickStyles>(clickStyle);
    machine.SingleBorder = singleBorder;
    for (auto& s : made) {
        const TColor inactive = s->GetInactiveColor();
        s->SetMachine(&machine);
        s->SetInactiveColor(inactive);
    }
    machine.StartState = start.empty() ? nullptr : byName.at(start);
    machine.TerminalState = terminal.empty() ? nullptr : byName.at(terminal);
    machine.Invalidate();
    for (auto& s : made)
        states.push_back(std::move(s));
}

} // namespace sio

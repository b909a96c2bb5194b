#include "sim/sim_faults.h"

#include <cctype>

namespace kyd::sim {

bool matchPattern(std::string_view p, std::string_view t)
{
    // Iterative glob with back-tracking to the last '*'.
    std::size_t pi = 0, ti = 0, star = std::string_view::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ti;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

bool takeFault(int& count)
{
    if (count == 0)
        return false;
    if (count > 0)
        --count;
    return true;
}

bool parseScriptedStatus(std::string_view text, ScriptedStatus& out)
{
    ScriptedStatus s;
    std::string_view rest = text;
    constexpr std::string_view kAlways = ":always";
    if (rest.size() > kAlways.size() && rest.substr(rest.size() - kAlways.size()) == kAlways) {
        s.always = true;
        rest.remove_suffix(kAlways.size());
    }
    // ...:N:C
    if (rest.size() < 5 || rest[rest.size() - 2] != ':')
        return false;
    s.status = rest.back();
    if (s.status < 0x20 || s.status > 0x7E)
        return false;
    rest.remove_suffix(2);
    auto colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0)
        return false;
    std::string_view n = rest.substr(colon + 1);
    if (n.empty() || n.size() > 6)
        return false;
    int value = 0;
    for (char c : n) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1)
        return false;
    s.nth = value;
    s.pattern = std::string(rest.substr(0, colon));
    out = s;
    return true;
}

} // namespace kyd::sim

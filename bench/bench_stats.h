// Figures of the benchmarks: a ratio over several rounds, printed as
// min / median / max with the number of rounds behind it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace kyd::bench {

struct Spread {
    std::vector<double> values;

    void add(double v) { values.push_back(v); }
    bool empty() const { return values.empty(); }
    std::size_t rounds() const { return values.size(); }
    double min() const { return *std::min_element(values.begin(), values.end()); }
    double max() const { return *std::max_element(values.begin(), values.end()); }
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
};

// "<what> (goal ...): median 1.234 (min 1.200, max 1.300, 5 rounds)"; a
// spread without values says it could not be measured.
inline void PrintRatio(const std::string& what, const Spread& s)
{
    if (s.empty()) {
        std::printf("%s: not measured\n", what.c_str());
        return;
    }
    std::printf("%s: median %.4f (min %.4f, max %.4f, %zu rounds)\n", what.c_str(), s.median(), s.min(), s.max(),
                s.rounds());
}

// Per-round quotient a[i] / b[i] of two spreads taken in the same rounds.
inline Spread Quotient(const Spread& a, const Spread& b)
{
    Spread q;
    for (std::size_t i = 0; i < a.values.size() && i < b.values.size(); ++i)
        q.add(a.values[i] / b.values[i]);
    return q;
}

} // namespace kyd::bench

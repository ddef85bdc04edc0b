#pragma once
// What every benchmark shares: rounds that alternate the baseline with our
// figure (so a change in the machine's load hits both alike), the median of
// them, and the one line format run-all.sh reads.
#include <algorithm>
#include <cstdio>
#include <vector>

namespace zs::bench {

struct figure {
    double value = 0;
    double baseline = 0;
};

inline double median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs `rounds` pairs, baseline first in each; the medians of both sides.
template <class Ours, class Base> figure alternate(int rounds, Ours ours, Base base) {
    std::vector<double> values;
    std::vector<double> baselines;
    for (int i = 0; i < rounds; ++i) {
        baselines.push_back(base());
        values.push_back(ours());
        std::fprintf(stderr, "  round %d: %.1f against %.1f\n", i + 1, values.back(),
                     baselines.back());
    }
    return {median(values), median(baselines)};
}

// A ratio above 1 is better for rates, below 1 for times; run-all.sh knows which.
inline void report(const char* name, double value, const char* unit, double baseline,
                   const char* format = "%.1f") {
    char v[64];
    char b[64];
    std::snprintf(v, sizeof v, format, value);
    std::snprintf(b, sizeof b, format, baseline);
    if (baseline > 0) {
        std::printf("BENCH name=%s value=%s unit=%s baseline=%s ratio=%.4f\n", name, v, unit, b,
                    value / baseline);
    } else {
        std::printf("BENCH name=%s value=%s unit=%s\n", name, v, unit);
    }
    std::fflush(stdout);
}

inline void report(const char* name, const figure& f, const char* unit,
                   const char* format = "%.1f") {
    report(name, f.value, unit, f.baseline, format);
}

} // namespace zs::bench

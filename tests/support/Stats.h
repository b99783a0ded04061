// Order statistics for the benchmark programs' reports.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace stats {

// The median, 90th and 99th percentile of a sample (0 for an empty one),
// each by the nearest-rank rule: the least value that at least that share
// of the sample does not exceed.
struct Percentiles {
    double median = 0, p90 = 0, p99 = 0;
    std::size_t samples = 0;
};

inline Percentiles Summarise(std::vector<double> values)
{
    Percentiles p;
    p.samples = values.size();
    if (values.empty())
        return p;
    std::sort(values.begin(), values.end());
    const auto rank = [&](double q) {
        const auto i = static_cast<std::size_t>(q * static_cast<double>(values.size()) + 0.999999);
        return values[std::min(values.size(), std::max<std::size_t>(i, 1)) - 1];
    };
    p.median = rank(0.5);
    p.p90 = rank(0.9);
    p.p99 = rank(0.99);
    return p;
}

// The middle value of a few runs' results (of an even count, the mean of
// the two in the middle); T{} for none.
template <class T>
T Median(std::vector<T> values)
{
    if (values.empty())
        return T{};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace stats

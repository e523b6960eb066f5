#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

// What the real-server benchmarks share: the busy machine they play on, and
// the percentiles they report.

// `count` threads that keep a core each busy for their lifetime.
struct Spinners
{
    explicit Spinners(int count)
    {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([this] {
                volatile double x = 1.0;
                while (!stop.load(std::memory_order_relaxed))
                    x = std::sqrt(x + 1.0);
            });
    }
    ~Spinners()
    {
        stop = true;
        for (auto &t : threads)
            t.join();
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};

// The standard deviation of `v`.
inline double spread(const std::vector<double> &v)
{
    double mean = 0, sd = 0;
    for (double d : v)
        mean += d;
    mean /= std::max<double>(1, double(v.size()));
    for (double d : v)
        sd += (d - mean) * (d - mean);
    return std::sqrt(sd / std::max<double>(1, double(v.size())));
}

// The value under which a share `p` (0..1) of `v` lies.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}

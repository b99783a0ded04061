// Start-up benchmark (not a test): the time from starting the process to
// its window being shown, and its resident memory then, for the panel and
// for a bare QMainWindow program, alternating runs in the same session.
//
//   startup_benchmark [RUNS]     (default 15 runs of each)
#include "tests/tools/ChildProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Sample {
    double milliseconds = 0;
    long kilobytes = 0;
};

bool RunOnce(const std::string& program, const std::vector<std::string>& environment, Sample& sample)
{
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child(program, {}, environment);
    const auto line = child.WaitForLine("shown ", std::chrono::seconds(30));
    const auto end = std::chrono::steady_clock::now();
    const int status = child.Wait(std::chrono::seconds(10));
    if (!line || status != 0) {
        std::fprintf(stderr, "%s: no window shown (status %d)\n", program.c_str(), status);
        return false;
    }
    sample.milliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    sample.kilobytes = std::strtol(line->c_str() + 6, nullptr, 10);
    return true;
}

template <class T>
T Median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "RVD3318_PANEL_EXIT_WHEN_SHOWN=1"};
    std::vector<double> panelTimes, bareTimes;
    std::vector<long> panelMemory, bareMemory;
    // One warm-up run each so that both start from a warm file cache.
    Sample sample;
    if (!RunOnce(PANEL_PROGRAM, environment, sample) || !RunOnce(BARE_PROGRAM, environment, sample))
        return 1;
    for (int i = 0; i < runs; ++i) {
        if (!RunOnce(PANEL_PROGRAM, environment, sample))
            return 1;
        panelTimes.push_back(sample.milliseconds);
        panelMemory.push_back(sample.kilobytes);
        if (!RunOnce(BARE_PROGRAM, environment, sample))
            return 1;
        bareTimes.push_back(sample.milliseconds);
        bareMemory.push_back(sample.kilobytes);
    }
    const double panelTime = Median(panelTimes), bareTime = Median(bareTimes);
    const long panelRss = Median(panelMemory), bareRss = Median(bareMemory);
    std::printf("%d runs each, medians (offscreen platform)\n", runs);
    std::printf("%-22s %10s %14s\n", "", "to shown", "resident");
    std::printf("%-22s %7.1f ms %11ld kB\n", "rvd3318-panel", panelTime, panelRss);
    std::printf("%-22s %7.1f ms %11ld kB\n", "bare QMainWindow", bareTime, bareRss);
    std::printf("%-22s %10.2f %14.2f\n", "ratio", panelTime / bareTime, double(panelRss) / double(bareRss));
    return 0;
}

// Start-up benchmark (not a test): the time from starting the process to
// its window being shown, and its resident memory then, for the panel and
// for a bare QMainWindow program, alternating runs in the same session.
//
//   startup_benchmark [RUNS]     (default 15 runs of each)
#include "tests/support/Stats.h"
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

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const std::vector<std::string> environment = {"QT_QPA_PLATFORM=offscreen", "RVD3318_PANEL_EXIT_WHEN_SHOWN=1"};
    std::vector<std::string> withCaption = environment;
    withCaption.push_back("RVD3318_BARE_CAPTION=1");
    struct Program {
        const char* name;
        const char* path;
        std::vector<std::string> environment;
        std::vector<double> times;
        std::vector<long> memory;
    };
    Program programs[] = {
        {"rvd3318-panel", PANEL_PROGRAM, environment, {}, {}},
        {"bare QMainWindow", BARE_PROGRAM, environment, {}, {}},
        {"bare + one caption", BARE_PROGRAM, withCaption, {}, {}},
    };
    // One warm-up run each so that all start from a warm file cache.
    Sample sample;
    for (Program& program : programs)
        if (!RunOnce(program.path, program.environment, sample))
            return 1;
    for (int i = 0; i < runs; ++i) {
        for (Program& program : programs) {
            if (!RunOnce(program.path, program.environment, sample))
                return 1;
            program.times.push_back(sample.milliseconds);
            program.memory.push_back(sample.kilobytes);
        }
    }
    const double bareTime = stats::Median(programs[1].times);
    const double bareRss = double(stats::Median(programs[1].memory));
    std::printf("%d runs each, alternating, medians (offscreen platform)\n", runs);
    std::printf("%-20s %10s %12s %16s\n", "", "to shown", "resident", "ratio to bare");
    for (const Program& program : programs) {
        const double time = stats::Median(program.times);
        const long rss = stats::Median(program.memory);
        std::printf("%-20s %7.1f ms %9ld kB %8.2f %7.2f\n", program.name, time, rss, time / bareTime,
                    double(rss) / bareRss);
    }
    return 0;
}

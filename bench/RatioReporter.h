#pragma once

// Runs the registered benchmarks and prints how many times slower one of
// them was than another, both from the same run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace benchsupport {

// Keeps each benchmark's time per iteration.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

// Runs everything, then prints "<label>: <measured / baseline>".
inline void RunAndPrintRatio(int& argc, char** argv, const char* measured, const char* baseline,
                             const char* label)
{
    benchmark::Initialize(&argc, argv);
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto base = reporter.times.find(baseline);
    const auto measure = reporter.times.find(measured);
    if (base != reporter.times.end() && measure != reporter.times.end() && base->second > 0)
        std::printf("%s: %.2f\n", label, measure->second / base->second);
}

} // namespace benchsupport

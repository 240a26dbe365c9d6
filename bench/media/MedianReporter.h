#pragma once

// Prints the usual table and keeps every repetition's wall time per
// benchmark, so that a program can give ratios of medians of one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                times[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        }
    }

    double Median(const std::string& name)
    {
        std::vector<double>& t = times[name];
        if (t.empty())
            return 0.0;
        std::sort(t.begin(), t.end());
        return t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
    }

    std::map<std::string, std::vector<double>> times;
};

// Initialises Google Benchmark with repetitions interleaved at random, so
// that load from elsewhere on the machine hits every side alike. False for
// arguments it does not know.
inline bool InitialiseInterleaved(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    return !benchmark::ReportUnrecognizedArguments(count, args.data());
}

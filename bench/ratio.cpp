// The console report of a benchmark program followed by its ratios.
#include "bench/ratio.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    explicit RatioReporter(std::vector<RatioPair> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            std::string name = run.run_name.function_name;
            if (!run.report_label.empty()) name += "/" + run.report_label;
            Fastest& fastest = fastest_[name];
            fastest.real = std::min(fastest.real, run.GetAdjustedRealTime());
            fastest.cpu = std::min(fastest.cpu, run.GetAdjustedCPUTime());
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const RatioPair& pair : pairs_) {
            auto ours = fastest_.find(pair.ours), baseline = fastest_.find(pair.baseline);
            if (ours == fastest_.end() || baseline == fastest_.end()) continue;
            std::printf("%s: %.2f real time, %.2f CPU time\n", pair.title.c_str(),
                        ours->second.real / baseline->second.real,
                        ours->second.cpu / baseline->second.cpu);
        }
    }

  private:
    struct Fastest {
        double real = std::numeric_limits<double>::infinity();
        double cpu = std::numeric_limits<double>::infinity();
    };
    std::vector<RatioPair> pairs_;
    std::map<std::string, Fastest> fastest_;
};

} // namespace

int RunWithRatios(int argc, char** argv, std::vector<RatioPair> pairs) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(std::move(pairs));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

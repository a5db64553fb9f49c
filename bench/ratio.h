// Running a benchmark program and reporting, after the console report, the ratio of ours to the
// baseline for each pair, from the fastest run of each, in real and in CPU time (the latter is
// steadier on a machine shared with other work).
#pragma once

#include <benchmark/benchmark.h>
#include <string>
#include <vector>

struct RatioPair {
    std::string title;
    std::string ours;     // a benchmark's name, with "/label" when it sets a label
    std::string baseline; // likewise
};

int RunWithRatios(int argc, char** argv, std::vector<RatioPair> pairs);

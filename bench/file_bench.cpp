// Single-byte writes between occasional seeks: WriteByte through the file library's write
// buffer against putc on a stdio stream, with the same pattern, in one run. The closing line
// gives the ratios of the fastest runs (below 1: the file library is faster).
#include "file/file.h"
#include "runtime/runtime.h"

#include "bench/ratio.h"
#include <algorithm>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr int64_t kWrites = 10'000'000;
constexpr int64_t kWritesPerSeek = 1000;
constexpr int64_t kRuns = kWrites / kWritesPerSeek;

std::string directory;

std::string PathOf(const char* name) {
    return directory + "/" + name;
}

// The runs land at scattered places of a 10 MB file, each run where the seek put it.
int64_t RunPosition(int64_t run) {
    return (run * 7919 % kRuns) * kWritesPerSeek;
}

void WriteByteWithSeeks(benchmark::State& state) {
    InitFileLibrary();
    std::string path = PathOf("library");
    std::u16string name(path.begin(), path.end());
    if (!CreateFile(0, name.c_str())) {
        state.SkipWithError("cannot create the file");
        return;
    }
    for (auto _ : state) {
        for (int64_t run = 0; run < kRuns; ++run) {
            FileSeek(0, RunPosition(run));
            for (int64_t i = 0; i < kWritesPerSeek; ++i)
                WriteByte(0, static_cast<uint8_t>(i));
        }
        FileSeek(0, 0); // the last run reaches the file too
    }
    QX_CloseFile(0);
    state.SetItemsProcessed(state.iterations() * kWrites);
}

void PutcWithSeeks(benchmark::State& state) {
    std::string path = PathOf("stdio");
    FILE* stream = fopen64(path.c_str(), "w+");
    if (!stream) {
        state.SkipWithError("cannot create the file");
        return;
    }
    for (auto _ : state) {
        for (int64_t run = 0; run < kRuns; ++run) {
            fseeko64(stream, RunPosition(run), SEEK_SET);
            for (int64_t i = 0; i < kWritesPerSeek; ++i)
                std::putc(static_cast<unsigned char>(i), stream);
        }
        fseeko64(stream, 0, SEEK_SET);
    }
    std::fclose(stream);
    state.SetItemsProcessed(state.iterations() * kWrites);
}

BENCHMARK(PutcWithSeeks)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteByteWithSeeks)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/qx-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    directory = pattern;
    RunWithRatios(argc, argv, {{"WriteByte / putc", "WriteByteWithSeeks", "PutcWithSeeks"}});
    unlink(PathOf("library").c_str());
    unlink(PathOf("stdio").c_str());
    rmdir(directory.c_str());
    return 0;
}

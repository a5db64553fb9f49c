// Start-up of the patcher against a plain toolkit program that builds the same window
// (plain_window): the time from starting the program to its main window being usable (mapped,
// every control and both pictures drawn, as the startup_probe module loaded into both reports)
// and the peak memory then (VmHWM). The benchmark runs its own virtual X server, first without a
// window manager, then with openbox, each at the window's normal size and at twice it (a desktop
// font of Sans 20, given to both programs; the plain one is told to build at that scale); the two
// programs take turns, one pair per iteration, the order swapped every time. The closing lines
// give the ratios of the medians, where the time of each program goes, and how the ratios at twice
// the size compare with those at the normal size.
#include "bench/spawn.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPairs = 25;
const char* const kSteps[] = {"toolkit",      "window",       "mapped", "configured",
                              "first-gadget", "last-picture", "usable"};

int64_t NowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// Reads lines from `fd` into `out` until `last` has been read, the writer closed or `deadlineNs`
// passed; true when `last` came.
bool ReadLinesUntil(int fd, const std::string& last, int64_t deadlineNs, std::string& out) {
    std::string pending;
    for (;;) {
        size_t end = 0;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            out += line + "\n";
            if (line.compare(0, last.size(), last) == 0) return true;
        }
        const int64_t left = (deadlineNs - NowNs()) / 1000000;
        pollfd watch{fd, POLLIN, 0};
        if (left <= 0 || poll(&watch, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[256];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<size_t>(got));
    }
}

struct Sample {
    bool usable = false;
    double hwmKiB = 0;
    std::map<std::string, double> stepsMs; // since the program was started
};

// Starts a program (with one argument, unless null) in `directory` and takes its steps until its
// window is usable, with its peak memory at that moment; then ends it.
Sample StartOnce(const char* program, const char* argument, const char* directory) {
    int probe[2];
    Sample sample;
    if (pipe2(probe, O_CLOEXEC) != 0) return sample;
    const int64_t started = NowNs();
    std::vector<const char*> argv{program};
    if (argument) argv.push_back(argument);
    pid_t pid = Spawn(argv, directory, probe[1]);
    close(probe[1]);
    std::string lines;
    sample.usable = ReadLinesUntil(probe[0], "usable", started + 20'000'000'000, lines);
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string key; status >> key;)
        if (key == "VmHWM:") status >> sample.hwmKiB;
    Stop(pid, SIGKILL);
    close(probe[0]);
    char step[32];
    long long at = 0;
    for (const char* line = lines.c_str(); std::sscanf(line, "%31s %lld", step, &at) == 2;
         line = std::strchr(line, '\n') + 1)
        sample.stepsMs[step] = static_cast<double>(at - started) / 1e6;
    return sample;
}

// The session: a virtual X server of our own, a scratch directory with a right-sized target,
// and a window manager while the benchmark asks for one.
struct Session {
    pid_t server = -1, windowManager = -1;
    Display* display = nullptr;
    std::string directory;

    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const std::string fd = std::to_string(fds[1]);
        server = Spawn(
            {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
            nullptr, -1);
        close(fds[1]);
        std::string number;
        const bool ready = ReadLinesUntil(fds[0], "", NowNs() + 10'000'000'000, number);
        close(fds[0]);
        if (!ready || number.empty()) return false;
        setenv("DISPLAY", (":" + number.substr(0, number.size() - 1)).c_str(), 1);
        display = XOpenDisplay(nullptr);
        char pattern[] = "/tmp/qx-startup-XXXXXX";
        if (!display || !mkdtemp(pattern)) return false;
        directory = pattern;
        const int target = open(Target().c_str(), O_CREAT | O_WRONLY, 0644);
        const bool sized = target >= 0 && ftruncate(target, 1372160) == 0;
        if (target >= 0) close(target);
        std::ofstream(LargeFont()) << "gtk-font-name = \"Sans 20\"\n";
        return sized;
    }

    std::string Target() const { return directory + "/Quellmire.exe"; }
    // The desktop settings of a font twice the toolkit's default, for both programs.
    std::string LargeFont() const { return directory + "/gtkrc"; }

    // True once a window manager has announced itself on the root window.
    bool WindowManagerRunning() {
        Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* value = nullptr;
        XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &remaining, &value);
        if (value) XFree(value);
        return count == 1;
    }

    bool UseWindowManager(bool wanted) {
        if (!wanted) {
            Stop(windowManager, SIGTERM);
            return true;
        }
        if (windowManager > 0) return true;
        windowManager = Spawn({"openbox", "--sm-disable"}, nullptr, -1);
        for (int64_t deadline = NowNs() + 10'000'000'000; NowNs() < deadline; usleep(10000))
            if (WindowManagerRunning()) return true;
        return false;
    }

    ~Session() {
        Stop(windowManager, SIGTERM);
        if (display) XCloseDisplay(display);
        Stop(server, SIGTERM);
        if (directory.empty()) return;
        unlink(Target().c_str());
        unlink(LargeFont().c_str());
        rmdir(directory.c_str());
    }
};

Session* session = nullptr;

struct Result {
    std::string mode;
    int halves; // the scale in half steps
    std::vector<Sample> ours, plain;
};
std::vector<Result> results;

void StartUp(benchmark::State& state) {
    const bool withWindowManager = state.range(0) != 0;
    const int halves = int(state.range(1));
    Result result{withWindowManager ? "with openbox" : "without a window manager", halves, {}, {}};
    state.SetLabel(result.mode + (halves == 2 ? "" : ", twice the size"));
    const std::string scale = std::to_string(halves);
    if (halves == 2)
        unsetenv("GTK2_RC_FILES");
    else
        setenv("GTK2_RC_FILES", session->LargeFont().c_str(), 1);
    auto once = [&](bool ours) {
        return ours ? StartOnce(QX_PATCHER_BINARY, nullptr, session->directory.c_str())
                    : StartOnce(QX_PLAIN_WINDOW, scale.c_str(), session->directory.c_str());
    };
    if (!session->UseWindowManager(withWindowManager)) {
        state.SkipWithError("openbox did not start (scripts/install-deps bench installs it)");
        return;
    }
    // One pair first, unmeasured, so that both find the caches as warm as later runs do.
    once(true);
    once(false);
    for (auto _ : state) {
        const bool oursFirst = result.ours.size() % 2 == 0;
        if (!oursFirst) result.plain.push_back(once(false));
        result.ours.push_back(once(true));
        if (oursFirst) result.plain.push_back(once(false));
        if (!result.ours.back().usable || !result.plain.back().usable) {
            state.SkipWithError("a window did not become usable within 20 s");
            break;
        }
        state.SetIterationTime(result.ours.back().stepsMs["usable"] / 1000);
    }
    if (!state.error_occurred()) results.push_back(std::move(result));
}

BENCHMARK(StartUp)
    ->ArgsProduct({{0, 1}, {2, 4}})
    ->Iterations(kPairs)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The median of what `value` gives for the samples that have it (a negative value: not there).
template <typename Value> double Median(const std::vector<Sample>& samples, Value value) {
    std::vector<double> values;
    for (const Sample& sample : samples)
        if (value(sample) >= 0) values.push_back(value(sample));
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double UsableMs(const Sample& s) {
    return s.stepsMs.at("usable");
}

double PeakKiB(const Sample& s) {
    return s.hwmKiB;
}

void Summarise(const Result& result) {
    const double oursMs = Median(result.ours, UsableMs), plainMs = Median(result.plain, UsableMs);
    const double oursKiB = Median(result.ours, PeakKiB), plainKiB = Median(result.plain, PeakKiB);
    std::printf("start-up %s at %s: ours / plain %.2f in time (%.0f / %.0f ms), %.2f in peak "
                "memory (%.1f / %.1f MiB); medians of %zu runs each\n",
                result.mode.c_str(), result.halves == 2 ? "the normal size" : "twice the size",
                oursMs / plainMs, oursMs, plainMs, oursKiB / plainKiB, oursKiB / 1024,
                plainKiB / 1024, result.ours.size());
    std::printf("  step (median ms since start)   ours    plain\n");
    for (const char* step : kSteps) {
        auto at = [step](const Sample& s) {
            auto found = s.stepsMs.find(step);
            return found == s.stepsMs.end() ? -1.0 : found->second;
        };
        const double ours = Median(result.ours, at), plain = Median(result.plain, at);
        if (ours < 0 && plain < 0) continue;
        std::printf("  %-30s %6.1f  %6.1f\n", step, ours, plain);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Session started;
    if (!started.Start()) {
        std::fprintf(stderr, "cannot start Xvfb (scripts/install-deps bench installs it)\n");
        return 1;
    }
    session = &started;
    setenv("GTK_MODULES", QX_STARTUP_PROBE, 1);
    setenv("QX_PROBE_FD", std::to_string(kProbeFd).c_str(), 1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const Result& result : results)
        Summarise(result);
    // Twice the size against the normal size, each as its ratio to the plain program at that size:
    // what the larger window and pictures cost the patcher beyond what they cost any program.
    for (const Result& normal : results)
        for (const Result& large : results) {
            if (normal.halves != 2 || large.halves == 2 || normal.mode != large.mode) continue;
            auto ratio = [](const Result& r, double (*value)(const Sample&)) {
                return Median(r.ours, value) / Median(r.plain, value);
            };
            std::printf("start-up %s, twice the size against the normal size: %.3f in time "
                        "(ours %.2f times its normal time), %.3f in peak memory\n",
                        normal.mode.c_str(), ratio(large, UsableMs) / ratio(normal, UsableMs),
                        Median(large.ours, UsableMs) / Median(normal.ours, UsableMs),
                        ratio(large, PeakKiB) / ratio(normal, PeakKiB));
        }
    return 0;
}

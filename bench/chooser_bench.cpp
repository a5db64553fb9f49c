// The launcher's game search and its file chooser over a home of 100,000 files and folders with a
// link loop, the game in a second Steam library that the default library's list names:
// - the search (FindGameCopies over GameFolders) against a plain nftw walk of the same folders
//   to the same depths, in-process;
// - the time from starting the launcher to its chooser being mapped with the game selected,
//   against plain_chooser, which opens the same chooser on the same file with no search, under a
//   virtual X server of the benchmark's own with openbox. chooser_probe reports when
//   it is mapped and shows the file selected.
#include "bench/ratio.h"
#include "bench/spawn.h"
#include "launcher/launcher.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kEntries = 100000;

// ---------------------------------------------------------------------------------------------
// The home.

struct Home {
    std::string base, home, game;
    int64_t made = 0;

    void Folder(const std::string& path) { made += mkdir(path.c_str(), 0755) == 0; }
    void File(const std::string& path, off_t size = 0) {
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return;
        made += size == 0 || ftruncate(fd, size) == 0;
        close(fd);
    }
    // A full tree `levels` deep: every folder holds `files` files and `folders` folders.
    void Tree(const std::string& path, int levels, int folders, int files) {
        Folder(path);
        for (int i = 0; i < files; ++i)
            File(path + "/file" + std::to_string(i) + ".dat");
        for (int i = 0; levels > 0 && i < folders; ++i)
            Tree(path + "/folder" + std::to_string(i), levels - 1, folders, files);
    }

    bool Make() {
        char pattern[] = "/tmp/qx-chooser-XXXXXX";
        if (!mkdtemp(pattern)) return false;
        base = pattern;
        home = base + "/home";
        Folder(home);
        for (const char* folder :
             {"/.local", "/.local/share", "/.local/share/Steam", "/.local/share/Steam/steamapps"})
            Folder(home + folder);
        const std::string steam = home + "/.local/share/Steam";
        Folder(steam + "/steamapps/common");
        for (int i = 0; i < 30; ++i)
            Tree(steam + "/steamapps/common/Game " + std::to_string(i), 3, 4, 10);
        const std::string library = base + "/second disk/Steam Library";
        for (const std::string& folder :
             {base + "/second disk", library, library + "/steamapps", library + "/steamapps/common",
              library + "/steamapps/common/Quellmire"})
            Folder(folder);
        game = library + "/steamapps/common/Quellmire/Quellmire.exe";
        File(game, 1372160);
        const std::string list = "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam +
                                 "\"\n\t}\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + library +
                                 "\"\n\t}\n}\n";
        const int fd = open((steam + "/steamapps/libraryfolders.vdf").c_str(),
                            O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0 || write(fd, list.data(), list.size()) != ssize_t(list.size())) return false;
        close(fd);
        made++;
        Folder(home + "/.wine");
        Tree(home + "/.wine/drive_c", 4, 5, 10);
        Tree(home + "/Games", 5, 5, 10);
        made += symlink("../..", (home + "/Games/folder0/folder1/loop").c_str()) == 0;
        made += symlink(".", (home + "/Games/here").c_str()) == 0;
        Tree(home + "/Documents", 4, 5, 10);
        Tree(home + "/.cache", 4, 5, 10);
        Folder(home + "/Music");
        for (int i = 0; made < kEntries; ++i)
            File(home + "/Music/track" + std::to_string(i) + ".ogg");
        return made == kEntries;
    }

    ~Home() {
        if (!base.empty()) std::system(("rm -rf '" + base + "'").c_str());
    }
};

Home* home = nullptr;

// ---------------------------------------------------------------------------------------------
// The search, in-process.

void SearchOurs(benchmark::State& state) {
    std::vector<std::string> found;
    for (auto _ : state)
        found = FindGameCopies(GameFolders(home->home), MonotonicNs() + 60'000'000'000);
    if (found != std::vector<std::string>{home->game}) state.SkipWithError("the game not found");
}
BENCHMARK(SearchOurs)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int baselineDepth = 0;
int baselineFound = 0;
int Visit(const char* path, const struct stat* status, int kind, FTW* at) {
    if (at->level > baselineDepth && kind == FTW_D) return FTW_SKIP_SUBTREE;
    if (kind == FTW_F && std::strcmp(path + at->base, "Quellmire.exe") == 0 &&
        status->st_size == 1372160)
        ++baselineFound;
    return FTW_CONTINUE;
}

// The plain way: nftw, which takes the status of every entry; the same roots and depths, links
// not followed (which is how it stays out of the loop).
void SearchNftw(benchmark::State& state) {
    for (auto _ : state) {
        baselineFound = 0;
        for (const SearchRoot& root : GameFolders(home->home)) {
            baselineDepth = root.depth;
            nftw(root.folder.c_str(), Visit, 32, FTW_PHYS | FTW_ACTIONRETVAL);
        }
    }
    if (baselineFound != 1) state.SkipWithError("the game not found");
}
BENCHMARK(SearchNftw)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// ---------------------------------------------------------------------------------------------
// The chooser, under a virtual X server with openbox.

int64_t NowNs() {
    return MonotonicNs();
}

// Reads from `fd` until a whole line came, the writer closed or 20 s passed.
std::string ReadLine(int fd) {
    std::string line;
    for (const int64_t deadline = NowNs() + 20'000'000'000; line.find('\n') == std::string::npos;) {
        pollfd watch{fd, POLLIN, 0};
        const int64_t left = (deadline - NowNs()) / 1000000;
        if (left <= 0 || poll(&watch, 1, int(left)) <= 0) return "";
        char buffer[512];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) return "";
        line.append(buffer, size_t(got));
    }
    return line.substr(0, line.find('\n'));
}

struct Session {
    pid_t server = -1, windowManager = -1;
    bool Start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const std::string fd = std::to_string(fds[1]);
        server = Spawn(
            {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
            nullptr, -1);
        close(fds[1]);
        const std::string number = ReadLine(fds[0]);
        close(fds[0]);
        if (number.empty()) return false;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        Display* display = XOpenDisplay(nullptr);
        if (!display) return false;
        windowManager = Spawn({"openbox", "--sm-disable"}, nullptr, -1);
        const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
        bool running = false;
        for (int64_t deadline = NowNs() + 10'000'000'000; !running && NowNs() < deadline;
             usleep(10000)) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* value = nullptr;
            XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW,
                               &type, &format, &count, &remaining, &value);
            if (value) XFree(value);
            running = count == 1;
        }
        XCloseDisplay(display);
        return running;
    }
    ~Session() {
        Stop(windowManager, SIGTERM);
        Stop(server, SIGTERM);
    }
};

// Milliseconds from the start to the chooser mapped and showing the game selected; -1 when it did
// not come within 20 s, or without the game.
double OpenChooser(const std::vector<const char*>& argv) {
    int probe[2];
    if (pipe2(probe, O_CLOEXEC) != 0) return -1;
    const int64_t started = NowNs();
    pid_t pid = Spawn(argv, nullptr, probe[1]);
    close(probe[1]);
    const std::string line = ReadLine(probe[0]);
    close(probe[0]);
    Stop(pid, SIGKILL);
    long long at = 0;
    char selected[4096] = "";
    if (std::sscanf(line.c_str(), "ready %lld %4095[^\n]", &at, selected) != 2 ||
        home->game != selected) {
        std::fprintf(stderr, "the chooser reported \"%s\"\n", line.c_str());
        return -1;
    }
    return double(at - started) / 1e6;
}

std::vector<double> launcherMs, plainMs;

void Chooser(benchmark::State& state, bool launcher, std::vector<double>& samples) {
    const std::vector<const char*> argv =
        launcher ? std::vector<const char*>{QX_LAUNCHER_BINARY}
                 : std::vector<const char*>{QX_PLAIN_CHOOSER, home->game.c_str()};
    OpenChooser(argv); // once unmeasured, for caches as warm as later runs find them
    for (auto _ : state) {
        const double ms = OpenChooser(argv);
        if (ms < 0) {
            state.SkipWithError("no chooser with the game selected within 20 s");
            break;
        }
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
}
void ChooserLauncher(benchmark::State& state) {
    Chooser(state, true, launcherMs);
}
void ChooserPlain(benchmark::State& state) {
    Chooser(state, false, plainMs);
}
BENCHMARK(ChooserLauncher)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ChooserPlain)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    Home made;
    if (!made.Make()) {
        std::fprintf(stderr, "cannot make the home of %lld entries\n", (long long)kEntries);
        return 1;
    }
    home = &made;
    Session session;
    if (!session.Start()) {
        std::fprintf(stderr, "cannot start Xvfb and openbox (scripts/install-deps bench)\n");
        return 1;
    }
    setenv("HOME", made.home.c_str(), 1);
    setenv("GTK_MODULES", QX_CHOOSER_PROBE, 1);
    setenv("QX_PROBE_FD", std::to_string(kProbeFd).c_str(), 1);
    const int status = RunWithRatios(
        argc, argv,
        {{"search, ours / nftw", "SearchOurs", "SearchNftw"},
         {"chooser open, launcher / plain chooser", "ChooserLauncher", "ChooserPlain"}});
    if (!launcherMs.empty() && !plainMs.empty())
        std::printf("chooser open (ms since start, median / slowest of %zu): launcher %.0f / %.0f, "
                    "plain chooser %.0f / %.0f, ratio of medians %.2f\n",
                    launcherMs.size(), Median(launcherMs),
                    *std::max_element(launcherMs.begin(), launcherMs.end()), Median(plainMs),
                    *std::max_element(plainMs.begin(), plainMs.end()),
                    Median(launcherMs) / Median(plainMs));
    return status;
}

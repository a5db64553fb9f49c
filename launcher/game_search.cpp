// Looking for the game where Linux players keep Windows games: a walk of a few folder levels that
// enters no folder twice and stops at a deadline, run on a worker thread so that a file system
// that does not answer never holds the launcher.
#include "app/app.h"
#include "launcher/launcher.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Folder levels below each root: steamapps/common/GAME/.../Quellmire.exe, and for Wine and other
// launchers drive_c/Program Files/VENDOR/GAME/Quellmire.exe inside a prefix of their own.
constexpr int kSteamDepth = 3;
constexpr int kWineDepth = 5;
constexpr int kGamesDepth = 6;

bool ReadSmallFile(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd == -1) return false;
    char buffer[16384];
    ssize_t got = 0;
    while (out.size() < kMaxLibraryListBytes &&
           ((got = read(fd, buffer, sizeof buffer)) > 0 || (got == -1 && errno == EINTR)))
        if (got > 0) out.append(buffer, size_t(got));
    close(fd);
    return true;
}

// One Steam installation: its own library and those its list names.
void AddSteam(const std::string& steam, std::vector<SearchRoot>& roots) {
    roots.push_back({steam + "/steamapps/common", kSteamDepth});
    std::string list;
    if (!ReadSmallFile(steam + "/steamapps/libraryfolders.vdf", list)) return;
    for (const std::string& library : ParseLibraryFolders(list.data(), list.size()))
        roots.push_back({library + "/steamapps/common", kSteamDepth});
}

using FolderId = std::pair<dev_t, ino_t>;

struct Walk {
    int64_t deadlineNs;
    const std::atomic<bool>* abandoned; // set by whoever stopped waiting for the results
    std::set<FolderId> entered;
    void (*report)(const std::string& path, void* context);
    void* context;

    bool Over() const { return (abandoned && *abandoned) || MonotonicNs() >= deadlineNs; }

    // Takes over `fd`, an open folder, and closes it.
    void Folder(int fd, const std::string& path, int depth) {
        struct stat status;
        if (fstat(fd, &status) != 0 || !entered.insert({status.st_dev, status.st_ino}).second) {
            close(fd);
            return;
        }
        DIR* folder = fdopendir(fd);
        if (!folder) {
            close(fd);
            return;
        }
        while (const dirent* entry = Over() ? nullptr : readdir(folder)) {
            const char* name = entry->d_name;
            const unsigned char type = entry->d_type;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            const bool mayBeFile = type == DT_REG || type == DT_LNK || type == DT_UNKNOWN;
            const bool mayBeFolder = type == DT_DIR || type == DT_LNK || type == DT_UNKNOWN;
            if (mayBeFile && std::strcmp(name, "Quellmire.exe") == 0) {
                struct stat file;
                if (fstatat(dirfd(folder), name, &file, 0) == 0 && S_ISREG(file.st_mode) &&
                    file.st_size == kTargetSize)
                    report(path + "/" + name, context);
                continue;
            }
            // Wine's drive letters are links to the whole file system.
            if (!mayBeFolder || depth == 0 || std::strcmp(name, "dosdevices") == 0) continue;
            const int child =
                openat(dirfd(folder), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
            if (child != -1) Folder(child, path + "/" + name, depth - 1);
        }
        closedir(folder);
    }
};

} // namespace

// What the worker and the waiting thread share. Never freed: a worker held up in the file
// system may outlive the wait, and the process ends (or starts the patcher) soon after.
struct GameSearch {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t changed;
    std::string home;
    int64_t deadlineNs = 0;
    std::vector<std::string> found;
    bool done = false;
    std::atomic<bool> abandoned{false};
};

namespace {

void ReportShared(const std::string& path, void* context) {
    auto* shared = static_cast<GameSearch*>(context);
    pthread_mutex_lock(&shared->lock);
    shared->found.push_back(path);
    pthread_mutex_unlock(&shared->lock);
}

void Search(const std::vector<SearchRoot>& roots, Walk& walk) {
    for (const SearchRoot& root : roots) {
        if (walk.Over()) return;
        const int fd = open(root.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd != -1) walk.Folder(fd, root.folder, root.depth);
    }
}

void* SearchWorker(void* context) {
    auto* shared = static_cast<GameSearch*>(context);
    Walk walk{shared->deadlineNs, &shared->abandoned, {}, ReportShared, shared};
    Search(GameFolders(shared->home), walk);
    pthread_mutex_lock(&shared->lock);
    shared->done = true;
    pthread_cond_signal(&shared->changed);
    pthread_mutex_unlock(&shared->lock);
    return nullptr;
}

void ReportInto(const std::string& path, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(path);
}

} // namespace

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

std::vector<SearchRoot> GameFolders(const std::string& home) {
    std::vector<SearchRoot> roots;
    for (const char* steam : {"/.local/share/Steam", "/.steam/steam",
                              "/.var/app/com.valvesoftware.Steam/.local/share/Steam",
                              "/.var/app/com.valvesoftware.Steam/.steam/steam"})
        AddSteam(home + steam, roots);
    roots.push_back({home + "/.wine", kWineDepth});
    roots.push_back({home + "/Games", kGamesDepth});
    return roots;
}

std::vector<std::string> FindGameCopies(const std::vector<SearchRoot>& roots, int64_t deadlineNs) {
    std::vector<std::string> found;
    Walk walk{deadlineNs, nullptr, {}, ReportInto, &found};
    Search(roots, walk);
    return found;
}

GameSearch* StartGameSearch(const std::string& home, int64_t deadlineNs) {
    auto* shared = new GameSearch;
    shared->home = home;
    shared->deadlineNs = deadlineNs;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&shared->changed, &attributes);
    pthread_condattr_destroy(&attributes);
    pthread_t worker;
    if (pthread_create(&worker, nullptr, SearchWorker, shared) == 0) {
        pthread_detach(worker);
    } else { // no thread to be had: the search runs here, within the same deadline
        shared->found = FindGameCopies(GameFolders(home), deadlineNs);
        shared->done = true;
    }
    return shared;
}

std::vector<std::string> GameSearchResults(GameSearch* search) {
    const timespec until{time_t(search->deadlineNs / 1000000000),
                         long(search->deadlineNs % 1000000000)};
    pthread_mutex_lock(&search->lock);
    while (!search->done && pthread_cond_timedwait(&search->changed, &search->lock, &until) == 0) {
    }
    search->abandoned = true;
    std::vector<std::string> found = search->found;
    pthread_mutex_unlock(&search->lock);
    return found;
}

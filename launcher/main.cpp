// Entry point of the launcher: with a file (from the file manager) or one chosen in the file
// chooser (from the menu), start the patcher in that file's folder, or say why not.
#include "app/app.h"
#include "launcher/launcher.h"
#include "runtime/runtime.h"
#include "window/window.h"

#include <cerrno>
#include <cstdlib>
#include <glib.h>
#include <unistd.h>

namespace {

// The search gets this long from the start, so that the chooser opens soon even in a large home
// or when a file system does not answer.
constexpr int64_t kSearchBudgetNs = 150'000'000;

bool runtimeStarted = false;

void EnsureRuntime() {
    if (runtimeStarted) return;
    StartRuntime();
    SetProgramIcon();
    runtimeStarted = true;
}

void Warn(const std::string& text) {
    EnsureRuntime();
    FromToolkitText(text.c_str(), 0);
    MessageRequester(u"Warning!", reinterpret_cast<const char16_t*>(QX_StringBase));
}

int Finish(int status) {
    if (runtimeStarted) EndRuntime();
    std::exit(status);
}

// The patcher with `file`'s folder as its working folder; a file that is not there (or a folder
// that cannot be entered) starts it where no Quellmire.exe can be, so that it says so itself.
int StartPatcherFor(const char* file) {
    if (!EnterFolderOf(file) && chdir("/proc") != 0 && chdir("/") != 0) return 1;
    const std::string patcher = PatcherPath();
    execl(patcher.c_str(), patcher.c_str(), static_cast<char*>(nullptr));
    Warn("The patcher " + patcher + " could not be started: " + g_strerror(errno) + ".");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const int64_t started = MonotonicNs();
    KeepStandardDescriptors();
    QX_ArgC = argc;
    QX_ArgV = argv;
    std::string file = argc >= 2 ? argv[1] : "";
    if (file.empty()) {
        const std::string home = g_get_home_dir();
        GameSearch* search = StartGameSearch(home, started + kSearchBudgetNs);
        EnsureRuntime();
        file = ChooseGame(GameSearchResults(search), home);
        if (file.empty()) Finish(0); // Cancel, Escape or closed
    }
    const NameMatch match = MatchGameName(file.c_str());
    if (match != NameMatch::Exact) {
        Warn(WrongNameWarning(file.c_str(), match));
        Finish(0);
    }
    Finish(StartPatcherFor(file.c_str()));
}

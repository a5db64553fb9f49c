// Driving the real patcher binary from outside.
#include "tests/support/e2e.h"
#include "tests/support/gui.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string kEmpty;

// Parses `key=value` pairs where values may be double-quoted with backslash escapes.
Described ParseLine(const std::string& line) {
    Described item;
    size_t i = line.find(' ');
    item.kind = line.substr(0, i);
    while (i != std::string::npos && i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        size_t equals = line.find('=', i);
        if (equals == std::string::npos) break;
        std::string key = line.substr(i, equals - i);
        std::string value;
        i = equals + 1;
        if (i < line.size() && line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    ++i;
                    value += line[i] == 'n' ? '\n' : line[i];
                } else {
                    value += line[i];
                }
            }
            ++i;
        } else {
            size_t end = line.find(' ', i);
            value = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end;
        }
        item.fields[key] = value;
    }
    return item;
}

// True when users other than the owner can search every directory on the way to `path` and
// read and run the file itself.
bool OthersCanRun(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 ||
        (info.st_mode & (S_IROTH | S_IXOTH)) != (S_IROTH | S_IXOTH))
        return false;
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        if (stat(path.substr(0, slash).c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)
            return false;
    return true;
}

// Copies `path` into `directory` with permissions everybody can use; returns the copy's path.
std::string StageCopy(const std::string& path, const std::string& directory) {
    namespace fs = std::filesystem;
    fs::path copy = fs::path(directory) / fs::path(path).filename();
    std::error_code error;
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing, error);
    fs::permissions(copy, fs::perms(0755), error);
    return copy.string();
}

} // namespace

int Described::Int(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? 0 : std::atoi(it->second.c_str());
}

const std::string& Described::Text(const std::string& key) const {
    auto it = fields.find(key);
    return it == fields.end() ? kEmpty : it->second;
}

const Described* Description::Window(const std::string& title) const {
    for (const auto& item : items)
        if (item.kind == "window" && item.Text("title") == title) return &item;
    return nullptr;
}

std::vector<Described> Description::WidgetsOf(const std::string& title) const {
    std::vector<Described> widgets;
    bool inside = false;
    for (const auto& item : items) {
        if (item.kind == "window")
            inside = item.Text("title") == title;
        else if (inside)
            widgets.push_back(item);
    }
    return widgets;
}

std::optional<Described> Description::Find(const std::string& title, const std::string& type,
                                           const std::string& text) const {
    auto widgets = WidgetsOf(title);
    for (size_t i = 0; i < widgets.size(); ++i) {
        if (widgets[i].Text("type") != type) continue;
        if (text.empty()) return widgets[i];
        if (widgets[i].fields.count("text")) {
            if (widgets[i].Text("text") == text) return widgets[i];
            continue;
        }
        // The label is described right after its button, possibly behind a box or alignment.
        for (size_t j = i + 1; j < widgets.size() && j < i + 5; ++j)
            if (widgets[j].Text("type") == "GtkLabel") {
                if (widgets[j].Text("text") == text) return widgets[i];
                break;
            }
    }
    return std::nullopt;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/qx-test-XXXXXX";
    path_ = mkdtemp(pattern);
}

TempDir::~TempDir() {
    RunCommand("chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'");
}

PatcherProcess::PatcherProcess(const std::string& binary, const std::string& directory,
                               RunAs runAs) {
    inspectFile_ = directory + "/.inspect-" + std::to_string(getpid());
    // The description lives outside the target's directory when that one is read-only.
    char pattern[] = "/tmp/qx-inspect-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0) {
        close(fd);
        unlink(pattern);
        inspectFile_ = pattern;
    }
    std::string program = binary;
    std::string module = QX_INSPECTOR_MODULE;
    if (runAs == RunAs::Nobody && !(OthersCanRun(program) && OthersCanRun(module))) {
        char staging[] = "/tmp/qx-stage-XXXXXX";
        if (mkdtemp(staging)) {
            stagingDir_ = staging;
            chmod(staging, 0755);
            program = StageCopy(program, stagingDir_);
            module = StageCopy(module, stagingDir_);
        }
    }
    pid_ = fork();
    if (pid_ == 0) {
        if (runAs == RunAs::Nobody) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(126);
            setenv("HOME", "/tmp", 1);
        }
        if (chdir(directory.c_str()) != 0) _exit(127);
        setenv("GTK_MODULES", module.c_str(), 1);
        setenv("QX_INSPECT_FILE", inspectFile_.c_str(), 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

PatcherProcess::~PatcherProcess() {
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    unlink(inspectFile_.c_str());
    if (!stagingDir_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(stagingDir_, error);
    }
}

Description PatcherProcess::Read() const {
    Description description;
    std::ifstream in(inspectFile_);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) description.items.push_back(ParseLine(line));
    return description;
}

std::optional<Description>
PatcherProcess::WaitFor(const std::function<bool(const Description&)>& ready, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        Description description = Read();
        if (ready(description)) return description;
        if (!Running()) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

std::optional<Description> PatcherProcess::WaitForWindow(const std::string& title, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        Description description = Read();
        if (description.Window(title) && !description.WidgetsOf(title).empty()) return description;
        if (!Running()) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

bool PatcherProcess::Running() {
    if (status_) return false;
    int status = 0;
    pid_t result = waitpid(pid_, &status, WNOHANG);
    if (result == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return result == 0;
}

std::optional<int> PatcherProcess::WaitExit(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

bool ClickDescribed(const Described& widget, int button) {
    return PointerMove(widget.Int("rootx") + widget.Int("w") / 2,
                       widget.Int("rooty") + widget.Int("h") / 2) &&
           PointerClick(button);
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> RandomBytes(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<unsigned char> bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(generator());
    return bytes;
}

std::string PatcherBinary() {
    return QX_PATCHER_BINARY;
}

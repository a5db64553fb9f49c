// Driving the real patcher binary from outside.
#include "tests/support/e2e.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TempDir::TempDir() {
    char pattern[] = "/tmp/qx-test-XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "/nonexistent";
}

TempDir::~TempDir() {
    RunCommand("chmod -R u+w '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'");
}

VirtualScreen::VirtualScreen(int width, int height, int dpi) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        close(ready[0]);
        const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        const std::string fd = std::to_string(ready[1]), dots = std::to_string(dpi ? dpi : 100);
        // The toolkit takes its dpi from the screen's size in millimetres when no desktop sets it.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-dpi",
               dots.c_str(), "-nolisten", "tcp", "-ac", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    // The server writes its display number and a newline once it accepts connections.
    std::string number;
    char c = 0;
    for (ssize_t got = 0; pid_ > 0 && number.size() < 8;) {
        got = read(ready[0], &c, 1);
        if (got == -1 && errno == EINTR) continue;
        if (got != 1 || c == '\n') break;
        number += c;
    }
    close(ready[0]);
    if (c == '\n' && !number.empty()) display_ = ":" + number;
}

VirtualScreen::~VirtualScreen() {
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0) waitpid(pid_, nullptr, 0);
}

const Item* Find(const Description& description, const std::string& text) {
    for (const Item& item : description)
        if (item.text == text) return &item;
    return nullptr;
}

bool Click(const Item* item, int button, int repeat) {
    return item && PointerMove(1200, 1000) &&
           PointerMove(item->x + item->w / 2, item->y + item->h / 2) &&
           PointerClick(button, repeat);
}

PatcherProcess::PatcherProcess(const std::string& directory, const Launch& launch) {
    const std::string program = scratch_.File("patcher"), module = scratch_.File("inspector.so");
    chmod(scratch_.Path().c_str(), 0777);
    RunCommand("cp " QX_PATCHER_BINARY " " + program + " && cp " QX_INSPECTOR_MODULE " " + module);
    pid_ = fork();
    if (pid_ != 0) return;
    if (launch.asNobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
    if (chdir(directory.c_str()) != 0) _exit(127);
    setenv("HOME", "/tmp", 1);
    setenv("LC_ALL", "C.UTF-8", 1); // the reasons in warnings are the C library's, in English
    setenv("GTK_MODULES", module.c_str(), 1);
    setenv("QX_INSPECT_FILE", scratch_.File("inspect").c_str(), 1);
    for (const std::string& setting : launch.environment)
        putenv(const_cast<char*>(setting.c_str())); // the child's own copy, kept until exec
    if (launch.closeStandard) close(0), close(1), close(2);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
}

PatcherProcess::~PatcherProcess() {
    if (Running() && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
}

Description PatcherProcess::Read() const {
    Description description;
    std::ifstream in(scratch_.File("inspect"));
    Item item;
    while (in >> item.type >> item.x >> item.y >> item.w >> item.h >> item.state >> item.xid >>
               item.textWidth >> item.textX &&
           in.get() && std::getline(in, item.text))
        description.push_back(item);
    return description;
}

Description PatcherProcess::WaitFor(const std::function<bool(const Description&)>& ready) {
    for (int round = 1; round <= 1000 && Running(); ++round) {
        Description description = Read();
        if (ready(description)) return description;
        g_usleep(20000);
    }
    return {};
}

bool PatcherProcess::Running() {
    int status = 0;
    if (pid_ > 0 && !status_ && waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return pid_ > 0 && !status_;
}

std::optional<int> PatcherProcess::WaitExit() {
    WaitFor([](const Description&) { return false; });
    return status_;
}

std::vector<std::string> WriteFaults(const std::string& file, const std::string& mode,
                                     const std::string& log) {
    // The module is loaded ahead of a sanitized program's runtime, which must be told to allow it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {"LD_PRELOAD=" QX_WRITE_FAULTS_MODULE,
            "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0",
            "QX_FAULT_FILE=" + file, "QX_FAULT_MODE=" + mode, "QX_FAULT_LOG=" + log};
}

std::vector<uint32_t> GrabScreen(int x, int y, int width, int height, const std::string& display) {
    std::vector<uint32_t> colours;
    Display* server = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    if (!server) return colours;
    XImage* image = XGetImage(server, DefaultRootWindow(server), x, y, unsigned(width),
                              unsigned(height), AllPlanes, ZPixmap);
    // A 24-bit true-colour screen, as the virtual servers of the tests have.
    if (image && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
        image->blue_mask == 0xFF)
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                colours.push_back(uint32_t(XGetPixel(image, column, row) & 0xFFFFFF));
    if (image) XDestroyImage(image);
    XCloseDisplay(server);
    return colours;
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<unsigned char> RandomBytes(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<unsigned char> bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(generator());
    return bytes;
}

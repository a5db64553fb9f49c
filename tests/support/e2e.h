// Driving the real patcher binary from outside: start it with the inspector module loaded, read
// what its windows show, click them with a real pointer and wait for its end.
#pragma once

#include "tests/support/gui.h"

#include <cstdint>
#include <optional>
#include <sys/types.h>
#include <vector>

// A scratch directory that is removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A virtual X server of another size (or dpi, when not 0) than the test's own, ended with the
// object; Display() is empty when none could be started.
class VirtualScreen {
  public:
    VirtualScreen(int width, int height, int dpi = 0);
    ~VirtualScreen();
    const std::string& Display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::string display_;
};

// A window or widget as the inspector describes it (root position; state: a toggle's activity
// or a window's resizability; text: a title, label or picture size; textWidth and textX: the
// width and root x of a label's text as laid out, in pixels).
struct Item {
    std::string type;
    int x = 0, y = 0, w = 0, h = 0, state = 0;
    unsigned long xid = 0;
    std::string text;
    int textWidth = 0, textX = 0;
};
using Description = std::vector<Item>;
// The first item in tree order with this text: a button comes before its label.
const Item* Find(const Description& description, const std::string& text);
// Clicks an item (if any) at its centre, coming from outside so the toolkit sees the pointer enter.
bool Click(const Item* item, int button = 1, int repeat = 1);

// How to start the patcher. Run as "nobody" (needs Xvfb -ac), permission bits stop the patcher
// even if tests run as root.
struct Launch {
    bool asNobody = false;
    bool closeStandard = false;           // with descriptors 0, 1 and 2 closed
    std::vector<std::string> environment; // "NAME=value" settings added to the test's own
};

class PatcherProcess {
  public:
    PatcherProcess(const std::string& directory, const Launch& launch = {});
    ~PatcherProcess();
    pid_t Pid() const { return pid_; }
    Description Read() const;
    // Waits up to 20 s for a description that satisfies `ready`; empty if none came.
    Description WaitFor(const std::function<bool(const Description&)>& ready);
    std::optional<int> WaitExit(); // the exit status, once the program ended within 20 s

  private:
    bool Running();
    TempDir scratch_; // the description, and copies to run (the build may be closed to others)
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The module that makes the patcher's writes to one file fail (see support/write_faults.cpp),
// as LD_PRELOAD settings for a Launch: `mode` as QX_FAULT_MODE takes it, `log` may be empty.
std::vector<std::string> WriteFaults(const std::string& file, const std::string& mode,
                                     const std::string& log = "");

// What the screen (the test's own, or `display`) shows in a rectangle of root coordinates, row by
// row as 0xRRGGBB; empty when it cannot be read.
std::vector<uint32_t> GrabScreen(int x, int y, int width, int height,
                                 const std::string& display = "");

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> RandomBytes(size_t count, unsigned seed);

// Driving the real patcher binary from outside: start it in a directory with the inspector
// module loaded, read what its windows show, and wait for it to end.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// One line of the inspector's description: "window ..." or "widget ...", as key/value pairs.
struct Described {
    std::string kind; // "window" or "widget"
    std::map<std::string, std::string> fields;
    int Int(const std::string& key) const;
    const std::string& Text(const std::string& key) const;
};

struct Description {
    std::vector<Described> items;
    // The windows whose title is `title`, and the widgets of one window (in tree order).
    const Described* Window(const std::string& title) const;
    std::vector<Described> WidgetsOf(const std::string& title) const;
    // The first widget of a window whose type is `type` and whose own or first label child's
    // text is `text` (empty text: any).
    std::optional<Described> Find(const std::string& title, const std::string& type,
                                  const std::string& text = "") const;
};

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

// Who the started binary runs as: the test's own user, or the unprivileged "nobody" (65534),
// for whom permission bits count even when the tests run as root.
enum class RunAs { Self, Nobody };

class PatcherProcess {
  public:
    // Starts the binary with `directory` as its working directory. As `Nobody`, the child drops
    // its groups and ids before exec and gets HOME=/tmp; the X server must then accept clients
    // without authorisation (Xvfb -ac).
    PatcherProcess(const std::string& binary, const std::string& directory,
                   RunAs runAs = RunAs::Self);
    ~PatcherProcess();

    // Waits until the description satisfies `ready` (up to timeoutMs); returns it.
    std::optional<Description> WaitFor(const std::function<bool(const Description&)>& ready,
                                       int timeoutMs = 10000);
    std::optional<Description> WaitForWindow(const std::string& title, int timeoutMs = 10000);
    Description Read() const;
    // Exit status once the process has ended within timeoutMs, else nullopt.
    std::optional<int> WaitExit(int timeoutMs = 10000);
    bool Running();

  private:
    pid_t pid_ = -1;
    std::string inspectFile_;
    std::string stagingDir_; // copies of the binary and module that "nobody" can reach
    std::optional<int> status_;
};

// Clicks the centre of a described widget with a real pointer.
bool ClickDescribed(const Described& widget, int button = 1);

std::vector<unsigned char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> RandomBytes(size_t count, unsigned seed);

// Paths of the binary and the inspector module, as the build passes them in.
std::string PatcherBinary();

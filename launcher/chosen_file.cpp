// The chosen file: whether it has the game's name, what the player is told when it has not, and
// entering its folder, however long the folder's path.
#include "launcher/launcher.h"

#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longer folders are shown by their end, which names the game's own folder.
constexpr glong kShownFolderChars = 120;

const char* NameOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

std::string Shown(const std::string& path) {
    gchar* shown = g_filename_display_name(path.c_str());
    std::string text = shown;
    g_free(shown);
    const glong length = g_utf8_strlen(text.c_str(), -1);
    if (length > kShownFolderChars)
        text = "\u2026" +
               std::string(g_utf8_offset_to_pointer(text.c_str(), length - kShownFolderChars));
    return text;
}

} // namespace

NameMatch MatchGameName(const char* path) {
    const char* name = NameOf(path);
    if (std::strcmp(name, "Quellmire.exe") == 0) return NameMatch::Exact;
    if (g_ascii_strcasecmp(name, "Quellmire.exe") == 0) return NameMatch::OtherCase;
    return NameMatch::Other;
}

std::string WrongNameWarning(const char* path, NameMatch match) {
    const char* name = NameOf(path);
    std::string text =
        "The patcher works on a file named exactly Quellmire.exe, not on \"" + Shown(name) + "\"";
    if (name != path) {
        const std::string folder(path, size_t(name - 1 - path));
        text += " in " + Shown(folder.empty() ? "/" : folder);
    }
    text += ".";
    if (match == NameMatch::OtherCase) text += " Renaming it to Quellmire.exe will do.";
    return text;
}

bool EnterFolderOf(const char* file) {
    const char* name = NameOf(file);
    if (!*name) return false;
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    int folder = open(file[0] == '/' ? "/" : ".", kFlags);
    // Each piece is opened in the one before, so no call sees more than one file name.
    for (const char* piece = file; folder != -1 && piece < name;) {
        const char* end = std::strchr(piece, '/');
        if (end > piece) {
            const std::string part(piece, size_t(end - piece));
            const int next = openat(folder, part.c_str(), kFlags);
            close(folder);
            folder = next;
        }
        piece = end + 1;
    }
    if (folder == -1) return false;
    struct stat status;
    const bool entered =
        fstatat(folder, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && fchdir(folder) == 0;
    close(folder);
    return entered;
}

std::string PatcherPath() {
    std::string own(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", own.data(), own.size());
        if (length == -1) return "";
        if (size_t(length) < own.size()) {
            own.resize(size_t(length));
            break;
        }
        own.resize(own.size() * 2);
    }
    // PREFIX/libexec/quellmire-widescreen/launcher
    for (int level = 0; level < 3; ++level) {
        const size_t slash = own.rfind('/');
        if (slash == std::string::npos) return "";
        own.resize(slash);
    }
    return own + "/bin/quellmire-widescreen";
}

// The launcher: the program that the applications menu and the file manager start. It finds the
// game where players keep Windows games, lets the player choose the game's executable, and
// starts the patcher (which takes no arguments) with the chosen file's folder as its working
// folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Steam's list of its libraries (steamapps/libraryfolders.vdf): a tree of quoted keys and
// values in braces. Each library is an entry of the top-level block, either a block with a
// "path" value or, in the older form, a value of its own.

inline constexpr size_t kMaxLibraryListBytes = 1 << 20; // more than this is not read
inline constexpr size_t kMaxLibraries = 64;
inline constexpr size_t kMaxLibraryListDepth = 16; // deeper blocks end the parse

// The library folders that the list names, in its order (escapes \\ \" \n \t undone); whatever
// the list holds after a fault (an unterminated string, unbalanced braces, a block too deep) is
// not read. Never reads outside data[0, size).
std::vector<std::string> ParseLibraryFolders(const char* data, size_t size);

// ---------------------------------------------------------------------------------------------
// The game search.

// A folder to look in, and how many folder levels below it may still be entered.
struct SearchRoot {
    std::string folder;
    int depth;
};

// Where Linux players keep Windows games under `home`, in the order they are searched: the
// native and the sandboxed Steam (each one's default library and every further library its
// libraryfolders.vdf names), Wine's default prefix and ~/Games.
std::vector<SearchRoot> GameFolders(const std::string& home);

// Paths of every right-sized file named exactly Quellmire.exe found under the roots, in the
// roots' order: links are followed, no folder is entered twice (so no link loop is followed),
// Wine's drive-letter links are not entered, and the search stops once CLOCK_MONOTONIC passes
// `deadlineNs`.
std::vector<std::string> FindGameCopies(const std::vector<SearchRoot>& roots, int64_t deadlineNs);

// FindGameCopies over GameFolders(home) on a worker thread, started at once so that it runs
// while the toolkit starts. GameSearchResults returns at the deadline at the latest, with what
// the worker found by then, even when the worker is held up by a file system that does not
// answer; it is called once per search.
struct GameSearch;
GameSearch* StartGameSearch(const std::string& home, int64_t deadlineNs);
std::vector<std::string> GameSearchResults(GameSearch* search);

int64_t MonotonicNs();

// ---------------------------------------------------------------------------------------------
// The chosen file.

enum class NameMatch {
    Exact,     // "Quellmire.exe"
    OtherCase, // the same name in other letter case
    Other,
};
NameMatch MatchGameName(const char* path); // looks at the part after the last '/'

// The warning for a file that is not named exactly Quellmire.exe, as UTF-8: it names the file
// (a path in the file system's encoding, shown in UTF-8) and its folder.
std::string WrongNameWarning(const char* path, NameMatch match);

// Makes the folder of `file` the working folder, one piece of its path at a time, so that a
// path longer than PATH_MAX works too. False (working folder unchanged) when it cannot be entered
// or holds no entry of the file's name.
bool EnterFolderOf(const char* file);

// The path of the patcher, PREFIX/bin/quellmire-widescreen beside this program's
// PREFIX/libexec/quellmire-widescreen/; empty when this program's own path cannot be read.
std::string PatcherPath();

// Shows the file chooser titled "Choose Quellmire.exe" (folders and files named Quellmire.exe in
// any case): the first copy selected, the folders of the others as shortcuts, or the home folder
// when there are none. Returns the chosen path, or empty after Cancel, Escape or a close.
std::string ChooseGame(const std::vector<std::string>& copies, const std::string& home);

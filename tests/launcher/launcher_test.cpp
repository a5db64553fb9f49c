// The launcher's parts that need no window: Steam's library list, the game search, the name
// check and its warning, and entering the chosen file's folder.
#include "launcher/launcher.h"
#include "tests/support/e2e.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <pthread.h>
#include <random>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Paths = std::vector<std::string>;

// Parses from a heap block of exactly the input's size, so that a read past it is caught by the
// sanitizer build.
Paths Parse(const std::string& text) {
    std::unique_ptr<char[]> exact(new char[text.size() ? text.size() : 1]);
    std::memcpy(exact.get(), text.data(), text.size());
    return ParseLibraryFolders(exact.get(), text.size());
}

const char kCurrentList[] = R"("libraryfolders"
{
	"0"
	{
		"path"		"/home/p/.local/share/Steam"
		"label"		""
		"apps"
		{
			"228980"		"1"
			"path"		"/not/a/library"
		}
	}
	"1"
	{
		"path"		"/mnt/big disk/Steam Library"
	}
}
)";

struct ListCase {
    const char* name;
    std::string text;
    Paths libraries;
};

TEST(LibraryFolders, ReadsEveryLibraryAndNothingAfterAFault) {
    const std::string current = kCurrentList;
    const Paths both = {"/home/p/.local/share/Steam", "/mnt/big disk/Steam Library"};
    std::string many = "\"libraryfolders\" {";
    Paths manyFirst;
    for (size_t i = 0; i < kMaxLibraries + 5; ++i) {
        many += " \"" + std::to_string(i) + "\" { \"path\" \"/l" + std::to_string(i) + "\" }";
        if (i < kMaxLibraries) manyFirst.push_back("/l" + std::to_string(i));
    }
    std::string deep = "\"libraryfolders\" { \"0\" { \"path\" \"/first\" }";
    for (size_t i = 0; i < kMaxLibraryListDepth; ++i)
        deep += " \"k\" {";
    deep += " \"path\" \"/deep\"";
    for (size_t i = 0; i < kMaxLibraryListDepth; ++i)
        deep += " }";
    deep += " \"1\" { \"path\" \"/after\" } }"; // read only if the deep blocks were
    std::string huge = "\"libraryfolders\" { \"0\" { \"path\" \"/a\" } \"1\" { \"path\" \"/";
    huge += std::string(kMaxLibraryListBytes, 'x') + "\" } }";

    const ListCase cases[] = {
        {"current form", current, both},
        {"older form",
         "\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\t\"1\"\n"
         "\t\"1\"\t\t\"/mnt/games\"\n\t\"2\"\t\t\"/mnt/more\"\n}\n",
         {"/mnt/games", "/mnt/more"}},
        {"escapes",
         R"("libraryfolders" { "0" { "PATH" "/a\\b \"c\"\td\q" } })",
         {"/a\\b \"c\"\td\\q"}},
        {"comments, bare words, conditions",
         "// written by Steam\n\"libraryfolders\" { 0 { path /bare [$LINUX] } }",
         {"/bare"}},
        {"empty paths skipped",
         R"("libraryfolders" { "0" { "path" "" } "1" { "path" "/x" } })",
         {"/x"}},
        {"only the first list",
         R"("libraryfolders" { "0" "/one" } "libraryfolders" { "0" "/two" })",
         {"/one"}},
        {"another top block", R"("config" { "0" { "path" "/x" } })", {}},
        {"unterminated string", current.substr(0, current.find("/mnt/big")), {both[0]}},
        {"escape at the end", R"("libraryfolders" { "0" { "path" "/a\)", {}},
        {"zero byte in a string",
         std::string("\"libraryfolders\" { \"0\" \"/a\" \"1\" \"/b\0c\" }", 40),
         {"/a"}},
        {"zero byte ends the data",
         std::string("\"libraryfolders\" { \"0\" \"/a\" \0 \"1\" \"/b\" }", 40),
         {"/a"}},
        {"unbalanced close", "} \"libraryfolders\" { \"0\" \"/a\" }", {}},
        {"block without a key", "{ \"0\" \"/a\" }", {}},
        {"missing value", "\"libraryfolders\" { \"0\" { \"path\" } }", {}},
        {"too deep", deep, {"/first"}},
        {"too many", many, manyFirst},
        {"longer than read", huge, {"/a"}},
        {"empty", "", {}},
    };
    for (const ListCase& c : cases)
        EXPECT_EQ(Parse(c.text), c.libraries) << c.name;
    EXPECT_TRUE(ParseLibraryFolders(nullptr, 10).empty());
}

TEST(LibraryFolders, HostileListsAreReadWithinTheirBytes) {
    std::mt19937 random(7);
    const std::string valid = kCurrentList;
    const std::string alphabet = "\"{}\\/ \t\n\0ab01[]";
    for (int round = 0; round < 20000; ++round) {
        std::string text = valid.substr(0, random() % (valid.size() + 1));
        for (int change = int(random() % 4); change > 0 && !text.empty(); --change)
            text[random() % text.size()] = alphabet[random() % alphabet.size()];
        if (round % 3 == 0) {
            text.resize(random() % 64);
            for (char& c : text)
                c = alphabet[random() % alphabet.size()];
        }
        for (const std::string& library : Parse(text))
            ASSERT_FALSE(library.empty()) << text;
    }
}

// ---------------------------------------------------------------------------------------------
// The game search over trees made for each case.

// A tree entry: a folder ("name/"), a file of `size` bytes, a link to `target` (relative to the
// link's folder unless it starts with '/'), or with size kText a file holding `target`, in which
// '@' stands for the scratch folder.
struct Node {
    Node(std::string path_, int64_t size_ = -1, std::string target_ = "")
        : path(std::move(path_)), size(size_), target(std::move(target_)) {}
    std::string path;
    int64_t size;
    std::string target;
};
constexpr int64_t kRight = 1372160;
constexpr int64_t kText = -2;

void Make(const TempDir& dir, const std::vector<Node>& tree) {
    for (const Node& node : tree) {
        const std::string path = dir.File(node.path);
        RunCommand("mkdir -p '" + path.substr(0, path.rfind('/')) + "'");
        if (node.size == kText) {
            std::string text = node.target;
            for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@'))
                text.replace(at, 1, dir.Path());
            WriteBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
        } else if (!node.target.empty()) {
            ASSERT_EQ(symlink(node.target.c_str(), path.c_str()), 0) << node.path;
        } else if (node.size >= 0) {
            WriteBytes(path, {});
            ASSERT_EQ(truncate(path.c_str(), node.size), 0) << node.path;
        } else {
            RunCommand("mkdir -p '" + path + "'");
        }
    }
}

struct SearchCase {
    const char* name;
    std::vector<Node> tree; // under the scratch folder; the home is "home"
    Paths found;            // relative to the scratch folder; in this order when they lie in
                            // different roots
};

TEST(GameSearch, FindsRightSizedCopiesWherePlayersKeepGames) {
    const std::string steamCopy = "home/.local/share/Steam/steamapps/common/Q/Quellmire.exe";
    const std::string gamesCopy = "home/Games/q/drive_c/Program Files/V/Q/Quellmire.exe";
    const SearchCase cases[] = {
        {"Steam's default library, then ~/Games",
         {{gamesCopy, kRight}, {steamCopy, kRight}},
         {steamCopy, gamesCopy}},
        {"the older default library, reached once through the usual link",
         {{"home/.steam/root/steamapps/common/Q/bin/Quellmire.exe", kRight},
          {"home/.steam/steam", -1, "root"}},
         {"home/.steam/steam/steamapps/common/Q/bin/Quellmire.exe"}},
        {"every library the list names, and the sandboxed Steam",
         {{"home/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/"
           "libraryfolders.vdf",
           kText, R"("libraryfolders" { "1" { "path" "@/other disk/Lib \\ 1" } })"},
          {"other disk/Lib \\ 1/steamapps/common/Q/Quellmire.exe", kRight},
          {"home/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/common/Q/"
           "Quellmire.exe",
           kRight}},
         {"home/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/common/Q/"
          "Quellmire.exe",
          "other disk/Lib \\ 1/steamapps/common/Q/Quellmire.exe"}},
        {"Wine's prefix, and a link to the file",
         {{"home/.wine/drive_c/Program Files (x86)/V/Q/Quellmire.exe", kRight},
          {"elsewhere/game.exe", kRight},
          {"home/Games/linked/Quellmire.exe", -1, "../../../elsewhere/game.exe"}},
         {"home/.wine/drive_c/Program Files (x86)/V/Q/Quellmire.exe",
          "home/Games/linked/Quellmire.exe"}},
        {"nothing of another size, name or kind",
         {{"home/Games/a/Quellmire.exe", kRight - 1},
          {"home/Games/b/Quellmire.exe", kRight + 1},
          {"home/Games/c/QUELLMIRE.EXE", kRight},
          {"home/Games/d/Quellmire.exe/x", kRight},
          {"home/Documents/Quellmire.exe", kRight}},
         {}},
        {"a few levels deep only",
         {{"home/.local/share/Steam/steamapps/common/1/2/3/Quellmire.exe", kRight},
          {"home/.local/share/Steam/steamapps/common/1/2/3/4/Quellmire.exe", kRight},
          {"home/Games/1/2/3/4/5/6/Quellmire.exe", kRight},
          {"home/Games/1/2/3/4/5/6/7/Quellmire.exe", kRight}},
         {"home/.local/share/Steam/steamapps/common/1/2/3/Quellmire.exe",
          "home/Games/1/2/3/4/5/6/Quellmire.exe"}},
        {"no link loop followed, no folder entered twice",
         {{"home/Games/x/Quellmire.exe", kRight},
          {"home/Games/x/loop", -1, ".."},
          {"home/Games/x/again", -1, "../x"},
          {"home/Games/x/self", -1, "."}},
         {"home/Games/x/Quellmire.exe"}},
        {"not Wine's drive letters",
         {{"elsewhere/q/Quellmire.exe", kRight},
          {"home/.wine/dosdevices/z:", -1, "../../../elsewhere"}},
         {}},
    };
    for (const SearchCase& c : cases) {
        TempDir dir;
        Make(dir, c.tree);
        Paths expected;
        for (const std::string& path : c.found)
            expected.push_back(dir.File(path));
        EXPECT_EQ(FindGameCopies(GameFolders(dir.File("home")), MonotonicNs() + 60'000'000'000),
                  expected)
            << c.name;
        EXPECT_TRUE(FindGameCopies(GameFolders(dir.File("home")), MonotonicNs()).empty()) << c.name;
    }
}

// The worker's opening of one folder can be held until the test lets it go, as a file system
// that does not answer holds it.
std::atomic<bool> holding{false};
std::atomic<bool> held{false};
sem_t letGo;

} // namespace

extern "C" int __real_openat(int folder, const char* name, int flags, ...);
extern "C" int __wrap_openat(int folder, const char* name, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = mode_t(va_arg(arguments, int));
        va_end(arguments);
    }
    if (holding && std::strcmp(name, "unanswered") == 0) {
        held = true;
        while (sem_wait(&letGo) != 0 && errno == EINTR) {
        }
        held = false;
    }
    return __real_openat(folder, name, flags, mode);
}

namespace {

TEST(GameSearch, AFolderThatDoesNotAnswerHoldsNoOneUp) {
    TempDir dir;
    const std::string copy = "home/.local/share/Steam/steamapps/common/Q/Quellmire.exe";
    Make(dir, {{copy, kRight}, {"home/Games/unanswered/Quellmire.exe", kRight}});
    sem_init(&letGo, 0, 0);
    holding = true;
    GameSearch* search = StartGameSearch(dir.File("home"), MonotonicNs() + 2'000'000'000);
    for (int i = 0; i < 400 && !held; ++i)
        usleep(5000);
    ASSERT_TRUE(held) << "the search never reached the folder";
    EXPECT_EQ(GameSearchResults(search), Paths{dir.File(copy)});
    EXPECT_TRUE(held) << "the results waited for the worker";
    holding = false;
    sem_post(&letGo);
    for (int i = 0; i < 400 && held; ++i)
        usleep(5000);
}

// ---------------------------------------------------------------------------------------------
// The chosen file.

TEST(ChosenFile, OnlyTheExactNameIsTheGame) {
    const struct {
        const char* path;
        NameMatch match;
        const char* warning;
    } cases[] = {
        {"/g/Quellmire.exe", NameMatch::Exact, nullptr},
        {"Quellmire.exe", NameMatch::Exact, nullptr},
        {"/g/QUELLMIRE.EXE", NameMatch::OtherCase,
         "The patcher works on a file named exactly Quellmire.exe, not on \"QUELLMIRE.EXE\" in "
         "/g. Renaming it to Quellmire.exe will do."},
        {"quellmire.exe", NameMatch::OtherCase,
         "The patcher works on a file named exactly Quellmire.exe, not on \"quellmire.exe\". "
         "Renaming it to Quellmire.exe will do."},
        {"/setup.exe", NameMatch::Other,
         "The patcher works on a file named exactly Quellmire.exe, not on \"setup.exe\" in /."},
        {"/g/Quellmire.exe.bak", NameMatch::Other,
         "The patcher works on a file named exactly Quellmire.exe, not on \"Quellmire.exe.bak\" "
         "in /g."},
        {"/Quellmire.exe/", NameMatch::Other,
         "The patcher works on a file named exactly Quellmire.exe, not on \"\" in /Quellmire.exe."},
        {"/\xe9t\xe9/Quellmire.ex\xe9", NameMatch::Other,
         "The patcher works on a file named exactly Quellmire.exe, not on "
         "\"Quellmire.ex\xef\xbf\xbd\" "
         "in /\xef\xbf\xbdt\xef\xbf\xbd."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchGameName(c.path), c.match) << c.path;
        if (c.warning) {
            EXPECT_EQ(WrongNameWarning(c.path, c.match), c.warning) << c.path;
        }
    }
    // A long folder is shown by its end.
    const std::string folder = "/" + std::string(200, 'a') + "/the game";
    const std::string warning = WrongNameWarning((folder + "/x.exe").c_str(), NameMatch::Other);
    EXPECT_EQ(warning, "The patcher works on a file named exactly Quellmire.exe, not on \"x.exe\" "
                       "in \u2026" +
                           folder.substr(folder.size() - 120) + ".");
}

// The device and inode of a file, taken in the current folder.
std::pair<dev_t, ino_t> Identity(const char* name) {
    struct stat status {};
    if (lstat(name, &status) != 0) return {0, 0};
    return {status.st_dev, status.st_ino};
}

TEST(ChosenFile, EntersTheFolderOfAnyPath) {
    TempDir dir;
    // 25 levels of 200 letters: longer than PATH_MAX.
    std::string deep = dir.Path();
    const std::string piece(200, 'd');
    const int start = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(mkdir(piece.c_str(), 0755), 0);
        ASSERT_EQ(chdir(piece.c_str()), 0);
        deep += "/" + piece;
    }
    WriteBytes("Quellmire.exe", {1});
    const auto deepFile = Identity("Quellmire.exe");
    ASSERT_EQ(fchdir(start), 0);
    ASSERT_GT(deep.size(), size_t(PATH_MAX));
    Make(dir, {{"a b/Quellmire.exe", 1}, {"link", -1, "a b"}, {"dangling/Quellmire.exe", -1, "x"}});
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    const auto plain = Identity("a b/Quellmire.exe");
    const auto dangling = Identity("dangling/Quellmire.exe");
    ASSERT_EQ(fchdir(start), 0);

    const struct {
        std::string file;
        bool entered;
        std::pair<dev_t, ino_t> found; // what Quellmire.exe is in the folder entered
    } cases[] = {
        {deep + "/Quellmire.exe", true, deepFile},
        {dir.File("a b/Quellmire.exe"), true, plain},
        {dir.File("link//./Quellmire.exe"), true, plain},
        {dir.File("a b/../a b/Quellmire.exe"), true, plain},
        {dir.File("dangling/Quellmire.exe"), true, dangling},
        {"a b/Quellmire.exe", true, plain}, // from the scratch folder
        {"Quellmire.exe", false, {}},       // none there
        {dir.File("gone/Quellmire.exe"), false, {}},
        {dir.File("a b/Quellmire.exe/Quellmire.exe"), false, {}},
        {dir.File("a b/"), false, {}},
        {deep + "/x/Quellmire.exe", false, {}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(chdir(dir.Path().c_str()), 0);
        const auto before = Identity(".");
        EXPECT_EQ(EnterFolderOf(c.file.c_str()), c.entered) << c.file;
        if (c.entered) {
            EXPECT_EQ(Identity("Quellmire.exe"), c.found) << c.file;
        } else {
            EXPECT_EQ(Identity("."), before) << c.file;
        }
        ASSERT_EQ(fchdir(start), 0);
    }
    close(start);
}

} // namespace

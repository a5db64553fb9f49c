// Reading Steam's list of its libraries, libraryfolders.vdf, through a cursor that knows where
// the data ends.
#include "launcher/launcher.h"

#include <glib.h>

namespace {

// Every byte is taken through here: past the end it gives 0 and stays put.
struct Cursor {
    const char* at;
    const char* end;
    bool AtEnd() const { return at >= end; }
    char Peek() const { return at < end ? *at : '\0'; }
    char PeekAt(size_t ahead) const { return size_t(end - at) > ahead ? at[ahead] : '\0'; }
    char Take() { return at < end ? *at++ : '\0'; }
};

enum class Token { String, Open, Close, End, Fault };

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Skips blanks and // comments; a zero byte ends the data.
void SkipBlanks(Cursor& in) {
    for (;;) {
        while (IsSpace(in.Peek()))
            in.Take();
        if (in.Peek() != '/' || in.PeekAt(1) != '/') return;
        while (!in.AtEnd() && in.Peek() != '\n')
            in.Take();
    }
}

// A quoted string (escapes undone) or a bare word; the text goes to `text`.
Token NextToken(Cursor& in, std::string& text) {
    text.clear();
    SkipBlanks(in);
    if (in.AtEnd() || in.Peek() == '\0') return Token::End;
    const char c = in.Take();
    if (c == '{') return Token::Open;
    if (c == '}') return Token::Close;
    if (c == '"') {
        for (;;) {
            if (in.AtEnd()) return Token::Fault; // never closed
            char next = in.Take();
            if (next == '"') return Token::String;
            if (next == '\0') return Token::Fault;
            if (next == '\\') {
                if (in.AtEnd()) return Token::Fault;
                const char escaped = in.Take();
                switch (escaped) {
                case '\\':
                    next = '\\';
                    break;
                case '"':
                    next = '"';
                    break;
                case 'n':
                    next = '\n';
                    break;
                case 't':
                    next = '\t';
                    break;
                case '\0':
                    return Token::Fault;
                default:
                    text += '\\';
                    next = escaped;
                    break; // kept as written
                }
            }
            text += next;
        }
    }
    // A bare word runs to the next blank, brace or quote.
    text += c;
    while (!in.AtEnd() && !IsSpace(in.Peek()) && in.Peek() != '{' && in.Peek() != '}' &&
           in.Peek() != '"' && in.Peek() != '\0')
        text += in.Take();
    return Token::String;
}

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

std::vector<std::string> ParseLibraryFolders(const char* data, size_t size) {
    std::vector<std::string> libraries;
    if (!data) return libraries;
    Cursor in{data, data + (size < kMaxLibraryListBytes ? size : kMaxLibraryListBytes)};
    // depth 0: the file; 1: inside the list's block; 2: inside one library's block.
    size_t depth = 0;
    bool listSeen = false; // only the first top-level block is the list
    std::string key, value;
    for (;;) {
        Token token = NextToken(in, key);
        if (token == Token::Close) {
            if (depth == 0) return libraries;   // unbalanced
            if (--depth == 0) return libraries; // the list's block is done
            continue;
        }
        if (token != Token::String) return libraries; // the end, a fault, or a block without key
        // A condition such as [$WIN32] after a value belongs to that value: skipped.
        if (key[0] == '[') continue;
        token = NextToken(in, value);
        if (token == Token::Open) {
            if (++depth > kMaxLibraryListDepth) return libraries;
            if (depth == 1) {
                if (listSeen || g_ascii_strcasecmp(key.c_str(), "libraryfolders") != 0)
                    return libraries;
                listSeen = true;
            }
            continue;
        }
        if (token != Token::String) return libraries;
        const bool oldForm = depth == 1 && IsNumber(key);
        const bool pathOfBlock = depth == 2 && g_ascii_strcasecmp(key.c_str(), "path") == 0;
        if ((oldForm || pathOfBlock) && !value.empty()) {
            libraries.push_back(value);
            if (libraries.size() == kMaxLibraries) return libraries;
        }
    }
}

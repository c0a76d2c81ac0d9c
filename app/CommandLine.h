// The command line as the shell reads it: the tokens of the text after the program name, and
// the list files that shortcuts for audio and data discs name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The launch mode of a plain start for a build variant: the audio and backup-restore variants
// open their own tasks, every other the data disc.
int DefaultLaunchMode(const wchar_t* productVariant);

// The text after the program name of a full process command line (as GetCommandLineW gives
// it), without the blanks that separate the two.
std::wstring CommandLineArguments(const wchar_t* fullCommandLine);

// Splits on blanks; a double quote that comes before the next blank opens a quoted part that
// runs to the next double quote, so a quoted path keeps its blanks. One double quote at each
// end of a token is removed.
class CCommandLineTokens {
public:
    explicit CCommandLineTokens(const std::wstring& commandLine);
    size_t TokenCount() const { return m_tokens.size(); }
    // Empty beyond the last token.
    const std::wstring& Token(size_t index) const;

private:
    std::vector<std::wstring> m_tokens;
};

// A UTF-16 text file of path names, one per line. The first code unit is always taken as the
// byte-order mark; when it reads as byte-swapped, the whole file is big-endian.
class CPathnameListFile {
public:
    // Larger files are refused: no list of paths the program makes comes near this.
    static constexpr unsigned long kMaxFileBytes = 16ul * 1024 * 1024;

    bool Load(const std::wstring& path);
    // The same from bytes already in memory.
    void Parse(const unsigned char* bytes, size_t length);
    size_t Count() const { return m_items.size(); }
    const std::wstring& Item(size_t index) const { return m_items.at(index); }

private:
    std::vector<std::wstring> m_items;
};

// The command line's text and the list files' bytes, read without the system: what a shortcut
// or AutoPlay hands over is parsed here, and the Windows side (CommandLine.cpp) reads the files.
#include "app/CommandLine.h"

namespace {

const wchar_t kWhiteSpace[] = L" \t\r\n\v\f";

std::wstring Trim(const std::wstring& text) {
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::wstring::npos) return std::wstring();
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

const std::wstring& EmptyText() {
    static const std::wstring empty;
    return empty;
}

}  // namespace

std::wstring CommandLineArguments(const wchar_t* fullCommandLine) {
    if (!fullCommandLine) return std::wstring();
    const std::wstring line(fullCommandLine);
    size_t at = 0;
    // The program name is quoted when its path holds blanks; the quotes do not nest.
    if (!line.empty() && line[0] == L'"') {
        const size_t close = line.find(L'"', 1);
        at = close == std::wstring::npos ? line.size() : close + 1;
    }
    at = line.find_first_of(L" \t", at);
    if (at == std::wstring::npos) return std::wstring();
    at = line.find_first_not_of(L" \t", at);
    return at == std::wstring::npos ? std::wstring() : line.substr(at);
}

CCommandLineTokens::CCommandLineTokens(const std::wstring& commandLine) {
    const std::wstring line = Trim(commandLine);
    const size_t end = line.size();
    if (end == 0) return;
    bool quoted = false;
    // The next token starts one past the previous separator (at 0 for the first).
    size_t from = 0;
    for (;;) {
        size_t separator = end;
        bool quoteSeparates = false;
        if (quoted) {
            const size_t quote = line.find(L'"', from);
            if (quote != std::wstring::npos) separator = quote;
        } else {
            const size_t blank = line.find(L' ', from);
            if (blank != std::wstring::npos) {
                const size_t quote = line.find(L'"', from);
                if (quote != std::wstring::npos && quote < blank) {
                    separator = quote;
                    quoteSeparates = true;
                } else {
                    separator = blank;
                }
            }
        }
        quoted = quoteSeparates;

        std::wstring token = line.substr(from, separator - from);
        if (!token.empty()) {
            if (token.front() == L'"') token.erase(0, 1);
            if (!token.empty() && token.back() == L'"') token.pop_back();
            // Text between two separators counts as a token even when it was only quotes.
            m_tokens.push_back(std::move(token));
        }
        if (separator >= end) break;
        from = separator + 1;
    }
}

const std::wstring& CCommandLineTokens::Token(size_t index) const {
    return index < m_tokens.size() ? m_tokens[index] : EmptyText();
}

void CPathnameListFile::Parse(const unsigned char* bytes, size_t length) {
    m_items.clear();
    const size_t units = length / 2;  // an odd trailing byte is no character
    if (units == 0) return;
    const bool bigEndian = bytes[0] == 0xFE && bytes[1] == 0xFF;
    std::wstring text;
    text.reserve(units - 1);
    // The first unit is the byte-order mark, whatever it holds.
    for (size_t i = 1; i < units; ++i) {
        const unsigned char a = bytes[2 * i], b = bytes[2 * i + 1];
        const wchar_t unit = bigEndian ? static_cast<wchar_t>((a << 8) | b) : static_cast<wchar_t>((b << 8) | a);
        // The text is a terminated string: nothing after a NUL is part of it.
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t lineEnd = text.find(L'\n', start);
        if (lineEnd == std::wstring::npos) lineEnd = text.size();
        std::wstring item = Trim(text.substr(start, lineEnd - start));
        if (!item.empty()) m_items.push_back(std::move(item));
        start = lineEnd + 1;
    }
}

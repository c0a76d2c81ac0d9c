#include "lang/Iso639.h"

#include <cstring>

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the table's code, starting at `at` and ending at `end` or at its text's end,
// is the code asked for.
bool SameCode(const char* at, const char* end, const std::string& code) {
    const size_t length = end ? static_cast<size_t>(end - at) : std::strlen(at);
    if (length != code.size()) return false;
    for (size_t i = 0; i < length; ++i)
        if (Lower(at[i]) != Lower(code[i])) return false;
    return true;
}

}  // namespace

std::wstring EnglishLanguageName(const std::string& code) {
    if (code.size() != 2 && code.size() != 3) return {};
    for (const Iso639Language& language : Iso639Languages()) {
        if (code.size() == 2) {
            if (SameCode(language.code2, nullptr, code)) return language.englishName;
            continue;
        }
        for (const char* at = language.codes;;) {
            const char* slash = std::strchr(at, '/');
            if (SameCode(at, slash, code)) return language.englishName;
            if (!slash) break;
            at = slash + 1;
        }
    }
    return {};
}

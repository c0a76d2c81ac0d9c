// Reads every text of a loaded pack to its terminator, as the shell's lookups do, and checks
// that each key finds its own text.
#pragma once

#include "lang/LangPack.h"

#include <cstdlib>

namespace fuzz {

inline void ReadEveryText(const CLangPack& pack) {
    size_t total = 0;
    pack.ForEachText([&](std::string_view key, const TextUnit* text) {
        if (!text || pack.FindText(key) != text) std::abort();
        while (*text++) ++total;
    });
    (void)total;
    (void)pack.Lookup("Menu.File");
    (void)pack.GetLanguageCode();
}

}  // namespace fuzz

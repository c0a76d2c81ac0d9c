// A list file of paths as a shortcut for an audio or data disc names it: any bytes.
#include "app/CommandLine.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CPathnameListFile list;
    list.Parse(data, size);
    size_t total = 0;
    for (size_t i = 0; i < list.Count(); ++i) {
        const std::wstring& item = list.Item(i);
        // Items are trimmed lines: never empty, never with a line break or a zero inside.
        if (item.empty() || item.find_first_of(std::wstring(L"\n\0", 2)) != std::wstring::npos) std::abort();
        total += item.size();
    }
    if (total > size / 2) std::abort();
    return 0;
}

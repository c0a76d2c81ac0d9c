// Paths out of a data store: three UTF-16LE texts separated by zero units (a path, a folder, a
// file name) through the checks that decide where a restored item may be written.
#include "fuzz/Utf16.h"
#include "kapp/SafePaths.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::wstring> texts = fuzz::Utf16Texts(data, size, 3);
    const std::wstring& path = texts[0];
    const std::wstring& folder = texts[1];
    const std::wstring normal = kapp::NormalisedStorePath(path);
    // A normalised path is accepted as it is.
    if (!normal.empty() && kapp::NormalisedStorePath(normal) != normal) std::abort();
    const bool inside = kapp::IsInsideFolder(path, folder);
    // Nothing is inside a refused path, and nothing refused is inside anything.
    if (inside && (normal.empty() || kapp::NormalisedStorePath(folder).empty())) std::abort();
    // Nothing is strictly inside itself.
    if (kapp::IsInsideFolder(path, path)) std::abort();
    (void)kapp::IsSameFile(path, folder);
    (void)kapp::IsPlainFileName(texts[2]);
    return 0;
}

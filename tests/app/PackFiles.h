// Language pack files written byte by byte, for the shell's tests: resource files with a tag,
// native name, comment and texts, and flat UTF-16 packs without a tag.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace app_tests {

using PackTexts = std::vector<std::pair<std::string, std::wstring>>;

// A resource file ("URESFILE") with one string table.
std::vector<unsigned char> ResourcePackBytes(const std::wstring& tag, const std::wstring& nativeName,
                                             const std::wstring& comment, const PackTexts& texts = {});
// A flat pack ("LANGPU16", layout 0): no tag.
std::vector<unsigned char> FlatPackBytes(const std::wstring& nativeName, const std::wstring& comment,
                                         const PackTexts& texts = {});

}  // namespace app_tests

// What a pack compiled by brvlang from a PO file must hold, as po_texts.py wrote it at build time
// straight from the PO file: the header strings and every translated text.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pack_test {

struct PoTexts {
    std::wstring tag, nativeName, comment;
    std::vector<std::pair<std::string, std::wstring>> texts;  // key, text, in the PO file's order

    // The text of a key; throws when the PO file does not translate it.
    const std::wstring& Text(const std::string& key) const;
};

// Reads the file at a Unix path of the build (the tests run under Wine, which sees it on Z:).
PoTexts ReadPoTexts(const std::string& unixPath);

// A Windows path for a Unix path of the build.
std::wstring BuildFilePath(const std::string& unixPath);

}  // namespace pack_test

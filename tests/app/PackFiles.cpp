#include "tests/app/PackFiles.h"

#include "tests/lang/PackWriter.h"

namespace app_tests {

std::vector<unsigned char> ResourcePackBytes(const std::wstring& tag, const std::wstring& nativeName,
                                             const std::wstring& comment, const PackTexts& texts) {
    std::vector<pack_test::ResourceEntry> entries;
    for (const auto& [key, text] : texts) entries.push_back({std::wstring(key.begin(), key.end()), text});
    return pack_test::ResourceFile({pack_test::LangChunk(tag, nativeName),
                                    pack_test::ApidChunk(L"OrdaviaStudio", L"test pack"),
                                    pack_test::CmntChunk(comment), pack_test::StmpChunk(entries)});
}

std::vector<unsigned char> FlatPackBytes(const std::wstring& nativeName, const std::wstring& comment,
                                         const PackTexts& texts) {
    pack_test::FlatPack pack = pack_test::MakeFlatPack("LANGPU16", nativeName, texts);
    pack.headerStrings[3] = pack_test::PackString(comment, true);
    return pack_test::FlatPackBytes(pack);
}

}  // namespace app_tests

// The packs that tools/brvlang compiles, read by the program's own reader: every text the PO file
// translates must come back under its key, nothing else may, and the header must carry the tag,
// native name and comment. The expected texts are read straight from the PO files at build time
// (po_texts.py, PoTexts.h), not through brvlang, so that writer and reader cannot drift apart.
#include "lang/LangPackMan.h"
#include "tests/lang/PoTexts.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

using pack_test::BuildFilePath;
using pack_test::PoTexts;
using pack_test::ReadPoTexts;

struct PackCase {
    const char* name;
    const char* pack;      // a Unix path of the build
    const char* expected;  // its texts as po_texts.py wrote them
    int format;            // 2: resource file, 1: flat pack (no tag)
};

const std::string kDist = ORDAVIA_DIST_DIR;
const std::string kPacks = BRVLANG_PACKS_DIR;

const PackCase kPackCases[] = {
    {"shipped German", "/lang/OrdaviaStudio-de.brvLang", "de.txt", 2},
    {"shipped English", "/lang/OrdaviaStudio-en.brvLang", "en.txt", 2},
    {"German as a flat UTF-16 pack", "de16.brvLang", "de.txt", 1},
    {"edge cases", "edge.brvLang", "edge.txt", 2},
    {"edge cases as a flat UTF-16 pack", "edge16.brvLang", "edge.txt", 1},
};

std::string PackPath(const PackCase& c) {
    return c.pack[0] == '/' ? kDist + c.pack : kPacks + "/" + c.pack;
}

}  // namespace

TEST(BrvlangPacks, TheProgramReadsEveryTextOfThePoFileAndNothingElse) {
    for (const PackCase& c : kPackCases) {
        SCOPED_TRACE(c.name);
        const PoTexts expected = ReadPoTexts(kPacks + "/" + c.expected);
        ASSERT_FALSE(expected.texts.empty());

        CLangPackMan manager;
        manager.AddFile(BuildFilePath(PackPath(c)));
        ASSERT_EQ(manager.GetCount(), 1) << "the program does not list the pack";
        manager.Activate(0);
        const CLangPack* pack = manager.GetActive();
        ASSERT_NE(pack, nullptr) << "the program does not load the pack's texts";

        EXPECT_EQ(pack->GetFormat(), c.format);
        EXPECT_EQ(pack->GetLanguageTag().GetText(), c.format == 2 ? expected.tag : L"");
        EXPECT_EQ(pack->GetNativeName(), expected.nativeName);
        EXPECT_EQ(pack->GetComment(), expected.comment);
        EXPECT_EQ(pack->GetTextCount(), expected.texts.size()) << "untranslated or fuzzy entries became visible";
        for (const auto& [key, text] : expected.texts) {
            const wchar_t* got = pack->Lookup(key);
            if (!got) {
                ADD_FAILURE() << "no text for " << key;
            } else if (got != text) {
                ADD_FAILURE() << "wrong text for " << key;
            }
        }
    }
}

TEST(BrvlangPacks, ShippedPacksAreFoundAndChosenByTagAndName) {
    CLangPackMan manager;
    manager.Scan(BuildFilePath(kDist + "/lang/"), L"OrdaviaStudio");
    ASSERT_EQ(manager.GetCount(), 2);
    const PoTexts german = ReadPoTexts(kPacks + "/de.txt");
    const PoTexts english = ReadPoTexts(kPacks + "/en.txt");
    const struct {
        const wchar_t* request;
        const std::wstring& nativeName;
    } requests[] = {
        {L"de", german.nativeName},      {L"de-AT", german.nativeName}, {L"German", german.nativeName},
        {L"deutsch", german.nativeName}, {L"en-us", english.nativeName}, {L"en", english.nativeName},
        {L"english", english.nativeName},
    };
    for (const auto& r : requests) {
        SCOPED_TRACE(std::string(r.request, r.request + wcslen(r.request)));
        const CLangPack* pack = manager.GetAt(manager.FindByRequest(r.request));
        ASSERT_NE(pack, nullptr);
        EXPECT_EQ(pack->GetNativeName(), r.nativeName);
    }

    manager.Activate(manager.FindByRequest(L"de"));
    const auto& [key, text] = german.texts.front();
    EXPECT_EQ(manager.Localize(key.c_str(), std::wstring(L"English default")), text);
    EXPECT_EQ(manager.Localize("No.Such.Key", std::wstring(L"English default")), L"English default");
}

// The packs that tools/brvlang compiles, read by the program's own reader: every text the PO file
// translates must come back under its key, nothing else may, and the header must carry the tag,
// native name and comment. The expected texts are read straight from the PO files at build time
// (po_texts.py), not through brvlang, so the writer and the reader cannot drift apart unseen.
#include "lang/LangPackMan.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::wstring WindowsPath(const std::string& unixPath) {
    std::wstring path = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
    if (n <= 0) throw std::runtime_error("expected texts: not UTF-8");
    std::wstring wide(static_cast<size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                              n) != n)
        throw std::runtime_error("expected texts: not UTF-8");
    return wide;
}

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

struct ExpectedPack {
    std::wstring tag, nativeName, comment;
    std::vector<std::pair<std::string, std::wstring>> texts;
};

ExpectedPack ReadExpected(const std::string& unixPath) {
    std::ifstream in("Z:" + unixPath, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + unixPath);
    ExpectedPack expected;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(Unescape(field));
        if (fields.size() == 2) fields.emplace_back();  // an empty last field
        if (fields.size() != 3) throw std::runtime_error("expected texts: bad line " + line);
        if (fields[0] == "text") {
            expected.texts.emplace_back(fields[1], FromUtf8(fields[2]));
        } else if (fields[1] == "tag") {
            expected.tag = FromUtf8(fields[2]);
        } else if (fields[1] == "native") {
            expected.nativeName = FromUtf8(fields[2]);
        } else if (fields[1] == "comment") {
            expected.comment = FromUtf8(fields[2]);
        }
    }
    return expected;
}

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
        const ExpectedPack expected = ReadExpected(kPacks + "/" + c.expected);
        ASSERT_FALSE(expected.texts.empty());

        CLangPackMan manager;
        manager.AddFile(WindowsPath(PackPath(c)));
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
            const std::wstring* got = pack->Lookup(key);
            if (!got) {
                ADD_FAILURE() << "no text for " << key;
            } else if (*got != text) {
                ADD_FAILURE() << "wrong text for " << key;
            }
        }
    }
}

TEST(BrvlangPacks, ShippedPacksAreFoundAndChosenByTagAndName) {
    CLangPackMan manager;
    manager.Scan(WindowsPath(kDist + "/lang/"), L"OrdaviaStudio");
    ASSERT_EQ(manager.GetCount(), 2);
    const ExpectedPack german = ReadExpected(kPacks + "/de.txt");
    const ExpectedPack english = ReadExpected(kPacks + "/en.txt");
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

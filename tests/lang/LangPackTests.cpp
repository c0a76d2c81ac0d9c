#include "kest/win32/Handles.h"
#include "lang/LangPack.h"
#include "tests/kest/TempFolder.h"
#include "tests/lang/PackWriter.h"

#include <gtest/gtest.h>

#include <map>

using namespace pack_test;

namespace {

using Texts = std::map<std::string, std::wstring>;

Texts AllTexts(const CLangPack& pack, const std::vector<std::string>& keys) {
    Texts texts;
    for (const std::string& key : keys)
        if (const wchar_t* text = pack.Lookup(key)) texts[key] = text;
    return texts;
}

// The pack and the folder of its file, which outlives it: a loaded pack may hold its file open.
struct FlatResult {
    std::unique_ptr<kest_test::TempFolder> temp = std::make_unique<kest_test::TempFolder>();
    bool header = false;
    uint32_t version = 99, layout = 99;
    bool loaded = false;
    std::unique_ptr<CLangPack> pack;
};

FlatResult ReadFlat(const Bytes& bytes) {
    FlatResult r;
    const std::wstring path = r.temp->Path() + L"OrdaviaStudio_test.brvLang";
    WriteFile(path, bytes);
    r.pack = std::make_unique<CLangPack>(path);
    kest::P<kest::ISeekableInStream> file = OpenPackFile(path);
    r.header = r.pack->ReadHeader(*file, r.version, r.layout);
    if (r.header) r.loaded = r.pack->LoadTexts(*file, true, r.layout);
    return r;
}

FlatEntry Entry(const std::string& key, const std::wstring& text, bool wide = false, uint32_t flags = 1) {
    FlatEntry e;
    e.key = PackString(std::wstring(key.begin(), key.end()), wide);
    e.text = PackString(text, wide);
    e.flags = flags;
    return e;
}

}  // namespace

struct FlatCase {
    const char* name;
    FlatPack pack;
    bool header;
    bool loaded;
    std::wstring nativeName;
    Texts texts;  // of the keys a, b, c
};

class FlatPackRead : public testing::TestWithParam<FlatCase> {};

TEST_P(FlatPackRead, ReadsHeaderAndTexts) {
    const FlatCase& c = GetParam();
    FlatResult r = ReadFlat(FlatPackBytes(c.pack));
    ASSERT_EQ(c.header, r.header);
    if (!r.header) return;
    EXPECT_EQ(c.loaded, r.loaded);
    EXPECT_EQ(c.loaded, r.pack->IsLoaded());
    EXPECT_EQ(c.nativeName, r.pack->GetNativeName());
    EXPECT_EQ(c.texts, AllTexts(*r.pack, {"a", "b", "c"}));
    EXPECT_EQ(1, r.pack->GetFormat());
    EXPECT_EQ(L"", r.pack->GetLanguageTag().GetText());
}

namespace {

FlatPack Flat(const std::string& signature, std::vector<FlatEntry> entries, uint32_t layout = 1) {
    FlatPack p = MakeFlatPack(signature, L"Deutsch", {});
    if (signature != "LANGPACK") p.layout = layout;
    p.entries = std::move(entries);
    return p;
}

FlatPack With(FlatPack p, void (*change)(FlatPack&)) {
    change(p);
    return p;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Packs, FlatPackRead,
    testing::Values(
        // No version fields, and every entry of layout 0 is used.
        FlatCase{"LangpackHasNoVersionFields", Flat("LANGPACK", {Entry("a", L"eins"), Entry("b", L"zwei")}), true,
                 true, L"Deutsch", {{"a", L"eins"}, {"b", L"zwei"}}},
        FlatCase{"Layout0", Flat("LANGPCK2", {Entry("a", L"eins")}, 0), true, true, L"Deutsch", {{"a", L"eins"}}},
        FlatCase{"Version2IsRefused", With(Flat("LANGPCK2", {}), [](FlatPack& p) { p.version = 2; }), false, false,
                 L"", {}},
        FlatCase{"UnknownSignature", With(Flat("LANGPCK2", {}), [](FlatPack& p) { p.signature = "LANGPCK3"; }),
                 false, false, L"", {}},
        FlatCase{"HeaderLongerThanItsStringsIsSkipped",
                 With(Flat("LANGPCK2", {Entry("a", L"eins")}), [](FlatPack& p) { p.headerPadding = 9; }), true, true,
                 L"Deutsch", {{"a", L"eins"}}},
        FlatCase{"HeaderShorterThanItsStrings",
                 With(Flat("LANGPCK2", {}), [](FlatPack& p) { p.headerLength = 10; }), false, false, L"", {}},
        FlatCase{"HeaderLengthBeyondTheFile",
                 With(Flat("LANGPCK2", {}), [](FlatPack& p) { p.headerLength = 0xFFFFFFF0u; }), true, false,
                 L"Deutsch", {}},
        // Flags 0: the key is left out, and the reader still moves on by the entry length.
        FlatCase{"UnusedEntry", Flat("LANGPCK2", {Entry("a", L"eins", false, 0), Entry("b", L"zwei", false, 3)}),
                 true, true, L"Deutsch", {{"b", L"zwei"}}},
        FlatCase{"LaterLayoutFieldsAreSkipped",
                 With(Flat("LANGPCK2", {Entry("a", L"eins"), Entry("b", L"zwei")}, 2),
                      [](FlatPack& p) { p.entries[0].extra = Bytes(7, 0x55); }),
                 true, true, L"Deutsch", {{"a", L"eins"}, {"b", L"zwei"}}},
        FlatCase{"SameKeyReplacesTheEarlierText", Flat("LANGPCK2", {Entry("a", L"eins"), Entry("a", L"neu")}), true,
                 true, L"Deutsch", {{"a", L"neu"}}},
        // The last character must be the terminating zero, else the string reads as empty.
        FlatCase{"StringWithoutTerminator",
                 With(Flat("LANGPCK2", {Entry("a", L"eins"), Entry("b", L"zwei")}),
                      [](FlatPack& p) {
                          p.headerStrings[2] = FlatString(chk_test::Text("Deutsch"));
                          p.entries[1].text = FlatString(chk_test::Text("zwei"));
                      }),
                 true, true, L"", {{"a", L"eins"}, {"b", L""}}},
        FlatCase{"EmptyStringCount", With(Flat("LANGPCK2", {Entry("a", L"eins")}), [](FlatPack& p) {
                     p.entries[0].text = FlatString({});
                 }), true, true, L"Deutsch", {{"a", L""}}},
        FlatCase{"WideStrings", MakeFlatPack("LANGPU16", L"\x0420\x0443\x0441\x0441\x043A\x0438\x0439", {{"a", L"\x0434\x0430"}}),
                 true, true, L"\x0420\x0443\x0441\x0441\x043A\x0438\x0439", {{"a", L"\x0434\x0430"}}},
        // A UTF-16 string is checked on its last two bytes: one zero byte is not a terminator.
        FlatCase{"WideStringEndingInOneZeroByte", With(MakeFlatPack("LANGPU16", L"Deutsch", {{"a", L"x"}}), [](FlatPack& p) {
                     p.entries[0].text = FlatString({'a', 0, 'b'});
                     p.headerStrings[2] = FlatString({0x41, 0, 0x00, 0x01});
                 }), true, true, L"", {{"a", L""}}},
        // A wide text of an odd byte count ends with its last whole unit before the terminator,
        // however it lies in the file; so does a text that starts at an odd offset.
        FlatCase{"WideTextOfAnOddByteCount", With(MakeFlatPack("LANGPU16", L"Deutsch", {{"a", L"x"}}), [](FlatPack& p) {
                     p.entries[0].text = FlatString({'x', 0, 'y', 0, 0});
                 }), true, true, L"Deutsch", {{"a", L"x"}}},
        FlatCase{"WideTextAtAnOddOffset", With(MakeFlatPack("LANGPU16", L"Deutsch", {{"a", L"eins"}}), [](FlatPack& p) {
                     p.entries[0].key = FlatString({'a', 0, 0, 0, 0});
                 }), true, true, L"Deutsch", {{"a", L"eins"}}},
        // A damaged body keeps the entries before the damage but does not load.
        FlatCase{"EntryCountBeyondTheEntries",
                 With(Flat("LANGPCK2", {Entry("a", L"eins")}), [](FlatPack& p) { p.entryCount = 0xFFFFFFFFu; }), true,
                 false, L"Deutsch", {{"a", L"eins"}}},
        FlatCase{"EntryLengthBeyondTheBody",
                 With(Flat("LANGPCK2", {Entry("a", L"eins"), Entry("b", L"zwei")}),
                      [](FlatPack& p) { p.entries[1].entryLength = 1000; }),
                 true, false, L"Deutsch", {{"a", L"eins"}}},
        FlatCase{"FlagsBehindTheEntryEnd",
                 With(Flat("LANGPCK2", {Entry("a", L"eins"), Entry("b", L"zwei")}),
                      [](FlatPack& p) { p.entries[1].entryLength = 8; }),
                 true, false, L"Deutsch", {{"a", L"eins"}}},
        FlatCase{"StringCountBeyondTheBody",
                 With(Flat("LANGPACK", {Entry("a", L"eins"), Entry("b", L"zwei")}),
                      [](FlatPack& p) { p.entries[1].text = FlatString({}); p.entries[1].text[3] = 0x7F; }),
                 true, false, L"Deutsch", {{"a", L"eins"}}},
        FlatCase{"NoEntryCount", With(Flat("LANGPCK2", {}), [](FlatPack& p) { p.entryCount = 0; }), true, true,
                 L"Deutsch", {}}),
    [](const testing::TestParamInfo<FlatCase>& info) { return std::string(info.param.name); });

TEST(FlatPack, ATruncatedBodyKeepsTheEntriesBeforeTheDamage) {
    Bytes bytes = FlatPackBytes(Flat("LANGPCK2", {Entry("a", L"eins"), Entry("b", L"zwei"), Entry("c", L"drei")}));
    bytes.resize(bytes.size() - 5);
    FlatResult r = ReadFlat(bytes);
    ASSERT_TRUE(r.header);
    EXPECT_FALSE(r.loaded);
    EXPECT_EQ((Texts{{"a", L"eins"}, {"b", L"zwei"}}), AllTexts(*r.pack, {"a", "b", "c"}));
}

TEST(FlatPack, TheHeaderStringsAndTheLanguageCode) {
    FlatResult r = ReadFlat(FlatPackBytes(MakeFlatPack("LANGPCK2", L"Deutsch (German)", {})));
    ASSERT_TRUE(r.header);
    EXPECT_EQ(1u, r.version);
    EXPECT_EQ(1u, r.layout);
    EXPECT_EQ(L"first", r.pack->GetFirstDescription());
    EXPECT_EQ(L"second", r.pack->GetSecondDescription());
    EXPECT_EQ(L"comment", r.pack->GetComment());
    // Without a tag the language code is the native name.
    EXPECT_EQ(L"Deutsch (German)", r.pack->GetLanguageCode());
}

TEST(FlatPack, ClearForgetsTheTexts) {
    FlatResult r = ReadFlat(FlatPackBytes(MakeFlatPack("LANGPCK2", L"Deutsch", {{"a", L"eins"}})));
    ASSERT_TRUE(r.loaded);
    r.pack->Clear();
    EXPECT_FALSE(r.pack->IsLoaded());
    EXPECT_EQ(nullptr, r.pack->Lookup("a"));
}

// ---- Resource files ----

namespace {

struct ResourceResult {
    std::unique_ptr<kest_test::TempFolder> temp = std::make_unique<kest_test::TempFolder>();
    bool header = false;
    bool loaded = false;
    std::unique_ptr<CLangPack2> pack;
};

ResourceResult ReadResource(const Bytes& bytes) {
    ResourceResult r;
    const std::wstring path = r.temp->Path() + L"OrdaviaStudio_test.brvLang";
    WriteFile(path, bytes);
    r.pack = std::make_unique<CLangPack2>(path);
    r.header = r.pack->ReadHeader(path);
    r.loaded = r.pack->LoadTexts(path, true);
    EXPECT_EQ(path, r.pack->GetFilePath());
    return r;
}

using chk_test::Chunk;
using chk_test::Concat;

const std::vector<ResourceEntry> kTable = {{L"a", L"eins"}, {L"b", L"zwei"}};

// A string table of one entry, "a" -> the units "xyz" whose last one stands where the zero belongs.
const Bytes kTextWithoutZero = {1, 0, 0, 0,                          // entries
                                0, 0, 0, 0,                          // the unused number
                                2, 0, 0, 0, 'a', 0, 0, 0,            // key
                                3, 0, 0, 0, 'x', 0, 'y', 0, 'z', 0,  // text
                                0, 0, 0, 0, 0, 0, 0, 0};             // third and fourth string

}  // namespace

struct ResourceCase {
    const char* name;
    Bytes file;
    bool header;  // the header alone reads
    bool loads;
    std::wstring tag, nativeName;
    Texts texts;
};

class ResourceRead : public testing::TestWithParam<ResourceCase> {};

TEST_P(ResourceRead, ReadsHeaderAndTexts) {
    const ResourceCase& c = GetParam();
    ResourceResult r = ReadResource(c.file);
    EXPECT_EQ(c.header, r.header);
    EXPECT_EQ(c.loads, r.loaded);
    EXPECT_EQ(c.loads, r.pack->IsLoaded());
    if (!c.loads) return;
    EXPECT_EQ(2, r.pack->GetFormat());
    EXPECT_EQ(c.tag, r.pack->GetLanguageTag().GetText());
    EXPECT_EQ(c.nativeName, r.pack->GetNativeName());
    EXPECT_EQ(c.texts, AllTexts(*r.pack, {"a", "b", "c"}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ResourceRead,
    testing::Values(
        ResourceCase{"Complete", MakeResourceFile(L"de-DE", L"Deutsch", {{"a", L"eins"}, {"b", L"zwei"}}), true, true,
                     L"de-DE", L"Deutsch", {{"a", L"eins"}, {"b", L"zwei"}}},
        ResourceCase{"RsidBeforeLang",
                     ResourceFile({Chunk("RSID", ResourceString(L"x")), LangChunk(L"fr", L"Fran\x00E7" L"ais"),
                                   StmpChunk(kTable)}),
                     true, true, L"fr", L"Fran\x00E7" L"ais", {{"a", L"eins"}, {"b", L"zwei"}}},
        // The language must come first: behind another chunk it is not looked for.
        ResourceCase{"ApidFirst", ResourceFile({ApidChunk(L"1", L"2"), LangChunk(L"fr", L"Fr"), StmpChunk(kTable)}),
                     true, true, L"", L"", {{"a", L"eins"}, {"b", L"zwei"}}},
        ResourceCase{"NoTable", ResourceFile({LangChunk(L"fr", L"Fr")}), true, true, L"fr", L"Fr", {}},
        // A text with count 0 is absent; a text that is only the terminator is the empty text.
        ResourceCase{"AbsentAndEmptyTexts",
                     ResourceFile({LangChunk(L"fr", L"Fr"), StmpChunk({{L"a", std::nullopt}, {L"b", L""}})}), true, true,
                     L"fr", L"Fr", {{"b", L""}}},
        ResourceCase{"TwoTablesTheSecondWins",
                     ResourceFile({LangChunk(L"fr", L"Fr"), StmpChunk(kTable), StmpChunk({{L"c", L"drei"}})}), true, true,
                     L"fr", L"Fr", {{"c", L"drei"}}},
        ResourceCase{"TableWithoutData", ResourceFile({LangChunk(L"fr", L"Fr"), StmpChunk(kTable), Chunk("STMP", {})}),
                     true, true, L"fr", L"Fr", {{"a", L"eins"}, {"b", L"zwei"}}},
        ResourceCase{"SameKeyTwiceTheLaterWins",
                     ResourceFile({LangChunk(L"fr", L"Fr"), StmpChunk({{L"a", L"eins"}, {L"a", L"un"}})}), true, true,
                     L"fr", L"Fr", {{"a", L"un"}}},
        // A table that starts at an odd offset of the file is read all the same.
        ResourceCase{"TableAtAnOddOffset",
                     ResourceFile({LangChunk(L"fr", L"Fr"), Chunk("STMP", Concat({Chunk("RSID", Bytes{1}), DataChunk(kTable)}))}),
                     true, true, L"fr", L"Fr", {{"a", L"eins"}, {"b", L"zwei"}}},
        // The last unit of a string is its terminator, whatever the file holds there.
        ResourceCase{"TerminatorThatIsNotZero",
                     ResourceFile({LangChunk(L"fr", L"Fr"), Chunk("STMP", Chunk("data", kTextWithoutZero))}), true,
                     true, L"fr", L"Fr", {{"a", L"xy"}}},
        // Every string ends at its first zero unit: a tag or key with units behind an embedded zero
        // is the one without them.
        ResourceCase{"StringsEndAtTheirFirstZero",
                     ResourceFile({LangChunk(std::wstring(L"de\0AT", 5), std::wstring(L"Deutsch\0x", 9)),
                                   StmpChunk({{std::wstring(L"a\0b", 3), std::wstring(L"eins\0zwei", 9)}})}),
                     true, true, L"de", L"Deutsch", {{"a", L"eins"}}},
        ResourceCase{"WrongSignature", chk_test::ChunkFileBytes("URESFILX", LangChunk(L"fr", L"Fr")), false, false, L"",
                     L"", {}},
        ResourceCase{"ShorterThanItsHeader", chk_test::Text("URESFILE"), false, false, L"", L"", {}},
        // A file that lies about a length is refused, whatever part of it lies.
        ResourceCase{"RootSizeBeyondTheFile",
                     chk_test::ChunkFileWithRootSize("URESFILE", LangChunk(L"fr", L"Fr"), 4096), false, false, L"", L"", {}},
        ResourceCase{"NegativeRootSize", chk_test::ChunkFileWithRootSize("URESFILE", LangChunk(L"fr", L"Fr"), -1),
                     false, false, L"", L"", {}},
        ResourceCase{"ChunkBeyondItsParent",
                     ResourceFile({Chunk("STMP", Concat({Chunk("data", Bytes(8, 0), 4000)})), LangChunk(L"fr", L"Fr")}),
                     true, false, L"", L"", {}},
        ResourceCase{"RootChunkBeyondTheRoot", ResourceFile({LangChunk(L"fr", L"Fr"), Chunk("cmnt", {}, 500)}), false,
                     false, L"", L"", {}},
        ResourceCase{"NegativeChunkSize",
                     ResourceFile({LangChunk(L"fr", L"Fr"), chk_test::ChunkWithSize("cmnt", {}, -12)}), false, false, L"",
                     L"", {}},
        ResourceCase{"StringBeyondItsChunk",
                     ResourceFile({LangChunk(L"fr", L"Fr"), Chunk("cmnt", Concat({chk_test::Bytes{200, 0, 0, 0}})),
                                   StmpChunk(kTable)}),
                     false, false, L"", L"", {}},
        ResourceCase{"EntryCountBeyondTheTable",
                     ResourceFile({LangChunk(L"fr", L"Fr"),
                                   Chunk("STMP", Chunk("data", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0}))}),
                     true, false, L"", L"", {}}),
    [](const testing::TestParamInfo<ResourceCase>& info) { return std::string(info.param.name); });

TEST(ResourceFile, TheDescriptiveStrings) {
    ResourceResult r = ReadResource(MakeResourceFile(L"x-custom-AT", L"Eigen", {}));
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(L"first", r.pack->GetFirstDescription());
    EXPECT_EQ(L"second", r.pack->GetSecondDescription());
    EXPECT_EQ(L"comment", r.pack->GetComment());
    EXPECT_EQ(L"x-custom-AT", r.pack->GetLanguageCode());
}

TEST(ResourceFile, TheDescriptiveStringsEndAtTheirFirstZero) {
    ResourceResult r = ReadResource(ResourceFile({LangChunk(L"de", L"Deutsch"),
                                                  ApidChunk(std::wstring(L"one\0x", 5), std::wstring(L"two\0\0y", 6)),
                                                  CmntChunk(std::wstring(L"note\0z", 6))}));
    ASSERT_TRUE(r.header);
    EXPECT_EQ(L"one", r.pack->GetFirstDescription());
    EXPECT_EQ(L"two", r.pack->GetSecondDescription());
    EXPECT_EQ(L"note", r.pack->GetComment());
}

TEST(ResourceFile, AMissingFileIsNoPack) {
    CLangPack2 pack(L"C:\\nowhere\\OrdaviaStudio_x.brvLang");
    EXPECT_FALSE(pack.ReadHeader(pack.GetFilePath()));
    EXPECT_FALSE(pack.LoadTexts(pack.GetFilePath(), true));
}

// Enough texts to make the table double its buckets several times; every text stays reachable.
TEST(ResourceFile, ManyTexts) {
    std::vector<std::pair<std::string, std::wstring>> texts;
    for (int i = 0; i < 5000; ++i) texts.push_back({std::string("Key.").append(std::to_string(i)), L"Text " + std::to_wstring(i)});
    ResourceResult r = ReadResource(MakeResourceFile(L"de", L"Deutsch", texts));
    ASSERT_TRUE(r.loaded);
    EXPECT_EQ(texts.size(), r.pack->GetTextCount());
    for (const auto& [key, text] : texts) {
        const wchar_t* found = r.pack->Lookup(key);
        ASSERT_NE(nullptr, found) << key;
        EXPECT_EQ(text, found);
    }
}

// The texts are used where they lie in the file, which is mapped for that: the terminator the
// reader forces changes only the program's copy, and nobody can change the file under the texts
// while they are loaded; once they are cleared the file is free again.
TEST(ResourceFile, LoadedTextsLeaveTheFileAsItWasAndKeepItFromChanging) {
    kest_test::TempFolder temp;
    const std::wstring path = temp.Path() + L"OrdaviaStudio_fr.brvLang";
    const Bytes bytes = ResourceFile({LangChunk(L"fr", L"Fr"), Chunk("STMP", Chunk("data", kTextWithoutZero))});
    WriteFile(path, bytes);
    auto openForWriting = [&path] {
        return kest::win32::UniqueFile(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    };

    CLangPack2 pack(path);
    ASSERT_TRUE(pack.LoadTexts(path, true));
    EXPECT_STREQ(L"xy", pack.Lookup("a"));
    EXPECT_EQ(bytes, ReadFileBytes(path));
    EXPECT_FALSE(openForWriting());
    EXPECT_EQ(DWORD{ERROR_SHARING_VIOLATION}, ::GetLastError());

    pack.Clear();
    EXPECT_TRUE(openForWriting());
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

// Without clear, a second file adds its texts to those read before and replaces the same keys.
TEST(ResourceFile, LoadingWithoutClearKeepsTheTextsReadBefore) {
    kest_test::TempFolder temp;
    const std::wstring first = temp.Path() + L"OrdaviaStudio_1.brvLang", second = temp.Path() + L"OrdaviaStudio_2.brvLang";
    WriteFile(first, MakeResourceFile(L"fr", L"Fr", {{"a", L"un"}, {"b", L"deux"}}));
    WriteFile(second, MakeResourceFile(L"fr", L"Fr", {{"b", L"zwei"}, {"c", L"drei"}}));
    CLangPack2 pack(first);
    ASSERT_TRUE(pack.LoadTexts(first, true));
    ASSERT_TRUE(pack.LoadTexts(second, false));
    EXPECT_EQ((Texts{{"a", L"un"}, {"b", L"zwei"}, {"c", L"drei"}}), AllTexts(pack, {"a", "b", "c"}));
    EXPECT_EQ(3u, pack.GetTextCount());
}

// ---- Language tags ----

struct TagCase {
    const wchar_t* text;
    std::vector<std::wstring> subtags;
};

class TagParse : public testing::TestWithParam<TagCase> {};

TEST_P(TagParse, SplitsIntoSubtags) {
    EXPECT_EQ(GetParam().subtags, LanguageTag(GetParam().text).GetSubtags());
}

INSTANTIATE_TEST_SUITE_P(Tags, TagParse,
                         testing::Values(TagCase{L"de", {L"de"}}, TagCase{L"de-DE", {L"de", L"DE"}},
                                         TagCase{L"x-custom", {L"x-custom"}}, TagCase{L"X-custom-AT", {L"X-custom", L"AT"}},
                                         TagCase{L"", {L""}}, TagCase{L"de-", {L"de", L""}},
                                         TagCase{L"zh-Hant-TW", {L"zh", L"Hant", L"TW"}}));

struct MatchCase {
    const wchar_t* request;
    const wchar_t* pack;
    bool exact, packMoreGeneral, packMoreSpecific;
};

class TagMatching : public testing::TestWithParam<MatchCase> {};

TEST_P(TagMatching, MatchesInEachKind) {
    const MatchCase& c = GetParam();
    const LanguageTag request(c.request), pack(c.pack);
    EXPECT_EQ(c.exact, TagMatches(request, pack, TagMatch::Exact));
    EXPECT_EQ(c.packMoreGeneral, TagMatches(request, pack, TagMatch::PackMoreGeneral));
    EXPECT_EQ(c.packMoreSpecific, TagMatches(request, pack, TagMatch::PackMoreSpecific));
}

INSTANTIATE_TEST_SUITE_P(Tags, TagMatching,
                         testing::Values(MatchCase{L"de-DE", L"DE-de", true, true, true},
                                         MatchCase{L"de-AT", L"de", false, true, false},
                                         MatchCase{L"de", L"de-CH", false, false, true},
                                         MatchCase{L"de-AT", L"de-DE", false, false, false},
                                         MatchCase{L"deu", L"de", false, false, false},
                                         MatchCase{L"", L"", true, true, true},
                                         MatchCase{L"", L"de", false, false, false},
                                         MatchCase{L"en-us", L"en-US", true, true, true}));

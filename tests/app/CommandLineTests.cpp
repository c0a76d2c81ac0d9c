// The command line: tokens, list files and the launch request the engine receives.
#include "app/CommandLine.h"
#include "app/PyrlanApp.h"
#include "kest/win32/Handles.h"
#include "tests/app/AppTestFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using app_tests::CTempFolder;
using app_tests::ListEncoding;
using app_tests::ListFileBytes;

namespace {

std::wstring Replace(std::wstring text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::vector<std::wstring> Tokens(const std::wstring& line) {
    CCommandLineTokens tokens(line);
    std::vector<std::wstring> out;
    for (size_t i = 0; i < tokens.TokenCount(); ++i) out.push_back(tokens.Token(i));
    return out;
}

struct TokenCase {
    const wchar_t* line;
    std::vector<std::wstring> tokens;
};

class Tokenizer : public ::testing::TestWithParam<TokenCase> {};

TEST_P(Tokenizer, SplitsAtBlanksAndKeepsQuotedBlanks) {
    EXPECT_EQ(GetParam().tokens, Tokens(GetParam().line)) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Tokenizer,
    ::testing::Values(TokenCase{L"", {}}, TokenCase{L"  \t ", {}},
                      TokenCase{L"-audiocd list.txt", {L"-audiocd", L"list.txt"}},
                      TokenCase{L"   -a    b  ", {L"-a", L"b"}},
                      TokenCase{L"-open \"C:\\My Files\\song.mp3\"", {L"-open", L"C:\\My Files\\song.mp3"}},
                      TokenCase{L"\"C:\\My Files\\list.txt\"", {L"C:\\My Files\\list.txt"}},
                      TokenCase{L"\"abc\"", {L"abc"}},
                      // A quote before the next blank ends the token in front of it.
                      TokenCase{L"a\"b c\"d e", {L"a", L"b c", L"d", L"e"}},
                      TokenCase{L"-x \"no closing quote", {L"-x", L"no closing quote"}},
                      // Without a blank after it, a quote does not separate; only the end quote goes.
                      TokenCase{L"say\"hi\"", {L"say\"hi"}},
                      TokenCase{L"-autoplay -selectdrive E: -rip", {L"-autoplay", L"-selectdrive", L"E:", L"-rip"}}));

TEST(Tokenizer, TokenBeyondTheLastIsEmpty) {
    CCommandLineTokens tokens(L"-open");
    EXPECT_EQ(1u, tokens.TokenCount());
    EXPECT_EQ(L"", tokens.Token(1));
    EXPECT_EQ(L"", tokens.Token(100));
}

struct ArgumentsCase {
    const wchar_t* full;
    const wchar_t* arguments;
};

class ProgramArguments : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(ProgramArguments, AreTheTextAfterTheProgramName) {
    EXPECT_EQ(GetParam().arguments, CommandLineArguments(GetParam().full));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProgramArguments,
    ::testing::Values(ArgumentsCase{L"\"C:\\Program Files\\Ordavia\\OrdaviaStudio.exe\" -datacd \"C:\\l.txt\"",
                                    L"-datacd \"C:\\l.txt\""},
                      ArgumentsCase{L"OrdaviaStudio.exe   -open x", L"-open x"},
                      ArgumentsCase{L"OrdaviaStudio.exe", L""}, ArgumentsCase{L"\"C:\\a b\\o.exe\"", L""},
                      ArgumentsCase{L"\"C:\\a b\\o.exe\"\t-rip", L"-rip"}, ArgumentsCase{L"", L""}));

std::vector<unsigned char> Utf16Le(const std::wstring& text) {
    std::vector<unsigned char> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    return bytes;
}

std::vector<unsigned char> Plus(std::vector<unsigned char> bytes, std::vector<unsigned char> more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

struct ListCase {
    const char* name;
    std::vector<unsigned char> bytes;
    std::vector<std::wstring> items;
};

class ListFileParse : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListFileParse, ItemsAreTheTrimmedNonEmptyLines) {
    CPathnameListFile list;
    list.Parse(GetParam().bytes.data(), GetParam().bytes.size());
    std::vector<std::wstring> items;
    for (size_t i = 0; i < list.Count(); ++i) items.push_back(list.Item(i));
    EXPECT_EQ(GetParam().items, items);
}

const std::vector<std::wstring> kTwoPaths = {L"C:\\a.txt", L"C:\\folder"};

INSTANTIATE_TEST_SUITE_P(
    Files, ListFileParse,
    ::testing::Values(
        ListCase{"LittleEndianWithMark", ListFileBytes(kTwoPaths, ListEncoding::LittleEndianWithMark), kTwoPaths},
        ListCase{"BigEndianWithMark", ListFileBytes(kTwoPaths, ListEncoding::BigEndianWithMark), kTwoPaths},
        // The first unit is always the mark: without one, the first character is lost.
        ListCase{"WithoutMark", ListFileBytes(kTwoPaths, ListEncoding::LittleEndianWithoutMark),
                 {L":\\a.txt", L"C:\\folder"}},
        ListCase{"OddTrailingByte", Plus(ListFileBytes({L"C:\\a.txt"}, ListEncoding::LittleEndianWithMark), {0x41}),
                 {L"C:\\a.txt"}},
        ListCase{"BlankLinesAndPadding", Utf16Le(L"\xFEFF\n  C:\\a.txt \t\r\n\r\n   \n\tC:\\b\nC:\\c"),
                 {L"C:\\a.txt", L"C:\\b", L"C:\\c"}},
        ListCase{"OnlyLineFeedsSplit", Utf16Le(L"\xFEFF" L"C:\\a\rC:\\b\r\n"), {L"C:\\a\rC:\\b"}},
        ListCase{"TextEndsAtNul", Utf16Le(std::wstring(L"\xFEFF" L"C:\\a\nC:\\b\0C:\\c\n", 16)), {L"C:\\a", L"C:\\b"}},
        ListCase{"Empty", {}, {}}, ListCase{"OneByte", {0xFF}, {}}, ListCase{"OnlyTheMark", {0xFF, 0xFE}, {}},
        ListCase{"NonBmpKept", Utf16Le(L"\xFEFF" L"C:\\\xD83C\xDFB5.wav"), {L"C:\\\xD83C\xDFB5.wav"}}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

TEST(ListFileLoad, MissingFoldersAndOversizedFilesAreNotLists) {
    CTempFolder temp;
    CPathnameListFile list;
    EXPECT_FALSE(list.Load(temp / L"missing.txt"));
    temp.MakeFolder(L"folder");
    EXPECT_FALSE(list.Load(temp / L"folder"));

    temp.WriteBytes(L"empty.txt", {});
    EXPECT_TRUE(list.Load(temp / L"empty.txt"));
    EXPECT_EQ(0u, list.Count());

    temp.WriteBytes(L"list.txt", ListFileBytes(kTwoPaths, ListEncoding::BigEndianWithMark));
    ASSERT_TRUE(list.Load(temp / L"list.txt"));
    ASSERT_EQ(2u, list.Count());
    EXPECT_EQ(L"C:\\folder", list.Item(1));

    // A list file is never read whole when it is larger than any list could be.
    {
        kest::win32::UniqueFile big(::CreateFileW((temp / L"big.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(big);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(CPathnameListFile::kMaxFileBytes) + 2;
        ASSERT_TRUE(::SetFilePointerEx(big.get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(big.get()));
    }
    EXPECT_FALSE(list.Load(temp / L"big.txt"));
}

// The launch request, parsed by the application object from a command line.
enum class Items { None, Audio, Data, Open };

struct LaunchItem {
    uint32_t kind;  // data items only
    std::wstring path;
};

struct LaunchCase {
    const char* name;
    const wchar_t* commandLine;  // {T} is the test folder, {L} the list file
    std::vector<std::wstring> listLines;  // written to {L} when not empty
    ListEncoding encoding;
    int32_t mode;
    int32_t flag;
    Items items;
    std::vector<LaunchItem> expected;
    const wchar_t* drive;  // null when the record has none
    bool listRemains;
};

const auto LE = ListEncoding::LittleEndianWithMark;

const LaunchCase kLaunchCases[] = {
    {"DataFileAndFolder", L"-datacd {L}", {L"{T}a.txt", L"{T}folder"}, LE, 1, 2, Items::Data,
     {{0, L"{T}a.txt"}, {3, L"{T}folder\\*.*"}}, nullptr, false},
    {"DataBigEndian", L"-datacd {L}", {L"{T}a.txt", L"{T}folder"}, ListEncoding::BigEndianWithMark, 1, 2, Items::Data,
     {{0, L"{T}a.txt"}, {3, L"{T}folder\\*.*"}}, nullptr, false},
    // Without a mark the first path loses its drive letter and no longer exists.
    {"DataWithoutMark", L"-datacd {L}", {L"{T}a.txt", L"{T}folder"}, ListEncoding::LittleEndianWithoutMark, 1, 2,
     Items::Data, {{3, L"{T}folder\\*.*"}}, nullptr, false},
    {"DataAllMissing", L"-datacd {L}", {L"{T}missing.txt", L"{T}gone\\"}, LE, 1, 2, Items::Data, {}, nullptr, false},
    // A folder already ending in a separator still gets the whole "\*.*" ending.
    {"DataFolderWithSeparator", L"-DataCD \"{L}\"", {L"{T}folder\\", L"{T}My Files"}, LE, 1, 2, Items::Data,
     {{3, L"{T}folder\\\\*.*"}, {3, L"{T}My Files\\*.*"}}, nullptr, false},
    {"AudioTracksAreNotChecked", L"-audiocd {L}", {L"{T}a.txt", L"track two.wav"}, LE, 0, 1, Items::Audio,
     {{0, L"{T}a.txt"}, {0, L"track two.wav"}}, nullptr, false},
    {"AudioInCapitals", L"-AUDIOCD {L}", {L"one.wav"}, LE, 0, 1, Items::Audio, {{0, L"one.wav"}}, nullptr, false},
    {"AudioEmptyList", L"-audiocd {L}", {L"   "}, LE, 0, 1, Items::Audio, {}, nullptr, false},
    {"OpenQuotedPathWithBlank", L"-open \"{T}My Files\\song.mp3\"", {}, LE, 11, 1, Items::Open,
     {{0, L"{T}My Files\\song.mp3"}}, nullptr, true},
    {"AutoplaySelectDriveRip", L"-autoplay -selectdrive E: -rip", {}, LE, 17, 1, Items::None, {}, L"E:", true},
    {"AutoplaySelectDriveOnly", L"-autoplay -selectdrive E:", {}, LE, 1, 0, Items::None, {}, L"E:", true},
    {"AutoplayUnknownThenCopy", L"-autoplay -unknown -copy", {}, LE, 3, 1, Items::None, {}, nullptr, true},
    {"AutoplaySelectDriveLast", L"-AutoPlay -copy -selectdrive", {}, LE, 3, 1, Items::None, {}, nullptr, true},
    {"SingleToken", L"-autoplay", {}, LE, 1, 0, Items::None, {}, nullptr, true},
    {"SingleListSwitch", L"-datacd", {L"{T}a.txt"}, LE, 1, 0, Items::None, {}, nullptr, true},
    {"UnknownSwitchReadsButKeepsTheList", L"-burn {L}", {L"{T}a.txt"}, LE, 1, 0, Items::None, {}, nullptr, true},
    {"MissingList", L"-datacd {T}nolist.txt", {}, LE, 1, 0, Items::None, {}, nullptr, true},
    {"ListIsAFolder", L"-audiocd {T}folder", {}, LE, 1, 0, Items::None, {}, nullptr, true},
    {"Empty", L"", {}, LE, 1, 0, Items::None, {}, nullptr, true},
};

struct LaunchParam {
    LaunchCase launch;
    bool nt;
};

std::wstring HostString(const void* text, bool nt) {
    if (!text) return L"(null)";
    if (nt) return static_cast<const wchar_t*>(text);
    const char* narrow = static_cast<const char*>(text);
    const int n = ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

class LaunchRequest : public ::testing::TestWithParam<LaunchParam> {
protected:
    CTempFolder m_temp;
    CPyrlanApp m_app{CPyrlanApp::InstanceGuard::None};

    std::wstring Expand(const std::wstring& text) const {
        return Replace(Replace(text, L"{L}", m_temp / L"list.txt"), L"{T}", m_temp.Path());
    }
};

TEST_P(LaunchRequest, CarriesTheTaskOfTheCommandLine) {
    const LaunchCase& c = GetParam().launch;
    const bool nt = GetParam().nt;
    m_temp.WriteBytes(L"a.txt", {'a'});
    m_temp.MakeFolder(L"folder");
    m_temp.MakeFolder(L"My Files");
    if (!c.listLines.empty()) {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : c.listLines) lines.push_back(Expand(line));
        m_temp.WriteBytes(L"list.txt", ListFileBytes(lines, c.encoding));
    }
    m_app.m_isNT = nt;
    m_app.m_commandLine = Expand(c.commandLine);
    const long blocksBefore = HostHeapLiveBlocks();

    m_app.m_hostRecord = BlazenHostRecord{};
    m_app.m_hostRecord.launchMode = 1;
    m_app.ParseLaunchRequest();
    const BlazenHostRecord& r = m_app.m_hostRecord;

    EXPECT_EQ(c.mode, r.launchMode);
    EXPECT_EQ(c.flag, r.launchFlag);
    EXPECT_EQ(c.drive ? std::wstring(c.drive) : L"(null)", HostString(r.autoplayDrive, nt));
    if (!c.listLines.empty()) {
        EXPECT_EQ(c.listRemains, m_temp.Exists(L"list.txt"));
    }
    EXPECT_TRUE(m_temp.Exists(L"a.txt"));

    std::vector<std::pair<uint32_t, std::wstring>> got, want;
    for (const LaunchItem& item : c.expected) want.emplace_back(item.kind, Expand(item.path));
    switch (c.items) {
    case Items::None:
        EXPECT_EQ(nullptr, r.launchItems);
        break;
    case Items::Audio: {
        ASSERT_EQ(&m_app.m_audioTracks, r.launchItems);
        const auto* list = static_cast<const AudioTrackList*>(r.launchItems);
        EXPECT_EQ(0u, list->zero);
        ASSERT_NE(nullptr, list->items);
        for (uint32_t i = 0; i < list->count; ++i) got.emplace_back(0, HostString(list->items[i], nt));
        break;
    }
    case Items::Data: {
        ASSERT_EQ(&m_app.m_dataItems, r.launchItems);
        const auto* list = static_cast<const DataItemList*>(r.launchItems);
        EXPECT_EQ(0u, list->zero0);
        EXPECT_EQ(0u, list->zero1);
        ASSERT_NE(nullptr, list->items);
        for (uint32_t i = 0; i < list->count; ++i) {
            got.emplace_back(list->items[i].kind, HostString(list->items[i].path, nt));
            // The disc's root reads as "\" in either encoding.
            EXPECT_EQ(L"\\", HostString(list->items[i].target, nt));
            EXPECT_EQ(0, std::memcmp(list->items[i].target, "\\\0\0", 4));
        }
        break;
    }
    case Items::Open: {
        ASSERT_EQ(&m_app.m_openRequest, r.launchItems);
        const auto* open = static_cast<const OpenRequest*>(r.launchItems);
        EXPECT_EQ(0u, open->zero);
        got.emplace_back(0, HostString(open->path, nt));
        break;
    }
    }
    EXPECT_EQ(want, got);

    // After the engine: the audio and data lists go back to the heap, the document path stays.
    m_app.ReleaseLaunchItems();
    EXPECT_EQ(blocksBefore + (c.items == Items::Open ? 1 : 0), HostHeapLiveBlocks());
    EXPECT_EQ(0u, m_app.m_audioTracks.count);
    EXPECT_EQ(nullptr, m_app.m_audioTracks.items);
    EXPECT_EQ(0u, m_app.m_dataItems.count);
    EXPECT_EQ(nullptr, m_app.m_dataItems.items);
    if (c.items == Items::Open) {
        EXPECT_EQ(Expand(c.expected[0].path), HostString(m_app.m_openRequest.path, nt));
    }
}

std::vector<LaunchParam> AllLaunchParams() {
    std::vector<LaunchParam> params;
    for (bool nt : {true, false})
        for (const LaunchCase& c : kLaunchCases) params.push_back({c, nt});
    return params;
}

INSTANTIATE_TEST_SUITE_P(CommandLines, LaunchRequest, ::testing::ValuesIn(AllLaunchParams()),
                         [](const ::testing::TestParamInfo<LaunchParam>& info) {
                             return std::string(info.param.launch.name) + (info.param.nt ? "_NT" : "_Ansi");
                         });

TEST(LaunchDefaults, TheVariantNameChoosesThePlainStartsTask) {
    EXPECT_EQ(0, DefaultLaunchMode(L"blazen_audiocd"));
    EXPECT_EQ(16, DefaultLaunchMode(L"BLAZEN_RESTOREBACKUP"));
    EXPECT_EQ(1, DefaultLaunchMode(L"BLAZNE_DATACD"));
    EXPECT_EQ(1, DefaultLaunchMode(L"BLAZEN_DATACD"));
}

}  // namespace

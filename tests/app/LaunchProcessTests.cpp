// What the engine receives from the real program: the record, its tables and the launch
// request of a command line, read back from the recording engine's file.
#include "app/BlazenAbi.h"
#include "kest/win32/Handles.h"
#include "tests/app/AppTestFolder.h"
#include "tests/app/support/ProgramRun.h"
#include "tests/app/support/RecordLayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace testing_support;
using app_tests::CTempFolder;
using app_tests::ListEncoding;
using app_tests::ListFileBytes;

namespace {

// The recording engine's file as key and values; a key written more than once keeps each.
class CRecord {
public:
    explicit CRecord(const std::wstring& text) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            const std::wstring line = text.substr(start, end - start);
            const size_t equals = line.find(L'=');
            if (equals != std::wstring::npos) m_values[line.substr(0, equals)].push_back(line.substr(equals + 1));
            start = end + 1;
        }
    }
    const std::vector<std::wstring>& All(const std::wstring& key) const {
        static const std::vector<std::wstring> none;
        auto it = m_values.find(key);
        return it == m_values.end() ? none : it->second;
    }
    std::wstring One(const std::wstring& key) const {
        const auto& all = All(key);
        return all.size() == 1 ? all[0] : L"(" + std::to_wstring(all.size()) + L" values)";
    }
    // A text field: its text without quotes and escapes, or "null".
    std::wstring Text(const std::wstring& key) const { return Unquote(One(key)); }

    // "null", or the text of a quoted, escaped value.
    static std::wstring Unquote(const std::wstring& value) {
        if (value.size() < 2 || value.front() != L'"' || value.back() != L'"') return value;
        std::wstring out;
        for (size_t i = 1; i + 1 < value.size(); ++i) {
            if (value[i] == L'\\' && i + 2 < value.size()) {
                ++i;
                out += value[i] == L'n' ? L'\n' : value[i];
            } else {
                out += value[i];
            }
        }
        return out;
    }
    // Splits "kind "path" "target"" into its three parts.
    static std::vector<std::wstring> Parts(const std::wstring& value) {
        std::vector<std::wstring> parts;
        size_t i = 0;
        while (i < value.size()) {
            if (value[i] == L' ') {
                ++i;
                continue;
            }
            size_t end = i;
            if (value[i] == L'"') {
                for (end = i + 1; end < value.size() && value[end] != L'"'; ++end)
                    if (value[end] == L'\\') ++end;
                ++end;
            } else {
                end = value.find(L' ', i);
                if (end == std::wstring::npos) end = value.size();
            }
            parts.push_back(Unquote(value.substr(i, end - i)));
            i = end;
        }
        return parts;
    }

    // The record field the 32-bit product has at offset, where this flavour keeps it.
    uint64_t Raw(size_t offset) const {
        const std::wstring hex = One(L"raw");
        if (hex.size() != 2 * app_tests::RecordSize()) return 0xDEADBEEF;
        std::string bytes(app_tests::RecordSize(), '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
        return app_tests::ReadField(bytes.data(), offset);
    }
    static uint32_t Word(const std::wstring& hex, size_t offset) {
        uint32_t value = 0;
        for (size_t b = 0; b < 4; ++b) {
            const size_t at = 2 * (offset + b);
            if (at + 2 > hex.size()) return 0xDEADBEEF;
            value |= static_cast<uint32_t>(std::stoul(hex.substr(at, 2), nullptr, 16)) << (8 * b);
        }
        return value;
    }

private:
    std::map<std::wstring, std::vector<std::wstring>> m_values;
};

std::wstring Hex(const void* data, size_t size) {
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring out;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char byte = static_cast<const unsigned char*>(data)[i];
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

TEST(EngineReceives, EveryFixedValueTextTableAndTheFont) {
    CProgramFolder program;
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(run.dialogs.empty());
    const CRecord r(run.record);
    ASSERT_EQ(2 * app_tests::RecordSize(), r.One(L"raw").size()) << run.record;

    const struct {
        size_t offset;
        uint64_t value;
    } fixed[] = {{0x000, 22},         {0x008, app_tests::kUserRootKey}, {0x024, 0},          {0x030, 0x3FFF0DFF},
                 {0x034, 1},          {0x038, 0},          {0x03C, 0},          {0x044, 0},
                 {0x084, 0x00FFFFFF}, {0x088, 1},          {0x08C, 3},          {0x094, 1},
                 {0x098, 0},          {0x09C, 0x001F1811}, {0x0B0, 0},          {0x0B4, 0x00FFFFFF},
                 {0x0B8, 0x00513E2D}, {0x0BC, 8},          {0x0C0, 321},        {0x0C4, 576},
                 {0x0C8, 339},        {0x0CC, 2086},       {0x0D0, 3},          {0x0D8, 0x047FBBAF},
                 {0x0E0, 0x00513E2D}, {0x0E8, 0},          {0x0EC, 2006},       {0x0F8, 0},
                 {0x100, 0x00008205}, {0x104, 0},          {0x108, 0},          {0x10C, 0},
                 {0x114, 0}};
    for (const auto& f : fixed) EXPECT_EQ(f.value, r.Raw(f.offset)) << "field 0x" << std::hex << f.offset;
    for (size_t offset = 0x04C; offset <= 0x068; offset += 4) EXPECT_EQ(0u, r.Raw(offset)) << std::hex << offset;
    for (size_t offset = 0x078; offset <= 0x080; offset += 4) EXPECT_EQ(0u, r.Raw(offset)) << std::hex << offset;
    EXPECT_EQ(0u, r.Raw(0x0A0));
    EXPECT_EQ(0u, r.Raw(0x0A4));
    // Icons, the module, the callbacks and the data manager are there.
    for (size_t offset : {0x010, 0x014, 0x018, 0x028, 0x02C, 0x0E4, 0x120})
        EXPECT_NE(0u, r.Raw(offset)) << "field 0x" << std::hex << offset;

    EXPECT_EQ(L"SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced", r.Text(L"text.004"));
    EXPECT_FALSE(r.Text(L"text.00C").empty());
    EXPECT_EQ(L"Brenvalo Ordavia 2010 Advanced", r.Text(L"text.01C"));
    const std::wstring about = r.Text(L"text.020");
    EXPECT_EQ(0u, about.find(L"<about><p><b>%APPNAME%,version %APPVER%</b><br/>&copy;")) << about;
    EXPECT_EQ(L"", r.Text(L"text.048"));
    EXPECT_EQ(L"Problem Report %APPNAME%", r.Text(L"text.06C"));
    const std::wstring address = r.Text(L"text.070");
    EXPECT_EQ(address.size() - 28, address.find(L"/report/index2.py/sendreport")) << address;
    EXPECT_EQ(L"application/x-www-form-urlencoded", r.Text(L"text.074"));
    EXPECT_EQ(L"9.24.0", r.Text(L"text.090"));
    EXPECT_EQ(L"2710", r.Text(L"text.0A8"));
    EXPECT_EQ(L"", r.Text(L"text.0AC"));
    EXPECT_EQ(L"null", r.Text(L"text.0E8"));
    EXPECT_EQ(L"Please fill out the form completely and provide a detailed description of the problem.\n If possible, "
              L"please describe the steps that are necessary to reproduce it.\nThank you for your effort!",
              r.Text(L"text.0F0"));
    EXPECT_EQ(L"Problem reports are usuallly answered within two business days.", r.Text(L"text.0F4"));
    EXPECT_EQ(L"html", r.Text(L"text.0FC"));
    EXPECT_EQ(L"OrdaviaStudio", r.Text(L"text.118"));
    EXPECT_EQ(L"9.24.0.11 (2710)", r.Text(L"text.11C"));
    EXPECT_EQ(L"support@brenvalo.example", r.Text(L"text.0DC"));
    EXPECT_EQ(L"the successor of %APP_NAME%", r.Text(L"text.110"));

    const LOGFONTW font = app_tests::ExpectedHostFont();
    EXPECT_EQ(Hex(&font, sizeof font), r.One(L"font"));

    // No help file beside the program: every topic address starts right at "::/".
    EXPECT_EQ(L"85", r.One(L"help.count"));
    EXPECT_EQ(L"", r.Text(L"help.file"));
    const std::vector<std::wstring>& rows = r.All(L"help.row");
    ASSERT_EQ(85u, rows.size());
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"0", L"::/proginf.htm"}), CRecord::Parts(rows[0]));
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"62700", L"::/multiformatcd_chooseformat.htm"}),
              CRecord::Parts(rows[84]));
    const std::wstring head = r.One(L"help.head");
    EXPECT_EQ(2u, CRecord::Word(head, 0));
    EXPECT_EQ(85u, CRecord::Word(head, 4));
    EXPECT_EQ(0u, CRecord::Word(head, offsetof(HelpTopicTable, zero)));
}

TEST(EngineReceives, HelpTopicsAddressTheEnglishHelpFileWhenNoOtherExists) {
    CProgramFolder program;
    const std::wstring lang = program.Folder() + L"lang\\";
    ASSERT_TRUE(::CreateDirectoryW(lang.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    {
        kest::win32::UniqueFile help(::CreateFileW((lang + L"english.chm").c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(help);
    }
    RunResult run = program.Run();
    ASSERT_FALSE(run.timedOut);
    const CRecord r(run.record);
    EXPECT_EQ(lang + L"english.chm", r.Text(L"help.file"));
    const std::vector<std::wstring>& rows = r.All(L"help.row");
    ASSERT_EQ(85u, rows.size());
    EXPECT_EQ((std::vector<std::wstring>{L"0", L"120400", lang + L"english.chm::/dvdvideo_writestatus.htm"}),
              CRecord::Parts(rows[64]));
}

// The product's own settings key, with values put there for one run and taken away after.
class ProductValues {
public:
    ProductValues() {
        m_created = ::RegOpenKeyExW(HKEY_CURRENT_USER, kPath, 0, KEY_READ, m_probe.put()) != ERROR_SUCCESS;
        m_probe.reset();
        EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                   m_key.put(), nullptr));
    }
    ~ProductValues() {
        for (const std::wstring& name : m_names) ::RegDeleteValueW(m_key.get(), name.c_str());
        m_key.reset();
        if (m_created) ::RegDeleteKeyW(HKEY_CURRENT_USER, kPath);
    }
    void Put(const std::wstring& name, const std::wstring& value) {
        m_names.push_back(name);
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetValueExW(m_key.get(), name.c_str(), 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(value.c_str()),
                                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
    }

private:
    static constexpr const wchar_t* kPath = L"SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced";
    kest::win32::UniqueRegKey m_probe, m_key;
    bool m_created = false;
    std::vector<std::wstring> m_names;
};

TEST(EngineReceives, EmptyProductCodeAsNoTextButEmptyEditionAsEmptyText) {
    CProgramFolder program;
    RunResult run;
    {
        ProductValues values;
        values.Put(L"ProductCode", L"");
        values.Put(L"Edition", L"");
        values.Put(L"Version", L"9.24.1");
        run = program.Run();
    }
    ASSERT_FALSE(run.timedOut);
    const CRecord r(run.record);
    EXPECT_EQ(0u, r.Raw(0x0A8));
    EXPECT_EQ(L"null", r.Text(L"text.0A8"));
    EXPECT_NE(0u, r.Raw(0x0AC));
    EXPECT_EQ(L"", r.Text(L"text.0AC"));
    EXPECT_EQ(L"9.24.1", r.Text(L"text.090"));
}

// The help file named after the request is a folder here: start-up passes it over just as
// the fallbacks do, and the English file is taken.
TEST(EngineReceives, AFolderNamedLikeTheHelpFileIsNoHelpFile) {
    CProgramFolder program;
    const std::wstring lang = program.Folder() + L"lang\\";
    ASSERT_TRUE(::CreateDirectoryW(lang.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((lang + L"xx-test.chm").c_str(), nullptr));
    {
        kest::win32::UniqueFile help(::CreateFileW((lang + L"english.chm").c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(help);
    }
    RunResult run;
    {
        ProductValues values;
        values.Put(L"DefaultLangID", L"xx-test");
        run = program.Run();
    }
    ASSERT_FALSE(run.timedOut);
    const CRecord r(run.record);
    EXPECT_EQ(L"xx-test", r.Text(L"text.00C")) << run.record;
    EXPECT_EQ(lang + L"english.chm", r.Text(L"help.file"));
}

// Command lines as shortcuts and AutoPlay give them; {T} is a folder of the test, {L} the list.
struct LaunchCase {
    const char* name;
    const wchar_t* arguments;
    std::vector<std::wstring> listLines;  // written to {L} when not empty
    ListEncoding encoding;
    const wchar_t* mode;
    const wchar_t* flag;
    std::vector<std::wstring> items;  // "launch.track", "launch.item" or "launch.open" lines, decoded
    const wchar_t* drive;
    bool listRemains;
};

const auto LE = ListEncoding::LittleEndianWithMark;

const LaunchCase kLaunchCases[] = {
    {"DataList", L"-datacd {L}", {L"{T}a.txt", L"{T}folder"}, LE, L"1", L"2",
     {L"0|{T}a.txt|\\", L"3|{T}folder\\*.*|\\"}, L"null", false},
    {"DataListBigEndian", L"-datacd \"{L}\"", {L"{T}a.txt", L"{T}folder"}, ListEncoding::BigEndianWithMark, L"1", L"2",
     {L"0|{T}a.txt|\\", L"3|{T}folder\\*.*|\\"}, L"null", false},
    {"DataListWithoutMark", L"-datacd {L}", {L"{T}a.txt", L"{T}folder"}, ListEncoding::LittleEndianWithoutMark, L"1",
     L"2", {L"3|{T}folder\\*.*|\\"}, L"null", false},
    {"DataPathsAllMissing", L"-datacd {L}", {L"{T}missing.txt", L"{T}gone"}, LE, L"1", L"2", {}, L"null", false},
    {"AudioList", L"-audiocd {L}", {L"{T}one.wav", L"two.wav"}, LE, L"0", L"1", {L"{T}one.wav", L"two.wav"}, L"null",
     false},
    {"AudioListInCapitals", L"-AUDIOCD {L}", {L"one.wav"}, LE, L"0", L"1", {L"one.wav"}, L"null", false},
    {"OpenQuotedPathWithBlank", L"-open \"{T}My Files\\song.mp3\"", {}, LE, L"11", L"1", {L"{T}My Files\\song.mp3"},
     L"null", true},
    {"AutoplayRip", L"-autoplay -selectdrive E: -rip", {}, LE, L"17", L"1", {}, L"E:", true},
    {"AutoplayDriveOnly", L"-autoplay -selectdrive E:", {}, LE, L"1", L"0", {}, L"E:", true},
    {"AutoplayUnknownThenCopy", L"-autoplay -unknown -copy", {}, LE, L"3", L"1", {}, L"null", true},
    {"SingleToken", L"-autoplay", {}, LE, L"1", L"0", {}, L"null", true},
    {"UnknownSwitch", L"-burndisc {L}", {L"{T}a.txt"}, LE, L"1", L"0", {}, L"null", true},
    {"MissingList", L"-datacd {T}nolist.txt", {}, LE, L"1", L"0", {}, L"null", true},
};

class Launch : public ::testing::TestWithParam<LaunchCase> {};

std::wstring Expand(std::wstring text, const CTempFolder& temp) {
    for (const auto& [from, to] : {std::pair<std::wstring, std::wstring>{L"{L}", temp / L"list.txt"},
                                   std::pair<std::wstring, std::wstring>{L"{T}", temp.Path()}})
        for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    return text;
}

TEST_P(Launch, EngineGetsTheRequestAndTheListsComeBackAfterIt) {
    const LaunchCase& c = GetParam();
    CTempFolder temp;
    temp.WriteBytes(L"a.txt", {'a'});
    temp.MakeFolder(L"folder");
    temp.MakeFolder(L"My Files");
    if (!c.listLines.empty()) {
        std::vector<std::wstring> lines;
        for (const std::wstring& line : c.listLines) lines.push_back(Expand(line, temp));
        temp.WriteBytes(L"list.txt", ListFileBytes(lines, c.encoding));
    }
    CProgramFolder program;
    RunResult run = program.Run(Expand(c.arguments, temp));
    ASSERT_FALSE(run.timedOut);
    EXPECT_TRUE(run.dialogs.empty());
    const CRecord r(run.record);
    EXPECT_EQ(c.mode, r.One(L"launch.mode")) << run.record;
    EXPECT_EQ(c.flag, r.One(L"launch.flag"));
    EXPECT_EQ(c.drive, r.Text(L"text.0E8"));
    if (!c.listLines.empty()) {
        EXPECT_EQ(c.listRemains, temp.Exists(L"list.txt"));
    }

    std::vector<std::wstring> items, expected;
    for (const std::wstring& item : c.items) expected.push_back(Expand(item, temp));
    for (const wchar_t* key : {L"launch.track", L"launch.open"})
        for (const std::wstring& value : r.All(key)) items.push_back(CRecord::Unquote(value));
    for (const std::wstring& value : r.All(L"launch.item")) {
        const std::vector<std::wstring> parts = CRecord::Parts(value);
        ASSERT_EQ(3u, parts.size()) << value;
        items.push_back(parts[0] + L"|" + parts[1] + L"|" + parts[2]);
    }
    EXPECT_EQ(expected, items);

    // Audio and data lists are taken back before the results are: the engine then finds
    // their headers empty.
    const std::wstring after = r.One(L"launch.after");
    if (c.mode == std::wstring(L"0") && c.flag == std::wstring(L"1")) {
        EXPECT_EQ(std::wstring(2 * sizeof(AudioTrackList), L'0'), after);
        EXPECT_EQ(c.items.size(), CRecord::Word(r.One(L"launch.head"), 4));
    } else if (c.flag == std::wstring(L"2")) {
        EXPECT_EQ(std::wstring(2 * sizeof(DataItemList), L'0'), after);
        EXPECT_EQ(c.items.size(), CRecord::Word(r.One(L"launch.head"), 8));
    } else if (c.mode == std::wstring(L"11")) {
        // The open request keeps its path: only the leading 32-bit zero is zero.
        EXPECT_EQ(L"00000000", after.substr(0, 8));
        EXPECT_NE(std::wstring(after.size() - 8, L'0'), after.substr(8));
    } else {
        EXPECT_EQ(L"null", after);
    }
}

std::wstring MachineAction(const std::wstring& handlerKey) {
    kest::win32::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, handlerKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"(no key)";
    wchar_t text[256] = {};
    DWORD type = 0, bytes = sizeof text - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"Action", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return L"(no value)";
    return text;
}

TEST(Autoplay, EachStartWritesTheBurnAndCopyTextsOfTheMachinesHandlers) {
    const std::wstring handlers =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\"
        L"BRVBrenvalo_Ordavia_2010_Advanced";
    const wchar_t* actions[] = {L"BURNONARRIVAL", L"COPYONARRIVAL", L"RIPONARRIVAL"};
    for (const wchar_t* action : actions) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (handlers + action).c_str());
    {
        kest::win32::UniqueRegKey rip;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (handlers + L"RIPONARRIVAL").c_str(), 0,
                                                   nullptr, 0, KEY_WRITE, nullptr, rip.put(), nullptr));
        const std::wstring text = L"Rip as installed";
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(rip.get(), L"Action", 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    }
    CProgramFolder program;
    RunResult run = program.Run();
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(L"Burn CD/DVD", MachineAction(handlers + L"BURNONARRIVAL"));
    EXPECT_EQ(L"Copy CD/DVD", MachineAction(handlers + L"COPYONARRIVAL"));
    EXPECT_EQ(L"Rip as installed", MachineAction(handlers + L"RIPONARRIVAL"));
    for (const wchar_t* action : actions) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (handlers + action).c_str());
}

INSTANTIATE_TEST_SUITE_P(CommandLines, Launch, ::testing::ValuesIn(kLaunchCases),
                         [](const ::testing::TestParamInfo<LaunchCase>& info) { return std::string(info.param.name); });

}  // namespace

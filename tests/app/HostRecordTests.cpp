// The record the engine receives, read back by offset as the engine reads it.
#include "app/About.h"
#include "app/NarrowText.h"
#include "tests/app/AppTestFolder.h"
#include "tests/app/RecordingManager.h"
#include "app/PyrlanApp.h"
#include "tests/app/support/RecordLayout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

namespace {

// The field the 32-bit product has at offset, read where this flavour keeps it.
uint64_t At(const BlazenHostRecord& r, size_t offset) { return app_tests::ReadField(&r, offset); }

std::wstring TextAt(const BlazenHostRecord& r, size_t offset, bool wide) {
    const uint64_t address = At(r, offset);
    const void* text = reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
    return app_tests::HostText(text, wide);
}

// Values the engine is built against; the shell neither reads nor derives them.
const std::map<size_t, uint64_t> kFixedValues = {
    {0x000, 22},         {0x008, app_tests::kUserRootKey}, {0x030, 0x3FFF0DFF}, {0x034, 1},          {0x038, 0},
    {0x03C, 0},          {0x084, 0x00FFFFFF}, {0x088, 1},          {0x08C, 3},          {0x094, 1},
    {0x09C, 0x001F1811}, {0x0B4, 0x00FFFFFF}, {0x0B8, 0x00513E2D}, {0x0BC, 8},          {0x0C0, 321},
    {0x0C4, 576},        {0x0C8, 339},        {0x0CC, 2086},       {0x0D0, 3},          {0x0D8, 0x047FBBAF},
    {0x0E0, 0x00513E2D}, {0x0E8, 0},          {0x0EC, 2006},       {0x100, 0x00008205},
};

// Fields that hold addresses or handles the shell fills in.
const std::set<size_t> kFilledFields = {0x004, 0x00C, 0x010, 0x014, 0x018, 0x01C, 0x020, 0x028, 0x02C, 0x040,
                                        0x048, 0x06C, 0x070, 0x074, 0x090, 0x0A8, 0x0AC, 0x0D4, 0x0DC, 0x0E4,
                                        0x0F0, 0x0F4, 0x0FC, 0x110, 0x118, 0x11C, 0x120};

const wchar_t kTaskDescription[] =
    L"Please fill out the form completely and provide a detailed description of the problem.\n If possible, please "
    L"describe the steps that are necessary to reproduce it.\nThank you for your effort!";

class HostRecord : public ::testing::TestWithParam<bool> {
protected:
    CPyrlanApp m_app{CPyrlanApp::InstanceGuard::None};

    void SetUp() override {
        m_app.m_isNT = GetParam();
        m_app.m_commandLine.clear();
        m_app.m_fullVersion = L"9.24.0.11 (2710)";
        m_app.m_version = L"9.24.0";
        m_app.m_edition = L"Pro \x00FC";
        m_app.m_productCode = L"2710";
        m_app.m_reportAddress = L"https://reports.brenvalo.example/report/index2.py/sendreport";
        m_app.m_reportTransform = L"html";
        m_app.m_languageName = L"de-de";
        m_app.m_langPackPath = L"C:\\Ordavia\\lang\\OrdaviaStudio_de.brvLang";
        m_app.m_upgradeName = L"the successor of %APP_NAME%";
        m_app.m_helpFile = L"C:\\Ordavia\\lang\\OrdaviaStudio_de.chm";
        // A manager of its own, so that the record's manager field is compared with something.
        m_app.m_appManager = app_tests::CreateRecordingManager(nullptr, nullptr, nullptr, false);
        m_app.ComposeAboutText();
    }
    bool Wide() const { return GetParam(); }
};

TEST_P(HostRecord, FixedValuesAndEveryUnlistedFieldZero) {
    m_app.FillHostRecord();
    const BlazenHostRecord& r = m_app.m_hostRecord;
    ASSERT_EQ(app_tests::RecordSize(), sizeof r);
    for (size_t offset = 0; offset <= 0x120; offset += 4) {
        const auto fixed = kFixedValues.find(offset);
        if (fixed != kFixedValues.end()) {
            EXPECT_EQ(fixed->second, At(r, offset)) << "field 0x" << std::hex << offset;
        } else if (!kFilledFields.count(offset)) {
            EXPECT_EQ(0u, At(r, offset)) << "field 0x" << std::hex << offset;
        }
    }
    EXPECT_NE(0u, At(r, 0x028));
    EXPECT_NE(0u, At(r, 0x02C));
    EXPECT_NE(0u, At(r, 0x0E4));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&m_app.m_font), At(r, 0x0D4));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&m_app.m_helpTable), At(r, 0x040));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m_app.m_appManager.get()), At(r, 0x120));
}

TEST_P(HostRecord, TextFieldsFollowTheHostEncoding) {
    m_app.FillHostRecord();
    const BlazenHostRecord& r = m_app.m_hostRecord;
    const std::map<size_t, std::wstring> texts = {
        {0x004, L"SOFTWARE\\brenvalo\\Brenvalo Ordavia 2010 Advanced"},
        {0x00C, L"de-de"},
        {0x01C, L"Brenvalo Ordavia 2010 Advanced"},
        {0x020, m_app.m_aboutText},
        {0x048, L"C:\\Ordavia\\lang\\OrdaviaStudio_de.brvLang"},
        {0x06C, L"Problem Report %APPNAME%"},
        {0x070, L"https://reports.brenvalo.example/report/index2.py/sendreport"},
        {0x074, L"application/x-www-form-urlencoded"},
        {0x090, L"9.24.0"},
        {0x0A8, L"2710"},
        {0x0AC, L"Pro \x00FC"},
        {0x0F0, kTaskDescription},
        {0x0F4, L"Problem reports are usuallly answered within two business days."},
        {0x0FC, L"html"},
        {0x118, L"OrdaviaStudio"},
        {0x11C, L"9.24.0.11 (2710)"},
    };
    for (const auto& [offset, text] : texts) EXPECT_EQ(text, TextAt(r, offset, Wide())) << "field 0x" << std::hex << offset;
    // Two fields are UTF-16 whatever the system: the support address always, the upgrade name
    // only where texts are UTF-16 at all.
    EXPECT_EQ(L"support@brenvalo.example", TextAt(r, 0x0DC, true));
    EXPECT_EQ(Wide() ? L"the successor of %APP_NAME%" : L"(null)", TextAt(r, 0x110, true));
    // Narrow texts live in the application's own buffers, wide ones in its strings.
    EXPECT_EQ(Wide() ? reinterpret_cast<uintptr_t>(m_app.m_version.c_str())
                     : reinterpret_cast<uintptr_t>(m_app.m_versionA.c_str()),
              At(r, 0x090));
}

TEST_P(HostRecord, EmptyProductCodeIsNoPointerButEmptyTextsAre) {
    m_app.m_productCode.clear();
    m_app.m_edition.clear();
    m_app.m_langPackPath.clear();
    m_app.FillHostRecord();
    const BlazenHostRecord& r = m_app.m_hostRecord;
    EXPECT_EQ(0u, At(r, 0x0A8));
    EXPECT_EQ(L"", TextAt(r, 0x0AC, Wide()));
    EXPECT_EQ(L"", TextAt(r, 0x048, Wide()));
}

TEST_P(HostRecord, FontIsBoldShellDialog) {
    m_app.FillHostRecord();
    const LOGFONTW expected = app_tests::ExpectedHostFont();
    const auto* font = reinterpret_cast<const LOGFONTW*>(static_cast<uintptr_t>(At(m_app.m_hostRecord, 0x0D4)));
    ASSERT_NE(nullptr, font);
    EXPECT_EQ(0, std::memcmp(&expected, font, sizeof expected));
}

TEST_P(HostRecord, HelpTableHeadAndAboutTextPlaceholdersForTheEngine) {
    m_app.FillHostRecord();
    const HelpTopicTable& table = m_app.m_helpTable;
    EXPECT_EQ(2u, table.version);
    EXPECT_EQ(85u, table.rowCount);
    EXPECT_EQ(m_app.m_helpRows.data(), table.rows);
    EXPECT_EQ(0u, table.zero);
    const std::wstring about = TextAt(m_app.m_hostRecord, 0x020, Wide());
    EXPECT_NE(std::wstring::npos, about.find(L"%APPNAME%"));
    EXPECT_NE(std::wstring::npos, about.find(L"%APPVER%"));
}

INSTANTIATE_TEST_SUITE_P(Encodings, HostRecord, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "NT" : "Ansi"; });

TEST(HostRecord, LaunchRequestIsParsedLastOverTheDefaultMode) {
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    app.m_isNT = true;
    app.m_commandLine = L"-autoplay -selectdrive F: -copy";
    app.FillHostRecord();
    EXPECT_EQ(3u, At(app.m_hostRecord, 0x034));
    EXPECT_EQ(1u, At(app.m_hostRecord, 0x038));
    EXPECT_EQ(L"F:", TextAt(app.m_hostRecord, 0x0E8, true));
}

// Narrow copies live in fixed buffers: a longer text is cut, never overflows.
TEST(NarrowText, LongTextsAreCutAndTerminated) {
    CNarrowText small;
    small.Set(std::wstring(5000, L'x'));
    EXPECT_EQ(std::string(1039, 'x'), small.c_str());

    auto about = std::make_unique<TNarrowText<65536>>();
    about->Set(std::wstring(70000, L'y'));
    EXPECT_EQ(65535u, std::strlen(about->c_str()));

    small.Set(L"");
    EXPECT_STREQ("", small.c_str());
}

TEST(NarrowText, CutKeepsDoubleByteCharactersWhole) {
    if (!::IsValidCodePage(932)) GTEST_SKIP() << "no Japanese code page here";
    char buffer[6];
    std::memset(buffer, '#', sizeof buffer);
    // Three two-byte characters do not fit five bytes of text: two are kept, not two and a half.
    CopyToCodePage(L"\x3042\x3044\x3046", 932, buffer, sizeof buffer);
    EXPECT_EQ(4u, std::strlen(buffer));
    EXPECT_STREQ("\x82\xA0\x82\xA2", buffer);

    CopyToCodePage(L"a\x3042\x3044", 932, buffer, sizeof buffer);
    EXPECT_STREQ("a\x82\xA0\x82\xA2", buffer);
}

TEST(About, TemplateWithTheMakersLinesAndTheEnginesPlaceholders) {
    CPyrlanApp app(CPyrlanApp::InstanceGuard::None);
    app.ComposeAboutText();
    const std::wstring& about = app.m_aboutText;
    EXPECT_EQ(0u, about.find(L"<about><p><b>%APPNAME%,version %APPVER%</b><br/>&copy; "));
    const size_t secondBlock = about.find(L"</p></about><about><p>");
    ASSERT_NE(std::wstring::npos, secondBlock);
    EXPECT_NE(std::wstring::npos, about.rfind(L".example | ", secondBlock));
    EXPECT_LT(about.find(L"<br/>", secondBlock), about.find(L" - ", secondBlock));
    EXPECT_EQ(about.size() - 12, about.rfind(L"</p></about>"));
    EXPECT_EQ(std::wstring::npos, about.find(L"%DOCUMENTATION%"));
    EXPECT_EQ(app_tests::HostText(app.m_aboutTextA.c_str(), false), about);
}

TEST(About, OwnPlaceholdersTakeTheProgramsWords) {
    EXPECT_EQ(L"<p>Documentation: A, Graphics: B, Documentation</p> %APPNAME%",
              ExpandAboutText(L"<p>%DOCUMENTATION%: A, %GRAPHICS%: B, %DOCUMENTATION%</p> %APPNAME%"));
}

}  // namespace

#include "tests/app/AppTestFolder.h"

#include "tests/kest/TempFolder.h"

#include <gtest/gtest.h>

namespace app_tests {

namespace {

// The folder's path ends in a backslash; the test-side removal takes it without.
void RemoveTree(const std::wstring& folder) {
    kest_test::TempFolder::RemoveTree(folder.substr(0, folder.size() - 1));
}

}  // namespace

CTempFolder::CTempFolder() {
    wchar_t base[MAX_PATH] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH, base);
    static LONG serial = 0;
    m_path = std::wstring(base, n < MAX_PATH ? n : 0) + L"ordavia-shell-" + std::to_wstring(::GetCurrentProcessId()) +
             L"-" + std::to_wstring(::InterlockedIncrement(&serial)) + L"\\";
    RemoveTree(m_path);
    EXPECT_TRUE(::CreateDirectoryW(m_path.c_str(), nullptr)) << "cannot create the test folder";
}

CTempFolder::~CTempFolder() {
    RemoveTree(m_path);
}

void CTempFolder::MakeFolder(const std::wstring& relative) const {
    EXPECT_TRUE(::CreateDirectoryW((m_path + relative).c_str(), nullptr));
}

void CTempFolder::WriteBytes(const std::wstring& relative, const std::vector<unsigned char>& bytes) const {
    kest::win32::UniqueFile file(::CreateFileW((m_path + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(bytes.empty() ||
                ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(bytes.size(), written);
}

bool CTempFolder::Exists(const std::wstring& relative) const {
    return ::GetFileAttributesW((m_path + relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<unsigned char> ListFileBytes(const std::vector<std::wstring>& lines, ListEncoding encoding) {
    std::wstring text;
    if (encoding != ListEncoding::LittleEndianWithoutMark) text += L'\xFEFF';
    for (const std::wstring& line : lines) text += line + L"\r\n";
    std::vector<unsigned char> bytes;
    for (wchar_t c : text) {
        const unsigned char low = static_cast<unsigned char>(c & 0xFF), high = static_cast<unsigned char>(c >> 8);
        if (encoding == ListEncoding::BigEndianWithMark) {
            bytes.push_back(high);
            bytes.push_back(low);
        } else {
            bytes.push_back(low);
            bytes.push_back(high);
        }
    }
    return bytes;
}

std::wstring HostText(const void* text, bool wide) {
    if (!text) return L"(null)";
    if (wide) return static_cast<const wchar_t*>(text);
    const char* narrow = static_cast<const char*>(text);
    const int n = ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, narrow, -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

LOGFONTW ExpectedHostFont() {
    LOGFONTW font{};
    font.lfHeight = -12;
    font.lfWeight = 700;
    font.lfCharSet = 1;
    font.lfOutPrecision = 7;
    font.lfQuality = 4;
    font.lfPitchAndFamily = 2;
    wcscpy_s(font.lfFaceName, L"MS Shell Dlg");
    return font;
}

}  // namespace app_tests

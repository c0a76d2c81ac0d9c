// A temporary folder of the test's own, removed with everything in it, plus the small file
// writers the shell tests need.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace app_tests {

class CTempFolder {
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }  // ends in "\"
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

    void MakeFolder(const std::wstring& relative) const;
    void WriteBytes(const std::wstring& relative, const std::vector<unsigned char>& bytes) const;
    bool Exists(const std::wstring& relative) const;

private:
    std::wstring m_path;
};

enum class ListEncoding { LittleEndianWithMark, BigEndianWithMark, LittleEndianWithoutMark };

// A text the shell lends the engine, read back: UTF-16 when wide, else the ANSI code page;
// "(null)" for no text.
std::wstring HostText(const void* text, bool wide);

// The font the engine's windows use: bold "MS Shell Dlg", 12 pixels.
LOGFONTW ExpectedHostFont();

// The bytes of a list file holding the lines, each ended by CR LF.
std::vector<unsigned char> ListFileBytes(const std::vector<std::wstring>& lines, ListEncoding encoding);

}  // namespace app_tests

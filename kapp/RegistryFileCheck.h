// Decides whether a registry file from a data store writes or deletes only keys below one key.
// A store is a file outside the program's control and the registry editor runs with the
// program's (administrator's) rights, so the check fails closed: only the two forms the editor
// writes are read, and every line that the editor could take for a key line counts as one.
//
//     CRegistryFileCheck check(L"HKEY_CURRENT_USER\\Software\\X");
//     check.Feed(bytes, size);   // as often as needed: the file is never held whole
//     bool confined = check.Finish();
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kapp {

class CRegistryFileCheck {
public:
    explicit CRegistryFileCheck(std::wstring key);

    // The next bytes of the file.
    void Feed(const uint8_t* bytes, size_t size);
    // Whether the whole file was one of the accepted forms and every key line lay in the key.
    bool Finish();

    // Longer key lines are refused (a registry path is far shorter).
    static constexpr size_t kMaxKeyLine = 64 * 1024;

private:
    enum class Encoding { Unknown, Utf16, Ansi };
    void Character(char32_t c);
    void EndLine();

    std::wstring m_key;
    Encoding m_encoding = Encoding::Unknown;
    std::string m_start;        // the first bytes, until the form is known
    bool m_haveLowByte = false;  // UTF-16: the first byte of a code unit is waiting
    uint8_t m_lowByte = 0;
    bool m_refused = false;
    size_t m_line = 0;          // lines ended so far
    bool m_lineStarted = false;  // a character other than a blank came on this line
    bool m_keyLine = false;
    std::wstring m_text;        // the header line, or the current key line
};

// Whether the bytes of a whole registry file pass the check above.
bool IsRegistryFileConfined(const std::string& bytes, const std::wstring& key);

}  // namespace kapp

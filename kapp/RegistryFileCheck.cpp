#include "kapp/RegistryFileCheck.h"

#include <cwctype>

namespace kapp {
namespace {

const char kUtf16Mark[] = "\xFF\xFE";
const wchar_t kUtf16Header[] = L"Windows Registry Editor Version 5.00";
const wchar_t kAnsiHeader[] = L"REGEDIT4";

// Characters that end a line for us: more than the editor's own, so that no line it sees
// starts where we do not look.
bool IsLineBreak(char32_t c) {
    return c == 0 || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Characters that may stand in front of a "[" without making the line something else: any
// blank, control, format or byte order character.
bool IsBlank(char32_t c) {
    return c <= 0x20 || c == 0x7F || (c >= 0x80 && c <= 0xA0) || c == 0x1680 || c == 0x180E ||
           (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) || (c >= 0x205F && c <= 0x206F) ||
           c == 0x3000 || c == 0xFEFF || c == 0xFFFE;
}

wchar_t Upper(wchar_t c) { return wchar_t(std::towupper(c)); }

bool SameNoCase(const std::wstring& a, size_t from, const std::wstring& b) {
    if (a.size() - from < b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i)
        if (Upper(a[from + i]) != Upper(b[i])) return false;
    return true;
}

}  // namespace

CRegistryFileCheck::CRegistryFileCheck(std::wstring key) : m_key(std::move(key)) {
    if (m_key.empty()) m_refused = true;
}

void CRegistryFileCheck::Feed(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size && !m_refused; ++i) {
        const uint8_t b = bytes[i];
        if (m_encoding == Encoding::Unknown) {
            // The UTF-16 form starts with its byte order mark; the 8-bit one with "REGEDIT4".
            m_start.push_back(char(b));
            if (m_start.size() == 2 && m_start == kUtf16Mark) {
                m_encoding = Encoding::Utf16;
            } else if (m_start.size() == 2 && m_start[0] == 'R' && m_start[1] == 'E') {
                m_encoding = Encoding::Ansi;
                Character(U'R');
                Character(U'E');
            } else if (m_start.size() >= 2) {
                m_refused = true;
            }
            continue;
        }
        if (m_encoding == Encoding::Ansi) {
            // No 8-bit file of the editor's holds a NUL byte; one that does is another form.
            if (b == 0) {
                m_refused = true;
                return;
            }
            Character(char32_t(b));
            continue;
        }
        if (!m_haveLowByte) {
            m_lowByte = b;
            m_haveLowByte = true;
            continue;
        }
        m_haveLowByte = false;
        Character(char32_t(m_lowByte | (char32_t(b) << 8)));
    }
}

void CRegistryFileCheck::Character(char32_t c) {
    if (m_refused) return;
    if (IsLineBreak(c)) {
        EndLine();
        return;
    }
    if (m_line == 0) {
        // The header line is kept whole: it must be exactly the editor's.
        if (m_text.size() > 64) {
            m_refused = true;
            return;
        }
        m_text.push_back(wchar_t(c));
        return;
    }
    if (!m_lineStarted) {
        if (IsBlank(c)) return;
        m_lineStarted = true;
        m_keyLine = c == U'[';
        m_text.clear();
        if (!m_keyLine) return;
    }
    if (!m_keyLine) return;  // a value line or anything else: nothing of it is kept
    if (m_text.size() >= kMaxKeyLine) {
        m_refused = true;
        return;
    }
    m_text.push_back(wchar_t(c));
}

void CRegistryFileCheck::EndLine() {
    if (m_line == 0) {
        const std::wstring expected = m_encoding == Encoding::Utf16 ? kUtf16Header : kAnsiHeader;
        if (m_text != expected) m_refused = true;
    } else if (m_keyLine) {
        // "[name]" writes the key, "[-name]" deletes it; what follows the last "]" is ignored
        // by the editor.
        size_t nameStart = 1;
        if (nameStart < m_text.size() && m_text[nameStart] == L'-') ++nameStart;
        const size_t close = m_text.find_last_of(L']');
        if (close == std::wstring::npos || close < nameStart) {
            m_refused = true;
        } else {
            const std::wstring name = m_text.substr(nameStart, close - nameStart);
            const bool inside = SameNoCase(name, 0, m_key) &&
                                (name.size() == m_key.size() || name[m_key.size()] == L'\\');
            if (!inside || name.find(L"\\\\") != std::wstring::npos) m_refused = true;
        }
    }
    ++m_line;
    m_lineStarted = false;
    m_keyLine = false;
    m_text.clear();
}

bool CRegistryFileCheck::Finish() {
    if (m_refused || m_encoding == Encoding::Unknown || m_haveLowByte) return false;
    EndLine();
    return !m_refused && m_line >= 1;
}

bool IsRegistryFileConfined(const std::string& bytes, const std::wstring& key) {
    CRegistryFileCheck check(key);
    check.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return check.Finish();
}

}  // namespace kapp

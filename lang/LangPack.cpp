#include "lang/LangPack.h"

#include "kest/win32/Paths.h"
#include "lang/PackText.h"

#include <windows.h>

#include <cstring>
#include <tuple>
#include <limits>
#include <vector>

namespace {

constexpr int32_t kMaxCall = std::numeric_limits<int32_t>::max();

// Reads up to count bytes; returns how many came.
int64_t ReadSome(kest::IInStream& in, void* buffer, int64_t count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    int64_t total = 0;
    while (total < count) {
        const int64_t want = count - total;
        const int32_t n = in.Read(bytes + total, static_cast<int32_t>(want < kMaxCall ? want : kMaxCall));
        if (n <= 0) break;
        total += n;
    }
    return total;
}

bool ReadUInt32(kest::IInStream& in, uint32_t& value) {
    uint8_t b[4];
    if (ReadSome(in, b, 4) != 4) return false;
    value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
            static_cast<uint32_t>(b[3]) << 24;
    return true;
}

void FromAnsiInto(std::wstring& wide, const char* text, size_t length) {
    wide.clear();
    if (length == 0) return;
    const int n = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return;
    wide.resize(static_cast<size_t>(n));
    if (::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide.data(), n) != n) wide.clear();
}

// A flat-pack string of n bytes: ANSI or UTF-16LE, its last character a zero that belongs to n.
// Without that zero it reads as the empty string; the text ends at its first zero. The result
// goes into a buffer the caller reuses from entry to entry.
void DecodeFlatStringInto(std::wstring& text, const uint8_t* bytes, uint32_t n, bool wide) {
    text.clear();
    if (wide) {
        if (n < 2 || bytes[n - 1] != 0 || bytes[n - 2] != 0) return;
        const size_t units = (n - 2) / 2;
        text.reserve(units);
        for (size_t i = 0; i < units; ++i) {
            const auto unit = static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
            if (unit == 0) break;
            text += unit;
        }
        return;
    }
    if (n < 1 || bytes[n - 1] != 0) return;
    const auto* ansi = reinterpret_cast<const char*>(bytes);
    FromAnsiInto(text, ansi, std::strlen(ansi));
}

std::wstring DecodeFlatString(const uint8_t* bytes, uint32_t n, bool wide) {
    std::wstring text;
    DecodeFlatStringInto(text, bytes, n, wide);
    return text;
}

}  // namespace

std::string KeyToUtf8(const wchar_t* key, size_t length) {
    std::string utf8;
    utf8.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        if (key[i] >= 0x80) {
            const int n = ::WideCharToMultiByte(CP_UTF8, 0, key, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
            if (n <= 0) return std::string();
            utf8.assign(static_cast<size_t>(n), '\0');
            ::WideCharToMultiByte(CP_UTF8, 0, key, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
            return utf8;
        }
        utf8 += static_cast<char>(key[i]);
    }
    return utf8;
}

CLangPack::CLangPack(std::wstring filePath) : m_filePath(std::move(filePath)) {}

CLangPack::~CLangPack() {
    CLangPack::Clear();
}

void CLangPack::Clear() {
    m_texts.reset();
    m_loaded = false;
}

void CLangPack::ReserveTexts(size_t count) {
    if (!m_texts) m_texts = std::make_unique<LangTextStore>();
    m_texts->map.reserve(m_texts->map.size() + count);
}

void CLangPack::StoreText(std::string_view key, std::wstring_view text) {
    if (!m_texts) m_texts = std::make_unique<LangTextStore>();
    // One hash per text: a key that is already there keeps its node and takes the new text.
    const auto [it, inserted] =
        m_texts->map.emplace(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple(text));
    if (!inserted) it->second.assign(text);
}

std::wstring CLangPack::GetLanguageCode() const {
    return m_tag.GetText().empty() ? m_nativeName : m_tag.GetText();
}

const wchar_t* CLangPack::Lookup(std::string_view key) const {
    return FindText(key);
}

bool CLangPack::ReadHeader(kest::ISeekableInStream& file, uint32_t& version, uint32_t& layout) {
    m_texts.reset();
    char signature[8];
    if (ReadSome(file, signature, 8) != 8) return false;
    if (std::memcmp(signature, "LANGPACK", 8) == 0) {
        m_wide = false;
        version = 0;
        layout = 0;
    } else {
        const bool wide = std::memcmp(signature, "LANGPU16", 8) == 0;
        if (!wide && std::memcmp(signature, "LANGPCK2", 8) != 0) return false;
        m_wide = wide;
        if (!ReadUInt32(file, version) || !ReadUInt32(file, layout)) return false;
    }
    if (version > 1) return false;

    uint32_t headerLength = 0;
    if (!ReadUInt32(file, headerLength)) return false;
    const int64_t bodyStart = file.GetPosition() + headerLength;

    std::wstring* const fields[] = {&m_firstDescription, &m_secondDescription, &m_nativeName, &m_comment};
    for (std::wstring* field : fields) field->clear();
    m_tag = LanguageTag();
    std::vector<uint8_t> bytes;
    for (std::wstring* field : fields) {
        uint32_t n = 0;
        if (!ReadUInt32(file, n)) return false;
        // A string that does not fit into the header is refused before it is read.
        const int64_t position = file.GetPosition();
        if (static_cast<int64_t>(n) > bodyStart - position || static_cast<int64_t>(n) > file.GetSize() - position)
            return false;
        if (n == 0) continue;
        bytes.resize(n);
        if (ReadSome(file, bytes.data(), n) != n) return false;
        *field = DecodeFlatString(bytes.data(), n, m_wide);
    }
    file.SeekTo(bodyStart);
    return true;
}

bool CLangPack::LoadTexts(kest::ISeekableInStream& file, bool clear, uint32_t layout) {
    if (clear) Clear();
    const int64_t rest = file.GetSize() - file.GetPosition();
    std::vector<uint8_t> body(static_cast<size_t>(rest > 0 ? rest : 0));
    if (ReadSome(file, body.data(), static_cast<int64_t>(body.size())) != static_cast<int64_t>(body.size())) return false;

    const uint8_t* const data = body.data();
    const size_t size = body.size();
    size_t at = 0;
    auto readUInt32 = [&](size_t limit, uint32_t& value) {
        if (limit < 4 || at > limit - 4) return false;
        value = static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
                static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
        at += 4;
        return true;
    };
    // A string: its count and all its bytes must lie within the body.
    auto readString = [&](const uint8_t*& bytes, uint32_t& n) {
        if (!readUInt32(size, n) || n > size - at) return false;
        bytes = data + at;
        at += n;
        return true;
    };

    uint32_t count = 0;
    if (!readUInt32(size, count)) return false;
    std::wstring wideKey, wideText;
    for (uint32_t i = 0; i < count; ++i) {
        size_t entryEnd = size;
        if (layout >= 1) {
            uint32_t entryLength = 0;
            if (!readUInt32(size, entryLength) || entryLength > size - at) return false;
            entryEnd = at + entryLength;
        }
        const uint8_t* key = nullptr;
        const uint8_t* text = nullptr;
        const uint8_t* skipped = nullptr;
        uint32_t keyLength = 0, textLength = 0, skippedLength = 0;
        if (!readString(key, keyLength) || !readString(text, textLength) || !readString(skipped, skippedLength) ||
            !readString(skipped, skippedLength))
            return false;
        bool used = true;
        if (layout >= 1) {
            uint32_t flags = 0;
            if (!readUInt32(entryEnd, flags)) return false;
            used = (flags & 1) != 0;
            // Later layouts may append fields: the entry length says where the next one starts.
            at = entryEnd;
        }
        if (!used) continue;
        DecodeFlatStringInto(wideKey, key, keyLength, m_wide);
        DecodeFlatStringInto(wideText, text, textLength, m_wide);
        StoreText(KeyToUtf8(wideKey.data(), wideKey.size()), wideText);
    }
    m_loaded = true;
    return true;
}

kest::P<kest::ISeekableInStream> OpenPackFile(const std::wstring& path) {
    kest::P<kest::IURI> uri = kest::win32::PathToUri(kest::String::Copy(path.c_str()));
    return kest::GetStreamManager()->RequireSeekableInStream(uri.Get(), kest::kShareRead);
}

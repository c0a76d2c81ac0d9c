#include "lang/LangPack.h"

#include "lang/PackText.h"

#include <algorithm>
#include <cstring>
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

// A UTF-16LE flat-pack string of n bytes ends in a zero unit that belongs to n.
bool IsWideTerminated(const uint8_t* bytes, uint32_t n) {
    return n >= 2 && bytes[n - 1] == 0 && bytes[n - 2] == 0;
}

// A flat-pack string of n bytes: ANSI or UTF-16LE, its last character a zero that belongs to n.
// Without that zero it reads as the empty string; the text ends at its first zero. The result
// goes into a buffer the caller reuses from entry to entry.
void DecodeFlatStringInto(std::wstring& text, const uint8_t* bytes, uint32_t n, bool wide) {
    text.clear();
    if (wide) {
        if (!IsWideTerminated(bytes, n)) return;
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
    AnsiTextInto(text, ansi, std::strlen(ansi));
}

std::wstring DecodeFlatString(const uint8_t* bytes, uint32_t n, bool wide) {
    std::wstring text;
    DecodeFlatStringInto(text, bytes, n, wide);
    return text;
}

}  // namespace

void Utf16KeyInto(std::string& key, const uint8_t* utf16le, size_t count) {
    key.resize(count);
    for (size_t i = 0; i < count; ++i) {
        if (utf16le[2 * i + 1] != 0 || utf16le[2 * i] >= 0x80) {
            std::wstring wide(count, L'\0');
            for (size_t j = 0; j < count; ++j)
                wide[j] = static_cast<wchar_t>(utf16le[2 * j] | utf16le[2 * j + 1] << 8);
            key = KeyToUtf8(wide.data(), wide.size());
            return;
        }
        key[i] = static_cast<char>(utf16le[2 * i]);
    }
}

std::unique_ptr<TextUnit[]> MakeUnitBuffer(int64_t bytes) {
    if (bytes < 0 || bytes > kMaxPackBytes) return nullptr;
    const size_t units = static_cast<size_t>(bytes) / 2;
    auto buffer = std::make_unique_for_overwrite<TextUnit[]>(units + 1);
    buffer[units] = 0;  // whatever of it the bytes leave
    return buffer;
}

CLangPack::CLangPack(std::wstring filePath) : m_filePath(std::move(filePath)) {}

CLangPack::~CLangPack() {
    CLangPack::Clear();
}

void CLangPack::Clear() {
    m_texts.reset();
    m_loaded = false;
}

LangTextTable& CLangPack::Texts() {
    if (!m_texts) m_texts = std::make_unique<LangTextTable>();
    return *m_texts;
}

std::wstring CLangPack::GetLanguageCode() const {
    return m_tag.GetText().empty() ? m_nativeName : m_tag.GetText();
}

const TextUnit* CLangPack::Lookup(std::string_view key) const {
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
        if (static_cast<int64_t>(n) > bodyStart - position || static_cast<int64_t>(n) > file.GetSize() - position ||
            static_cast<int64_t>(n) > kMaxPackBytes)
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
    const int64_t rest = std::max<int64_t>(file.GetSize() - file.GetPosition(), 0);
    // The body is read as UTF-16 units: a wide pack's texts stay where they lie. A body too large
    // to be taken into memory is refused whole.
    std::unique_ptr<TextUnit[]> body = MakeUnitBuffer(rest);
    if (!body) return false;
    const size_t size = static_cast<size_t>(rest);
    const TextUnit* const units = body.get();
    const auto* const data = reinterpret_cast<const uint8_t*>(units);
    if (ReadSome(file, body.get(), static_cast<int64_t>(size)) != static_cast<int64_t>(size)) return false;
    LangTextTable& texts = Texts();
    texts.Keep(std::shared_ptr<void>(std::move(body)));

    size_t at = 0;
    auto readUInt32 = [&](size_t limit, uint32_t& value) {
        if (limit < 4 || at > limit - 4) return false;
        value = static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
                static_cast<uint32_t>(data[at + 2]) << 16 | static_cast<uint32_t>(data[at + 3]) << 24;
        at += 4;
        return true;
    };
    // A string: its count and all its bytes must lie within the body.
    auto readString = [&](size_t& stringAt, uint32_t& n) {
        if (!readUInt32(size, n) || n > size - at) return false;
        stringAt = at;
        at += n;
        return true;
    };

    uint32_t count = 0;
    if (!readUInt32(size, count)) return false;
    // Every entry takes at least 16 bytes: the body's size bounds what is reserved.
    texts.Reserve(texts.Size() + std::min<size_t>(count, size / 16));
    std::string key;
    std::wstring wide;
    for (uint32_t i = 0; i < count; ++i) {
        size_t entryEnd = size;
        if (layout >= 1) {
            uint32_t entryLength = 0;
            if (!readUInt32(size, entryLength) || entryLength > size - at) return false;
            entryEnd = at + entryLength;
        }
        size_t keyAt = 0, textAt = 0, skippedAt = 0;
        uint32_t keyLength = 0, textLength = 0, skippedLength = 0;
        if (!readString(keyAt, keyLength) || !readString(textAt, textLength) || !readString(skippedAt, skippedLength) ||
            !readString(skippedAt, skippedLength))
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
        if (m_wide && IsWideTerminated(data + keyAt, keyLength)) {
            const uint8_t* k = data + keyAt;
            size_t n = 0;
            while (n < (keyLength - 2) / 2 && (k[2 * n] | k[2 * n + 1]) != 0) ++n;
            Utf16KeyInto(key, k, n);
        } else {
            DecodeFlatStringInto(wide, data + keyAt, keyLength, m_wide);
            key = KeyToUtf8(wide.data(), wide.size());
        }
        // A terminated wide text of whole units at an even offset is used where it lies: it ends
        // at its first zero unit, as a decoded one would, and at the latest at its own last unit.
        if (m_wide && textAt % 2 == 0 && textLength % 2 == 0 && IsWideTerminated(data + textAt, textLength)) {
            texts.Put(key, units + textAt / 2);
        } else {
            DecodeFlatStringInto(wide, data + textAt, textLength, m_wide);
            static constexpr TextUnit kEmpty[1] = {};
            texts.Put(key, wide.empty() ? kEmpty : texts.CopyText(wide));
        }
    }
    m_loaded = true;
    return true;
}

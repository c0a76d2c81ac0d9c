#include "kest/String.h"

#include "kest/CaseTables.h"
#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/UnicodeUnits.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace kest {

namespace {

const uint8_t kZeros[4] = {};

// Byte sizes of whole strings are 32-bit; anything that would not fit is refused rather than
// allowed to wrap around.
[[noreturn]] void RaiseTooLong(const char* method) {
    throw CInvalidArgError(String("the text would be too long"), String::Copy(method));
}

int32_t CheckedSize(int64_t n, const char* method) {
    if (n < 0 || n > INT32_MAX - 8) RaiseTooLong(method);
    return int32_t(n);
}

template <typename Unit, typename Class>
P<IString> MakeNullString() {
    return New<TNullString<Unit, Class>>();
}

// One shared null string per string class, each in a service slot of its own.
template <typename Unit, typename Class>
P<IString>& NullStringSlot() {
    static TServiceSlot<IString> slot;
    return slot.Get(&MakeNullString<Unit, Class>);
}

P<IString>& NullUTF8Slot() { return NullStringSlot<uint8_t, CUTF8String>(); }
P<IString>& NullUTF16Slot() { return NullStringSlot<wchar_t, CWCharString>(); }
P<IString>& NullUTF32Slot() { return NullStringSlot<uint32_t, CUTF32String>(); }
P<IString>& NullLatin1Slot() { return NullStringSlot<char, CLatin1String>(); }
P<IString>& NullCodePageSlot() { return NullStringSlot<char, CCPString>(); }

P<IString> MakeDefaultString() {
    // Measured up to its terminator, so that it is known to have one.
    return New<CUTF8String>(kZeros, -1, StorageMode::Reference);
}
P<IString>& DefaultStringSlot() {
    static TServiceSlot<IString> slot;
    return slot.Get(&MakeDefaultString);
}

// The null string of the class that holds an encoding.
const P<IString>& NullFor(const ICharEncoding* encoding) {
    switch (encoding->Id()) {
    case kEncodingUTF16: return NullUTF16Slot();
    case kEncodingUTF32: return NullUTF32Slot();
    case kEncodingLatin1: return NullLatin1Slot();
    case kEncodingCodePage: return NullCodePageSlot();
    default: return NullUTF8Slot();
    }
}

// A buffer that becomes the data of a new string object.
class ByteBuilder {
public:
    explicit ByteBuilder(int32_t reserve = 0) { Reserve(reserve); }

    int32_t Size() const { return m_size; }
    uint8_t* Data() { return m_data.get(); }

    void Reserve(int64_t n) {
        if (n <= m_capacity) return;
        int64_t wanted = n > int64_t(m_capacity) * 2 ? n : int64_t(m_capacity) * 2;
        int32_t capacity = CheckedSize(wanted, "String");
        auto data = std::make_unique_for_overwrite<uint8_t[]>(size_t(capacity) + 4);
        if (m_size > 0) std::memcpy(data.get(), m_data.get(), size_t(m_size));
        m_data = std::move(data);
        m_capacity = capacity;
    }
    void Append(const void* bytes, int32_t n) {
        if (n <= 0) return;
        Reserve(int64_t(m_size) + n);
        std::memcpy(m_data.get() + m_size, bytes, size_t(n));
        m_size += n;
    }
    // Encodes cp; code points the encoding cannot hold are left out.
    void Append(const ICharEncoding* encoding, CodePoint cp) {
        Reserve(int64_t(m_size) + 4);
        m_size = encoding->Encode(cp, m_data.get(), m_capacity, m_size);
    }
    // Encodes cps in order, leaving out those the encoding cannot hold.
    void Append(const ICharEncoding* encoding, const CodePoint* cps, int32_t n) {
        Reserve(int64_t(m_size) + int64_t(n) * 4);
        int32_t k = 0;
        while (k < n) {
            int32_t done = 0;
            m_size = encoding->EncodeMany(cps + k, n - k, m_data.get(), m_capacity, m_size, done);
            k += done;
            if (k < n) ++k;
        }
    }
    // Terminates the data and hands it to a new string object.
    String Finish(ICharEncoding* encoding, int32_t charCount = -1) {
        Reserve(1);
        // The allocation always keeps 4 spare bytes for the terminator.
        std::memset(m_data.get() + m_size, 0, 4);
        int32_t size = m_size;
        m_size = m_capacity = 0;
        return String(P<IString>(New<CString>(std::move(m_data), size, true, encoding, charCount)));
    }

private:
    std::unique_ptr<uint8_t[]> m_data;
    int32_t m_size = 0;
    int32_t m_capacity = 0;
};

// Appends the code points of a byte range of text, in the target encoding.
void AppendText(ByteBuilder& out, const IString& text, int32_t byteStart, int32_t byteEnd,
                const ICharEncoding* target) {
    const ICharEncoding* source = text.Encoding();
    const uint8_t* data = static_cast<const uint8_t*>(text.Data());
    if (source == target) {
        out.Append(data + byteStart, byteEnd - byteStart);
        return;
    }
    CodePoint chunk[256];
    int32_t position = byteStart;
    while (position < byteEnd) {
        int32_t count = 0;
        int32_t next = source->DecodeMany(data, byteEnd, position, chunk, 256, count);
        if (count > 0) {
            out.Append(target, chunk, count);
            position = next;
            continue;
        }
        position = source->Resync(data, byteEnd, position);
        if (position < 0) break;
    }
}

// Every code point with its byte range; invalid data is skipped as in counting.
struct DecodedText {
    std::vector<CodePoint> cps;
    std::vector<int32_t> starts;
    std::vector<int32_t> ends;
};

void DecodeAll(const IString& text, DecodedText& out, bool positions) {
    const ICharEncoding* encoding = text.Encoding();
    const void* data = text.Data();
    int32_t size = text.ByteLength();
    out.cps.reserve(size_t(text.Length()));
    if (positions) {
        out.starts.reserve(size_t(text.Length()));
        out.ends.reserve(size_t(text.Length()));
    }
    int32_t position = 0;
    while (position >= 0 && position < size) {
        CodePoint cp;
        int32_t next = encoding->Decode(data, size, position, cp);
        if (next < 0) {
            position = encoding->Resync(data, size, position);
            continue;
        }
        out.cps.push_back(cp);
        if (positions) {
            out.starts.push_back(position);
            out.ends.push_back(next);
        }
        position = next;
    }
}

// The byte offsets of the code points at index start and index end (end may be the length).
void ByteRange(const IString& text, int32_t start, int32_t end, int32_t& byteStart,
               int32_t& byteEnd) {
    const ICharEncoding* encoding = text.Encoding();
    int32_t length = text.Length();
    int32_t size = text.ByteLength();
    int32_t unit = 0;
    switch (encoding->Id()) {
    case kEncodingLatin1: unit = 1; break;
    case kEncodingUTF32: unit = 4; break;
    case kEncodingUTF16: unit = size == length * 2 ? 2 : 0; break;
    case kEncodingUTF8: unit = size == length ? 1 : 0; break;
    default: break;
    }
    if (unit) {
        byteStart = start * unit;
        byteEnd = end * unit;
        return;
    }
    const void* data = text.Data();
    byteStart = byteEnd = size;
    int32_t index = 0;
    int32_t position = 0;
    bool startFound = false;
    while (position >= 0 && position < size) {
        CodePoint cp;
        int32_t next = encoding->Decode(data, size, position, cp);
        if (next < 0) {
            position = encoding->Resync(data, size, position);
            continue;
        }
        if (index == start && !startFound) {
            byteStart = position;
            startFound = true;
        }
        if (index == end) {
            byteEnd = position;
            return;
        }
        ++index;
        position = next;
    }
}

bool SameChar(const CaseTables& t, CodePoint a, CodePoint b, bool caseSensitive) {
    return a == b || (!caseSensitive && ToUpperCase(t, a) == ToUpperCase(t, b));
}

bool MatchesAt(const CaseTables& t, const std::vector<CodePoint>& text, size_t at,
               const std::vector<CodePoint>& what, bool caseSensitive) {
    for (size_t k = 0; k < what.size(); ++k) {
        if (!SameChar(t, text[at + k], what[k], caseSensitive)) return false;
    }
    return true;
}

// The UTF-16 units of a string, when it has that encoding and aligned data.
bool UTF16Units(const IString& text, const uint16_t*& units, int32_t& count) {
    if (text.Encoding()->Id() != kEncodingUTF16 || reinterpret_cast<uintptr_t>(text.Data()) % 2 != 0) {
        return false;
    }
    units = static_cast<const uint16_t*>(text.Data());
    count = text.ByteLength() / 2;
    return true;
}

inline CodePoint AsciiUpper(CodePoint c) { return c - 'a' < 26u ? c - 32 : c; }

// The order of two different code points, or 0 when they are equal but for case.
inline int32_t Differ(const CaseTables& t, CodePoint a, CodePoint b, bool fold) {
    if (fold) {
        if ((a | b) < 0x80) {
            a = AsciiUpper(a);
            b = AsciiUpper(b);
        } else {
            a = ToUpperCase(t, a);
            b = ToUpperCase(t, b);
        }
        if (a == b) return 0;
    }
    return a < b ? -1 : 1;
}

// Both sides UTF-16: the units are read in place, without decoding into chunks.
int32_t CompareUTF16(const uint16_t* a, int32_t na, const uint16_t* b, int32_t nb, int32_t n, bool fold) {
    const CaseTables& t = GetCaseTables();
    const int32_t limit = n < 0 ? INT32_MAX : n;
    int32_t ia = 0, ib = 0, k = 0;
    for (;;) {
        // Units outside the surrogate range are code points: compare them in lockstep.
        int32_t run = na - ia;
        if (nb - ib < run) run = nb - ib;
        if (limit - k < run) run = limit - k;
        const uint16_t* pa = a + ia;
        const uint16_t* pb = b + ib;
        int32_t j = 0;
        for (; j < run; ++j) {
            uint32_t ua = pa[j], ub = pb[j];
            if (ua - 0xD800u < 0x800u || ub - 0xD800u < 0x800u) break;
            if (ua == ub) continue;
            if (int32_t d = Differ(t, ua, ub, fold)) return d;
        }
        ia += j;
        ib += j;
        k += j;
        if (k >= limit) return 0;
        // A surrogate, or the end of one side.
        CodePoint ca = 0, cb = 0;
        bool hasA = detail::NextUTF16(a, na, ia, ca);
        bool hasB = detail::NextUTF16(b, nb, ib, cb);
        if (!hasA) return hasB ? -1 : 0;
        if (!hasB) return 1;
        ++k;
        if (ca != cb) {
            if (int32_t d = Differ(t, ca, cb, fold)) return d;
        }
    }
}

int32_t CompareImpl(const IString& a, const IString& b, int32_t n, bool fold) {
    const uint16_t *ua, *ub;
    int32_t na, nb;
    if (UTF16Units(a, ua, na) && UTF16Units(b, ub, nb)) return CompareUTF16(ua, na, ub, nb, n, fold);
    const CaseTables& t = GetCaseTables();
    CharReader ra(a), rb(b);
    CodePoint ca = 0, cb = 0;
    for (int32_t i = 0; n < 0 || i < n; ++i) {
        bool hasA = ra.Next(ca);
        bool hasB = rb.Next(cb);
        if (!hasA) return hasB ? -1 : 0;
        if (!hasB) return 1;
        if (ca != cb) {
            if (int32_t d = Differ(t, ca, cb, fold)) return d;
        }
    }
    return 0;
}

// UTF-8 straight into UTF-16, the conversion every Windows call needs.
String ConvertUTF8ToUTF16(const IString& text) {
    const uint8_t* p = static_cast<const uint8_t*>(text.Data());
    int32_t size = text.ByteLength();
    const ICharEncoding* utf8 = text.Encoding();
    // First the size: UTF-16 units and code points.
    int64_t units = 0;
    int32_t count = 0;
    int32_t position = 0;
    while (position < size) {
        if (size - position >= 4) {
            uint32_t word;
            std::memcpy(&word, p + position, 4);
            if ((word & 0x80808080u) == 0) {
                position += 4;
                units += 4;
                count += 4;
                continue;
            }
        }
        CodePoint cp;
        int32_t next = detail::DecodeUTF8At(p, size, position, cp);
        if (next < 0) {
            position = utf8->Resync(p, size, position);
            if (position < 0) break;
            continue;
        }
        position = next;
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;  // not representable in UTF-16
        units += cp > 0xFFFF ? 2 : 1;
        ++count;
    }
    int32_t bytes = CheckedSize(units * 2, "String::ConvertTo");
    auto storage = std::make_unique_for_overwrite<uint8_t[]>(size_t(bytes) + 2);
    uint16_t* out = reinterpret_cast<uint16_t*>(storage.get());
    position = 0;
    while (position < size) {
        if (size - position >= 4) {
            uint32_t word;
            std::memcpy(&word, p + position, 4);
            if ((word & 0x80808080u) == 0) {
                out[0] = p[position];
                out[1] = p[position + 1];
                out[2] = p[position + 2];
                out[3] = p[position + 3];
                out += 4;
                position += 4;
                continue;
            }
        }
        if (p[position] < 0x80) {
            *out++ = p[position++];
            continue;
        }
        CodePoint cp;
        int32_t next = detail::DecodeUTF8At(p, size, position, cp);
        if (next < 0) {
            position = utf8->Resync(p, size, position);
            if (position < 0) break;
            continue;
        }
        position = next;
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp > 0xFFFF) {
            *out++ = uint16_t(0xD800 + ((cp - 0x10000) >> 10));
            *out++ = uint16_t(0xDC00 + (cp & 0x3FF));
        } else {
            *out++ = uint16_t(cp);
        }
    }
    *out = 0;
    return String(P<IString>(New<CString>(std::move(storage), bytes, true, UTF16Encoding(), count)));
}

}  // namespace

// ---------------------------------------------------------------------------------- objects

CString::CString(const void* data, int32_t byteLength, StorageMode mode, ICharEncoding* encoding,
                 bool terminated, int32_t charCount)
    : m_encoding(encoding ? encoding : UTF8Encoding()) {
    if (!data) {
        data = kZeros;
        byteLength = 0;
        terminated = true;
    }
    if (byteLength < 0) {
        byteLength = m_encoding->TerminatedLength(data);
        terminated = true;
    }
    m_byteLength = byteLength;
    if (mode == StorageMode::Reference) {
        m_data = static_cast<const uint8_t*>(data);
        m_terminated = terminated;
    } else {
        // Copy mode (adopting needs the owning constructor).
        int32_t unit = m_encoding->UnitSize();
        CheckedSize(int64_t(byteLength) + unit, "CString");
        m_storage = std::make_unique_for_overwrite<uint8_t[]>(size_t(byteLength) + size_t(unit));
        if (byteLength > 0) std::memcpy(m_storage.get(), data, size_t(byteLength));
        std::memset(m_storage.get() + byteLength, 0, size_t(unit));
        m_data = m_storage.get();
        m_terminated = true;
        m_ownsData = true;
    }
    m_charCount = charCount >= 0 ? charCount : m_encoding->CountCharacters(m_data, m_byteLength, 0);
}

CString::CString(std::unique_ptr<uint8_t[]> data, int32_t byteLength, bool terminated,
                 ICharEncoding* encoding, int32_t charCount)
    : m_encoding(encoding ? encoding : UTF8Encoding()) {
    if (!data || byteLength < 0) byteLength = 0;
    m_storage = std::move(data);
    m_data = m_storage ? m_storage.get() : kZeros;
    m_byteLength = byteLength;
    m_terminated = m_storage ? terminated : true;
    m_ownsData = m_storage != nullptr;
    m_charCount = charCount >= 0 ? charCount : m_encoding->CountCharacters(m_data, m_byteLength, 0);
}

int32_t CString::CompareTo(const IBase* other) const {
    const IString* text = CastRequired<IString>(other);
    if (!text) return 1;
    return CompareImpl(*this, *text, -1, false);
}

void CString::ToString(String& out) const { out = String(static_cast<const IString*>(this)); }

namespace {
int32_t UnitLength(int32_t length, int32_t unit, const char* method) {
    return length < 0 ? -1 : CheckedSize(int64_t(length) * unit, method);
}
}  // namespace

CLatin1String::CLatin1String(const char* text, int32_t length, StorageMode mode)
    : CString(text, length, mode, Latin1Encoding(), length < 0) {}

CWCharString::CWCharString(const wchar_t* text, int32_t length, StorageMode mode)
    : CString(text, UnitLength(length, 2, "CWCharString"), mode, UTF16Encoding(), length < 0) {}

CUTF8String::CUTF8String(const uint8_t* text, int32_t length, StorageMode mode)
    : CString(text, length, mode, UTF8Encoding(), length < 0) {}

CUTF32String::CUTF32String(const uint32_t* text, int32_t length, StorageMode mode)
    : CString(text, UnitLength(length, 4, "CUTF32String"), mode, UTF32Encoding(), length < 0) {}

CCPString::CCPString(const char* text, int32_t length, StorageMode mode)
    : CString(text, length, mode, CodePageEncoding(), length < 0) {}

CStringSlice::CStringSlice(P<IString> source, int32_t byteStart, int32_t byteEnd, int32_t charCount)
    : CString(static_cast<const uint8_t*>(source->Data()) + byteStart, byteEnd - byteStart,
              StorageMode::Reference, source->Encoding(),
              byteEnd == source->ByteLength() && source->IsTerminated(), charCount),
      m_source(std::move(source)) {}

// ---------------------------------------------------------------------------------- readers

CharReader::CharReader(const IString& text) noexcept
    : m_encoding(text.Encoding()), m_data(text.Data()), m_size(text.ByteLength()) {}

bool CharReader::Refill() {
    while (m_position < m_size) {
        int32_t count = 0;
        int32_t next = m_encoding->DecodeMany(m_data, m_size, m_position, m_buffer, 64, count);
        if (count > 0) {
            m_position = next;
            m_count = count;
            m_index = 0;
            return true;
        }
        int32_t resync = m_encoding->Resync(m_data, m_size, m_position);
        m_position = resync < 0 ? m_size : resync;
    }
    m_index = m_count = 0;
    return false;
}

ReverseCharReader::ReverseCharReader(const IString& text) noexcept
    : m_encoding(text.Encoding()), m_data(text.Data()), m_size(text.ByteLength()),
      m_position(text.ByteLength()) {}

bool ReverseCharReader::Refill() {
    m_index = m_count = 0;
    while (m_count < 32 && m_position > 0) {
        CodePoint cp;
        int32_t start = m_encoding->DecodePrevious(m_data, m_size, m_position, cp);
        if (start < 0) {
            int32_t resync = m_encoding->ResyncBackward(m_data, m_size, m_position);
            m_position = resync < 0 ? 0 : resync;
            continue;
        }
        m_buffer[m_count++] = cp;
        m_position = start;
    }
    return m_count > 0;
}

// ---------------------------------------------------------------------------------- String

String::String() : m_object(DefaultStringSlot()) {}

String::String(const char* latin1)
    : m_object(latin1 ? P<IString>(New<CLatin1String>(latin1)) : NullUTF8Slot()) {}

String::String(const wchar_t* utf16)
    : m_object(utf16 ? P<IString>(New<CWCharString>(utf16)) : NullUTF16Slot()) {}

String::String(const char8_t* utf8)
    : m_object(utf8 ? P<IString>(New<CUTF8String>(reinterpret_cast<const uint8_t*>(utf8)))
                    : NullUTF8Slot()) {}

String::String(P<IString> object) : m_object(object ? std::move(object) : NullUTF8Slot()) {}

String::String(const IString* object)
    : m_object(object ? P<IString>(const_cast<IString*>(object)) : NullUTF8Slot()) {}

String String::Copy(const char* latin1, int32_t length) {
    if (!latin1) return Null();
    return String(P<IString>(New<CLatin1String>(latin1, length, StorageMode::Copy)));
}

String String::Copy(const wchar_t* utf16, int32_t length) {
    if (!utf16) return NullWide();
    return String(P<IString>(New<CWCharString>(utf16, length, StorageMode::Copy)));
}

String String::FromUTF8(const void* bytes, int32_t byteLength) {
    if (!bytes) return Null();
    return String(P<IString>(
        New<CUTF8String>(static_cast<const uint8_t*>(bytes), byteLength, StorageMode::Copy)));
}

String String::FromUTF32(const CodePoint* units, int32_t count) {
    if (!units) return String(NullUTF32Slot());
    return String(P<IString>(New<CUTF32String>(units, count, StorageMode::Copy)));
}

String String::FromCodePage(const char* bytes, int32_t byteLength) {
    if (!bytes) return String(NullCodePageSlot());
    return String(P<IString>(New<CCPString>(bytes, byteLength, StorageMode::Copy)));
}

String String::FromCodePoints(const CodePoint* cps, int32_t count) {
    ByteBuilder out(count > 0 ? count : 0);
    if (cps && count > 0) out.Append(UTF8Encoding(), cps, count);
    return out.Finish(UTF8Encoding());
}

String String::FromInt(int32_t value) {
    char digits[16];
    int n = std::snprintf(digits, sizeof(digits), "%d", int(value));
    return Copy(digits, n > 0 ? n : 0);
}

String String::Null() { return String(NullUTF8Slot()); }
String String::NullWide() { return String(NullUTF16Slot()); }

String String::ConvertTo(ICharEncoding* target) const {
    if (!target) throw CInvalidArgError(String("no encoding"), String("String::ConvertTo"));
    ICharEncoding* source = Encoding();
    if (source == target && IsTerminated()) return *this;
    if (IsNull()) return String(NullFor(target));
    if (source->Id() == kEncodingUTF8 && target->Id() == kEncodingUTF16) {
        return ConvertUTF8ToUTF16(*m_object);
    }
    // First the exact size, then one buffer.
    int64_t total = 0;
    int32_t count = 0;
    CharReader reader(*m_object);
    for (CodePoint cp; reader.Next(cp);) {
        int32_t n = target->EncodedLength(cp);
        total += n;
        count += n > 0;
    }
    ByteBuilder out(CheckedSize(total, "String::ConvertTo"));
    AppendText(out, *m_object, 0, ByteLength(), target);
    return out.Finish(target, count);
}

const wchar_t* String::WideData() const {
    if (!HasEncoding(kEncodingUTF16) || !IsTerminated()) {
        throw CInvalidObjectStateError(String("the string is not terminated UTF-16"), m_object.Get());
    }
    return static_cast<const wchar_t*>(Data());
}

CodePoint String::CharAt(int32_t index) const {
    if (index < 0 || index >= Length()) {
        throw CInvalidArgError(String("index out of range"), String("String::CharAt"));
    }
    int32_t byteStart, byteEnd;
    ByteRange(*m_object, index, index + 1, byteStart, byteEnd);
    CodePoint cp = 0;
    Encoding()->Decode(Data(), ByteLength(), byteStart, cp);
    return cp;
}

int32_t String::Compare(const String& other, int32_t n) const {
    if (IsSameObject(other)) return 0;
    return CompareImpl(*m_object, *other.m_object, n, false);
}

int32_t String::CompareNoCase(const String& other, int32_t n) const {
    if (IsSameObject(other)) return 0;
    return CompareImpl(*m_object, *other.m_object, n, true);
}

bool String::Equals(const String& other, int32_t n) const {
    if (IsSameObject(other)) return true;
    if (n >= 0) return CompareImpl(*m_object, *other.m_object, n, false) == 0;
    if (Length() != other.Length()) return false;
    if (Encoding() == other.Encoding() && ByteLength() == other.ByteLength() &&
        std::memcmp(Data(), other.Data(), size_t(ByteLength())) == 0) {
        return true;
    }
    return CompareImpl(*m_object, *other.m_object, -1, false) == 0;
}

bool String::EqualsNoCase(const String& other, int32_t n) const {
    if (IsSameObject(other)) return true;
    if (n >= 0) return CompareImpl(*m_object, *other.m_object, n, true) == 0;
    // The simple mappings map one code point to one.
    if (Length() != other.Length()) return false;
    return CompareImpl(*m_object, *other.m_object, -1, true) == 0;
}

bool String::EqualsAt(int32_t position, const String& other, int32_t n, bool caseSensitive) const {
    // The lengths are known: an other string longer than what is left here cannot be there,
    // whatever the limit.
    const int32_t length = other.Length();
    if (position < 0 || length > Length() - position) return false;
    const int32_t count = n < 0 || n > length ? length : n;
    if (count == 0) return true;
    if (position == 0) return CompareImpl(*m_object, *other.m_object, count, !caseSensitive) == 0;
    const CaseTables& t = GetCaseTables();
    CharReader mine(*m_object), theirs(*other.m_object);
    CodePoint a, b;
    for (int32_t i = 0; i < position && mine.Next(a); ++i) {
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!theirs.Next(b) || !mine.Next(a) || !SameChar(t, a, b, caseSensitive)) return false;
    }
    return true;
}

bool String::StartsWith(const String& prefix, bool caseSensitive) const {
    return EqualsAt(0, prefix, -1, caseSensitive);
}

bool String::StartsWith(const String& prefix, int32_t n, bool caseSensitive) const {
    return EqualsAt(0, prefix, n, caseSensitive);
}

bool String::EndsWith(const String& suffix, bool caseSensitive) const {
    return EqualsAt(Length() - suffix.Length(), suffix, -1, caseSensitive);
}

bool String::EndsWith(const String& suffix, int32_t n, bool caseSensitive) const {
    return EqualsAt(Length() - suffix.Length(), suffix, n, caseSensitive);
}

int32_t String::Find(CodePoint cp, int32_t from, bool caseSensitive) const {
    const CaseTables& t = GetCaseTables();
    if (from < 0) from = 0;
    CharReader reader(*m_object);
    int32_t index = 0;
    for (CodePoint c; reader.Next(c); ++index) {
        if (index >= from && SameChar(t, c, cp, caseSensitive)) return index;
    }
    return -1;
}

int32_t String::Find(const String& what, int32_t from, bool caseSensitive) const {
    if (from < 0) from = 0;
    int32_t length = Length(), n = what.Length();
    if (from > length - n) return -1;
    if (n == 0) return from;
    const CaseTables& t = GetCaseTables();
    DecodedText text, pattern;
    DecodeAll(*m_object, text, false);
    DecodeAll(*what.m_object, pattern, false);
    for (size_t at = size_t(from); at + pattern.cps.size() <= text.cps.size(); ++at) {
        if (MatchesAt(t, text.cps, at, pattern.cps, caseSensitive)) return int32_t(at);
    }
    return -1;
}

int32_t String::FindLast(CodePoint cp, int32_t from, bool caseSensitive) const {
    const CaseTables& t = GetCaseTables();
    DecodedText text;
    DecodeAll(*m_object, text, false);
    int32_t last = int32_t(text.cps.size()) - 1;
    if (from < 0 || from > last) from = last;
    for (int32_t at = from; at >= 0; --at) {
        if (SameChar(t, text.cps[size_t(at)], cp, caseSensitive)) return at;
    }
    return -1;
}

int32_t String::FindLast(const String& what, int32_t from, bool caseSensitive) const {
    const CaseTables& t = GetCaseTables();
    DecodedText text, pattern;
    DecodeAll(*m_object, text, false);
    DecodeAll(*what.m_object, pattern, false);
    int32_t last = int32_t(text.cps.size()) - int32_t(pattern.cps.size());
    if (last < 0) return -1;
    if (from < 0 || from > last) from = last;
    for (int32_t at = from; at >= 0; --at) {
        if (MatchesAt(t, text.cps, size_t(at), pattern.cps, caseSensitive)) return at;
    }
    return -1;
}

String String::Concat(const String& other) const {
    if (other.IsEmpty() && !IsNull()) return *this;
    if (IsEmpty() && !other.IsNull()) return other;
    ICharEncoding* target = Encoding();
    if (other.Encoding() != target) {
        // The result keeps this string's encoding when it can hold all of the other text.
        CharReader reader(*other.m_object);
        for (CodePoint cp; reader.Next(cp);) {
            if (!target->CanRepresent(cp)) {
                target = UTF8Encoding();
                break;
            }
        }
    }
    ByteBuilder out(CheckedSize(int64_t(ByteLength()) + other.ByteLength(), "String::Concat"));
    AppendText(out, *m_object, 0, ByteLength(), target);
    AppendText(out, *other.m_object, 0, other.ByteLength(), target);
    return out.Finish(target);
}

String String::Substring(int32_t start, int32_t end) const {
    int32_t length = Length();
    if (end < 0 || end > length) end = length;
    if (start < 0) start = 0;
    if (start > end) start = end;
    if (start == 0 && end == length) return *this;
    int32_t byteStart, byteEnd;
    ByteRange(*m_object, start, end, byteStart, byteEnd);
    return String(P<IString>(New<CString>(static_cast<const uint8_t*>(Data()) + byteStart,
                                          byteEnd - byteStart, StorageMode::Copy, Encoding(),
                                          true, end - start)));
}

String String::Slice(int32_t start, int32_t end) const {
    int32_t length = Length();
    if (end < 0 || end > length) end = length;
    if (start < 0) start = 0;
    if (start > end) start = end;
    if (start == 0 && end == length) return *this;
    int32_t byteStart, byteEnd;
    ByteRange(*m_object, start, end, byteStart, byteEnd);
    return String(P<IString>(New<CStringSlice>(m_object, byteStart, byteEnd, end - start)));
}

String String::Replace(const String& what, const String& with, bool caseSensitive) const {
    // An empty pattern would match everywhere without advancing: nothing to replace.
    if (what.IsEmpty() || what.Length() > Length()) return *this;
    const CaseTables& t = GetCaseTables();
    DecodedText text, pattern;
    DecodeAll(*m_object, text, true);
    DecodeAll(*what.m_object, pattern, false);
    std::vector<size_t> hits;
    for (size_t at = 0; at + pattern.cps.size() <= text.cps.size();) {
        if (MatchesAt(t, text.cps, at, pattern.cps, caseSensitive)) {
            hits.push_back(at);
            at += pattern.cps.size();
        } else {
            ++at;
        }
    }
    if (hits.empty()) return *this;

    ICharEncoding* encoding = Encoding();
    CharReader check(*with.m_object);
    for (CodePoint cp; check.Next(cp);) {
        if (!encoding->CanRepresent(cp)) {
            // Move to an encoding that can hold the replacement, and replace there.
            ICharEncoding* wider = cp > 0x10FFFF ? UTF32Encoding() : UTF8Encoding();
            if (encoding == wider) break;
            return ConvertTo(wider).Replace(what, with, caseSensitive);
        }
    }
    ByteBuilder replacement;
    AppendText(replacement, *with.m_object, 0, with.ByteLength(), encoding);

    const uint8_t* data = static_cast<const uint8_t*>(Data());
    int64_t removed = 0;
    for (size_t hit : hits) {
        removed += text.ends[hit + pattern.cps.size() - 1] - text.starts[hit];
    }
    int64_t size = int64_t(ByteLength()) - removed + int64_t(hits.size()) * replacement.Size();
    ByteBuilder out(CheckedSize(size, "String::Replace"));
    int32_t position = 0;
    for (size_t hit : hits) {
        out.Append(data + position, text.starts[hit] - position);
        out.Append(replacement.Data(), replacement.Size());
        position = text.ends[hit + pattern.cps.size() - 1];
    }
    out.Append(data + position, ByteLength() - position);
    return out.Finish(encoding);
}

namespace {
String MapCaseOf(const String& text, CodePoint (*map)(const CaseTables&, CodePoint)) {
    const CaseTables& t = GetCaseTables();
    ICharEncoding* encoding = text.Encoding();
    bool changes = false;
    bool fits = true;
    CharReader scan = text.Reader();
    for (CodePoint cp; scan.Next(cp);) {
        CodePoint mapped = map(t, cp);
        if (mapped != cp) {
            changes = true;
            // Latin-1 and code pages lack some mapped letters (the upper case of U+00FF is
            // U+0178): those texts move to UTF-8 rather than lose them.
            if (!encoding->CanRepresent(mapped)) fits = false;
        }
    }
    if (!changes) return text;
    ICharEncoding* target = fits ? encoding : UTF8Encoding();
    ByteBuilder out(text.ByteLength());
    CodePoint chunk[256];
    int32_t n = 0;
    CharReader reader = text.Reader();
    for (CodePoint cp; reader.Next(cp);) {
        chunk[n++] = map(t, cp);
        if (n == 256) {
            out.Append(target, chunk, n);
            n = 0;
        }
    }
    out.Append(target, chunk, n);
    return out.Finish(target);
}
CodePoint UpperOf(const CaseTables& t, CodePoint cp) { return ToUpperCase(t, cp); }
CodePoint LowerOf(const CaseTables& t, CodePoint cp) { return ToLowerCase(t, cp); }
}  // namespace

String String::ToUpper() const { return MapCaseOf(*this, &UpperOf); }
String String::ToLower() const { return MapCaseOf(*this, &LowerOf); }

int32_t String::ToInt(int32_t radix, int32_t* used) const {
    if (radix < 2 || radix > 36) {
        throw CInvalidArgError(String("the radix must be between 2 and 36"), String("String::ToInt"));
    }
    uint32_t value = 0;
    int32_t digits = 0;
    CharReader reader(*m_object);
    for (CodePoint cp; reader.Next(cp); ++digits) {
        uint32_t digit;
        if (cp >= '0' && cp <= '9') {
            digit = cp - '0';
        } else if (cp >= 'A' && cp <= 'Z') {
            digit = cp - 'A' + 10;
        } else if (cp >= 'a' && cp <= 'z') {
            digit = cp - 'a' + 10;
        } else {
            break;
        }
        if (digit >= uint32_t(radix)) break;
        // A value beyond the 32-bit range is an error, not a wrapped-around number.
        if (value > (uint32_t(INT32_MAX) - digit) / uint32_t(radix)) {
            throw CParseError(String("Error parsing integer."));
        }
        value = value * uint32_t(radix) + digit;
    }
    if (digits == 0) throw CParseError(String("Error parsing integer."));
    if (used) *used = digits;
    return int32_t(value);
}

int32_t String::ToIntStrict(int32_t radix) const {
    int32_t used = 0;
    int32_t value = ToInt(radix, &used);
    if (used != Length()) throw CParseError(String("Error parsing integer."));
    return value;
}

namespace {
// One step of the hash for a code point below 2^31 while h is below 2^31: then only h << 3 can
// reach bit 31, and the step needs one mask instead of two (a shorter chain per character).
inline uint32_t SmallHashStep(uint32_t h, uint32_t cp) { return (h >> 2) ^ ((h << 3) & 0x7FFFFFFFu) ^ cp; }
}  // namespace

int32_t String::HashCode() const {
    uint32_t h = 0;
    const uint16_t* units;
    int32_t count;
    if (UTF16Units(*m_object, units, count)) {
        int32_t i = 0;
        CodePoint cp;
        // Four units at a time while none of them is a surrogate.
        while (count - i >= 4) {
            uint32_t u0 = units[i], u1 = units[i + 1], u2 = units[i + 2], u3 = units[i + 3];
            if (u0 - 0xD800u < 0x800u || u1 - 0xD800u < 0x800u || u2 - 0xD800u < 0x800u ||
                u3 - 0xD800u < 0x800u) {
                if (detail::NextUTF16(units, count, i, cp)) h = (cp ^ (h >> 2) ^ (h << 3)) & 0x7FFFFFFFu;
                continue;
            }
            h = SmallHashStep(h, u0);
            h = SmallHashStep(h, u1);
            h = SmallHashStep(h, u2);
            h = SmallHashStep(h, u3);
            i += 4;
        }
        while (i < count) {
            uint32_t u = units[i];
            if (u - 0xD800u >= 0x800u) {
                ++i;
                h = SmallHashStep(h, u);
            } else if (detail::NextUTF16(units, count, i, cp)) {
                h = (cp ^ (h >> 2) ^ (h << 3)) & 0x7FFFFFFFu;
            }
        }
        return int32_t(h);
    }
    const uint8_t* p = static_cast<const uint8_t*>(Data());
    int32_t size = ByteLength();
    if ((HasEncoding(kEncodingUTF8) && size == Length()) || HasEncoding(kEncodingLatin1)) {
        for (int32_t k = 0; k < size; ++k) h = (p[k] ^ (h >> 2) ^ (h << 3)) & 0x7FFFFFFFu;
        return int32_t(h);
    }
    CharReader reader(*m_object);
    for (CodePoint cp; reader.Next(cp);) h = (cp ^ (h >> 2) ^ (h << 3)) & 0x7FFFFFFFu;
    return int32_t(h);
}

String operator+(const String& a, const String& b) { return a.Concat(b); }

}  // namespace kest

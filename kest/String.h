// Text: String, the immutable shared value type, and the string objects behind it.
//
// A string object keeps its text as code units of one encoding; operations work on Unicode code
// points. Narrow literals are Latin-1 and wide literals UTF-16; both are wrapped without copying,
// so a String made from a character pointer must not outlive the characters: use String::Copy
// for transient buffers.
#pragma once

#include "kest/CharEncoding.h"
#include "kest/Object.h"

#include <cstdint>
#include <iterator>
#include <memory>

namespace kest {

class IComparable : public virtual IBase {
public:
    // -1, 0 or 1; raises CCastError when other cannot be compared with this object.
    virtual int32_t CompareTo(const IBase* other) const = 0;
};

class IString : public virtual IComparable {
public:
    // Only the null string (a missing value) reports true; the empty string is an ordinary value.
    virtual bool IsNull() const = 0;
    virtual const void* Data() const = 0;
    virtual int32_t ByteLength() const = 0;
    // The data is followed by a terminator of the encoding.
    virtual bool IsTerminated() const = 0;
    // Code points; invalid data is not counted.
    virtual int32_t Length() const = 0;
    virtual ICharEncoding* Encoding() const = 0;
};

enum class StorageMode {
    Adopt,      // take the caller's buffer
    Reference,  // point at data that outlives the string (literals)
    Copy,       // allocate, copy and terminate
};

// The string object: code units of any encoding.
class CString : public CObject, public IString {
public:
    // Reference or copy mode. A byteLength of -1 means up to the terminator; a charCount of -1
    // means: count the code points now.
    CString(const void* data, int32_t byteLength, StorageMode mode, ICharEncoding* encoding,
            bool terminated = false, int32_t charCount = -1);
    // Adopt mode.
    CString(std::unique_ptr<uint8_t[]> data, int32_t byteLength, bool terminated,
            ICharEncoding* encoding, int32_t charCount = -1);

    bool IsNull() const override { return false; }
    const void* Data() const override { return m_data; }
    int32_t ByteLength() const override { return m_byteLength; }
    bool IsTerminated() const override { return m_terminated; }
    int32_t Length() const override { return m_charCount; }
    ICharEncoding* Encoding() const override { return m_encoding.Get(); }
    int32_t CompareTo(const IBase* other) const override;
    void ToString(String& out) const override;

private:
    const uint8_t* m_data = nullptr;
    int32_t m_byteLength = 0;
    bool m_terminated = false;
    bool m_ownsData = false;
    P<ICharEncoding> m_encoding;
    int32_t m_charCount = -1;
    std::unique_ptr<uint8_t[]> m_storage;  // set when m_ownsData
};

class CLatin1String : public CString {
public:
    CLatin1String(const char* text, int32_t length = -1, StorageMode mode = StorageMode::Reference);
};

class CWCharString : public CString {
public:
    CWCharString(const wchar_t* text, int32_t length = -1, StorageMode mode = StorageMode::Reference);
};

class CUTF8String : public CString {
public:
    CUTF8String(const uint8_t* text, int32_t length = -1, StorageMode mode = StorageMode::Reference);
};

class CUTF32String : public CString {
public:
    CUTF32String(const uint32_t* text, int32_t length = -1, StorageMode mode = StorageMode::Reference);
};

// The current code page of the C runtime's locale.
class CCPString : public CString {
public:
    CCPString(const char* text, int32_t length = -1, StorageMode mode = StorageMode::Reference);
};

// The null string of a string class: reports itself as null and holds no text (its data is an
// empty terminated buffer, so that careless readers find nothing).
template <typename Unit, typename Class>
class TNullString : public Class {
public:
    TNullString() : Class(s_empty, 0, StorageMode::Reference) {}
    bool IsNull() const override { return true; }

private:
    static constexpr Unit s_empty[1] = {};
};

class String;

// A view on a range of another string object's data; keeps that object alive.
class CStringSlice : public CString {
public:
    CStringSlice(P<IString> source, int32_t byteStart, int32_t byteEnd, int32_t charCount);

private:
    P<IString> m_source;
};

// Decodes a string's code points in chunks; invalid data is skipped.
class CharReader {
public:
    CharReader() noexcept : m_encoding(nullptr), m_data(nullptr), m_size(0) {}
    explicit CharReader(const IString& text) noexcept;
    bool Next(CodePoint& cp) {
        if (m_index == m_count && !Refill()) return false;
        cp = m_buffer[m_index++];
        return true;
    }

private:
    bool Refill();

    const ICharEncoding* m_encoding;
    const void* m_data;
    int32_t m_size;
    int32_t m_position = 0;
    int32_t m_index = 0;
    int32_t m_count = 0;
    CodePoint m_buffer[64];
};

// The same backwards, from the end.
class ReverseCharReader {
public:
    explicit ReverseCharReader(const IString& text) noexcept;
    bool Next(CodePoint& cp) {
        if (m_index == m_count && !Refill()) return false;
        cp = m_buffer[m_index++];
        return true;
    }

private:
    bool Refill();

    const ICharEncoding* m_encoding;
    const void* m_data;
    int32_t m_size;
    int32_t m_position;
    int32_t m_index = 0;
    int32_t m_count = 0;
    CodePoint m_buffer[32];
};

class String {
public:
    // The shared empty UTF-8 string (not the null string).
    String();
    // A narrow literal, as Latin-1, without copying; a null pointer gives the UTF-8 null string.
    String(const char* latin1);
    // A wide literal, as UTF-16, without copying; a null pointer gives the UTF-16 null string.
    String(const wchar_t* utf16);
    // A UTF-8 literal, without copying.
    String(const char8_t* utf8);
    // Shares the object; no object gives the UTF-8 null string.
    String(P<IString> object);
    String(const IString* object);

    // Copies of transient text. A length of -1 means up to the terminator.
    static String Copy(const char* latin1, int32_t length = -1);
    static String Copy(const wchar_t* utf16, int32_t length = -1);
    static String FromUTF8(const void* bytes, int32_t byteLength = -1);
    static String FromUTF32(const CodePoint* units, int32_t count = -1);
    static String FromCodePage(const char* bytes, int32_t byteLength = -1);
    static String FromCodePoints(const CodePoint* cps, int32_t count);
    // Decimal, as "%d" prints it.
    static String FromInt(int32_t value);
    static String Null();      // the UTF-8 null string
    static String NullWide();  // the UTF-16 null string

    // ---- inspection
    bool IsNull() const { return m_object->IsNull(); }
    // No code points; also true for the null string.
    bool IsEmpty() const { return m_object->Length() == 0; }
    int32_t Length() const { return m_object->Length(); }
    int32_t ByteLength() const { return m_object->ByteLength(); }
    const void* Data() const { return m_object->Data(); }
    bool IsTerminated() const { return m_object->IsTerminated(); }
    bool HasEncoding(uint32_t id) const { return m_object->Encoding()->Id() == id; }
    ICharEncoding* Encoding() const { return m_object->Encoding(); }
    IString* Object() const { return m_object.Get(); }
    // The same object (not merely equal text).
    bool IsSameObject(const String& other) const { return m_object == other.m_object; }

    // ---- conversion
    // The text in another encoding: a new terminated object that owns its data. Code points the
    // target cannot hold are left out (Latin-1 writes "?" instead). A terminated string that
    // already has the encoding is returned as it is.
    String ConvertTo(ICharEncoding* target) const;
    // Terminated UTF-16, for the Windows wide-character functions.
    String AsUTF16() const { return ConvertTo(UTF16Encoding()); }
    // The terminated UTF-16 data; raises CInvalidObjectStateError unless the string is
    // terminated UTF-16 (call AsUTF16 first).
    const wchar_t* WideData() const;

    // ---- access
    // Raises CInvalidArgError for an index outside 0..Length()-1.
    CodePoint CharAt(int32_t index) const;

    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = CodePoint;
        using difference_type = std::ptrdiff_t;
        using pointer = const CodePoint*;
        using reference = CodePoint;

        explicit Iterator(const IString* text) : m_reader(*text) { ++*this; }
        Iterator() : m_done(true) {}
        CodePoint operator*() const { return m_current; }
        Iterator& operator++() {
            m_done = !m_reader.Next(m_current);
            return *this;
        }
        // Only the comparison with end() is meaningful.
        bool operator==(const Iterator& other) const { return m_done == other.m_done; }
        bool operator!=(const Iterator& other) const { return m_done != other.m_done; }

    private:
        CharReader m_reader;
        CodePoint m_current = 0;
        bool m_done = false;
    };
    Iterator begin() const { return Iterator(m_object.Get()); }
    Iterator end() const { return Iterator(); }
    CharReader Reader() const { return CharReader(*m_object); }
    // Raises CMethodNotImplementedError for an encoding that cannot be read backwards.
    ReverseCharReader ReverseReader() const { return ReverseCharReader(*m_object); }

    // ---- comparison (code point by code point; n limits the code points compared)
    int32_t Compare(const String& other, int32_t n = -1) const;
    // Through the simple upper-case mapping on both sides.
    int32_t CompareNoCase(const String& other, int32_t n = -1) const;
    // With n, only the first n code points count: Compare(other, n) == 0.
    bool Equals(const String& other, int32_t n = -1) const;
    bool EqualsNoCase(const String& other, int32_t n = -1) const;
    // The other string stands at this code point position; with n, only its first n code points
    // are compared. False at once when the other is longer than what follows the position.
    bool EqualsAt(int32_t position, const String& other, int32_t n = -1, bool caseSensitive = true) const;
    bool StartsWith(const String& prefix, bool caseSensitive = true) const;
    bool StartsWith(const String& prefix, int32_t n, bool caseSensitive = true) const;
    bool EndsWith(const String& suffix, bool caseSensitive = true) const;
    bool EndsWith(const String& suffix, int32_t n, bool caseSensitive = true) const;

    // ---- search: indices in code points, -1 when not found
    int32_t Find(CodePoint cp, int32_t from = 0, bool caseSensitive = true) const;
    int32_t Find(const String& what, int32_t from = 0, bool caseSensitive = true) const;
    // From the end; from = -1 starts at the last code point.
    int32_t FindLast(CodePoint cp, int32_t from = -1, bool caseSensitive = true) const;
    int32_t FindLast(const String& what, int32_t from = -1, bool caseSensitive = true) const;

    // ---- building; an operation that would not change the text returns the same object
    String Concat(const String& other) const;
    // Code points from index start up to, not including, index end (-1: the end).
    String Substring(int32_t start, int32_t end = -1) const;
    // A view on the same range that shares this string's data instead of copying it.
    String Slice(int32_t start, int32_t end = -1) const;
    String Replace(const String& what, const String& with, bool caseSensitive = true) const;
    String ToUpper() const;
    String ToLower() const;

    // ---- numbers: digits 0-9, then letters for 10-35; no sign.
    // Stops at the first code point that is no digit of the radix; used (if given) receives the
    // number of code points read. Raises CParseError when no digit was read or on overflow.
    int32_t ToInt(int32_t radix = 10, int32_t* used = nullptr) const;
    // The digits must cover the whole string.
    int32_t ToIntStrict(int32_t radix = 10) const;

    // h = (cp ^ (h >> 2) ^ (h * 8)) & 0x7FFFFFFF over the code points; never negative.
    int32_t HashCode() const;

private:
    P<IString> m_object;
};

String operator+(const String& a, const String& b);
inline bool operator==(const String& a, const String& b) { return a.Equals(b); }
inline bool operator!=(const String& a, const String& b) { return !a.Equals(b); }
inline bool operator<(const String& a, const String& b) { return a.Compare(b) < 0; }

// The library's string objects for some convenience: wraps a new object.
template <typename Class, typename... Args>
String MakeString(Args&&... args) {
    return String(P<IString>(New<Class>(std::forward<Args>(args)...)));
}

}  // namespace kest

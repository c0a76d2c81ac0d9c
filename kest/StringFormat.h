// Building text from values.
//
// CStringFormat fills printf-like fields one pushed argument at a time; each argument must suit
// its field, so a wrong argument is an error instead of undefined behaviour:
//
//     CStringFormat f(String("%s%08X%s"));
//     f.Push(String("tmp")).Push(uint32_t(0x2A)).Push(String(".dat"));
//     String name = f.Result();                       // "tmp0000002A.dat"
//
// or in one call: String name = FormatString("%s%08X%s", String("tmp"), 0x2Au, String(".dat"));
//
// User-visible messages do not use it: they are templates with %NAME% placeholders, looked up
// by key and then filled in:
//
//     LocalizedMessage("kest.CSystem.DeleteFileFailed", L"Error deleting the file '%FILE%' (%MSG%).",
//                      {{"%FILE%", path}, {"%MSG%", reason}});
#pragma once

#include "kest/Object.h"
#include "kest/String.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace kest {

// A character argument, told apart from the integers (a code point is an unsigned number too).
struct Char {
    CodePoint value;
};

class CStringFormat : public CObject {
public:
    // Raises CInvalidArgError when the text before the first argument holds a bad field.
    explicit CStringFormat(const String& format);
    ~CStringFormat() override;

    // Each fills the current field (or the width or precision that a "*" asks for) and parses
    // on to the next field. A mismatch raises CInvalidArgError; a formatter that raised is not
    // to be used further.
    CStringFormat& Push(int32_t value);
    CStringFormat& Push(uint32_t value);
    CStringFormat& Push(int64_t value);
    CStringFormat& Push(uint64_t value);
    // long is 32 bits on Windows but a type of its own for overloading. Where long is 64 bits
    // it is already int64_t (the native sanitizer build).
#if !defined(__LP64__)
    CStringFormat& Push(long value) { return Push(int32_t(value)); }
    CStringFormat& Push(unsigned long value) { return Push(uint32_t(value)); }
#endif
    CStringFormat& Push(double value);
    CStringFormat& Push(Char value);
    CStringFormat& Push(const String& value);
    CStringFormat& Push(const char* latin1) { return Push(String(latin1)); }
    CStringFormat& Push(const wchar_t* utf16) { return Push(String(utf16)); }

    // The text built; raises CInvalidObjectStateError while a field still waits for its argument.
    String Result() const;
    void ToString(String& out) const override { out = Result(); }

private:
    enum class Kind { None, Integer, Floating, Character, Text };
    struct IntegerArg {
        uint64_t magnitude;
        bool negative;
        bool isSigned;
        int bits;  // 32 or 64: what "%x" of a negative number shows
    };

    void Advance();
    void ResetField();
    void ParseField(int32_t percent);
    bool TakeSize(int64_t value);
    void PushInteger(const IntegerArg& arg);
    void FormatInteger(const IntegerArg& arg);
    void FormatFloating(double value);
    void FormatCharacter(CodePoint cp);
    void FormatText(const String& text);
    void FormatCodePoints(const CodePoint* cps, int32_t count);
    void AppendLiteral(int32_t from, int32_t to);
    void AppendRepeated(CodePoint cp, int64_t count);
    [[noreturn]] void Fail(const char* argument);
    std::string PrintfField(char letter, bool withPrecision) const;
    void EnsureScratch(size_t size);

    std::vector<CodePoint> m_format;
    int32_t m_position = 0;  // -1: no field left
    std::vector<CodePoint> m_result;
    bool m_failed = false;

    Kind m_kind = Kind::None;
    CodePoint m_letter = 0;
    bool m_widthFromArgument = false;
    bool m_precisionFromArgument = false;
    int32_t m_width = -1;
    int32_t m_precision = -1;
    bool m_zeroPad = false;
    bool m_leftAlign = false;
    bool m_alternate = false;
    bool m_plusSign = false;
    bool m_spaceSign = false;
    std::string m_flagText;  // the flag characters, for the fields printf prints

    std::unique_ptr<char[]> m_scratch;
    size_t m_scratchSize = 0;
};

namespace detail {
inline void PushAll(CStringFormat&) {}
template <typename T, typename... Rest>
void PushAll(CStringFormat& f, const T& first, const Rest&... rest) {
    f.Push(first);
    PushAll(f, rest...);
}
}  // namespace detail

// Formats in one call: one argument per field (and one before the field for each "*").
template <typename... Args>
String FormatString(const String& format, const Args&... args) {
    P<CStringFormat> f = New<CStringFormat>(format);
    detail::PushAll(*f, args...);
    return f->Result();
}

// One %NAME% placeholder ("%FILE%") and the text that takes its place.
struct Placeholder {
    String name;
    String value;
};

// Replaces every occurrence of each placeholder, case-sensitively, by its value. The text is
// read once from left to right, so a value is inserted as it is and never searched again: a
// file name that happens to contain "%MSG%" stays intact. Where two placeholders start at the
// same place, the one listed first wins. A placeholder that does not occur is no error; with
// nothing to replace the same string object comes back.
String FillPlaceholders(const String& text, std::initializer_list<Placeholder> values);
String FillPlaceholders(const String& text, const Placeholder* values, size_t count);

// The text for key through the string localizer (defaultText when there is no translation),
// with its placeholders filled in.
String LocalizedMessage(const String& key, const String& defaultText,
                        std::initializer_list<Placeholder> values = {});

}  // namespace kest

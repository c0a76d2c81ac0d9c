#include "kest/StringFormat.h"

#include "kest/Error.h"
#include "kest/Localizer.h"

#include <cstdio>
#include <vector>

namespace kest {

namespace {

const char kInvalidFormat[] = "CStringFormat: invalid format string.";
const char kTooManyFlags[] = "CStringFormat: too many field flags specified.";
const char kExpectedWidth[] = "CStringFormat: expected integer value (field width).";
const char kExpectedPrecision[] = "CStringFormat: expected integer value (field precision).";
const char kMismatch[] = "CStringFormat: argument does not match the field's format specification.";
const char kNotAllPushed[] = "CStringFormat: not all parameters have been pushed in yet.";

// No sensible text needs wider fields; a larger width or precision (usually a garbage argument
// for a "*") would only make the formatter allocate without bound.
constexpr int64_t kMaxFieldSize = 65536;

constexpr int kMaxFlags = 5;

// Digits of the largest double in "f" form.
constexpr size_t kMaxDoubleDigits = 309;

bool IsDigit(CodePoint c) { return c >= '0' && c <= '9'; }

}  // namespace

CStringFormat::CStringFormat(const String& format) {
    m_format.reserve(size_t(format.Length()));
    for (CodePoint cp : format) m_format.push_back(cp);
    Advance();
}

CStringFormat::~CStringFormat() = default;

void CStringFormat::Fail(const char* argument) {
    // Leave nothing half-parsed behind: a later push finds no field, and Result refuses.
    m_failed = true;
    m_kind = Kind::None;
    m_widthFromArgument = false;
    m_precisionFromArgument = false;
    m_position = -1;
    throw CInvalidArgError(String(argument));
}

void CStringFormat::ResetField() {
    m_kind = Kind::None;
    m_letter = 0;
    m_widthFromArgument = false;
    m_precisionFromArgument = false;
    m_width = -1;
    m_precision = -1;
    m_zeroPad = m_leftAlign = m_alternate = m_plusSign = m_spaceSign = false;
    m_flagText.clear();
}

void CStringFormat::AppendLiteral(int32_t from, int32_t to) {
    m_result.insert(m_result.end(), m_format.begin() + from, m_format.begin() + to);
}

void CStringFormat::AppendRepeated(CodePoint cp, int64_t count) {
    if (count > 0) m_result.insert(m_result.end(), size_t(count), cp);
}

void CStringFormat::Advance() {
    if (m_position < 0) return;
    ResetField();
    const int32_t size = int32_t(m_format.size());
    int32_t from = m_position;
    int32_t p = from;
    for (;;) {
        while (p < size && m_format[size_t(p)] != '%') ++p;
        if (p >= size) {
            AppendLiteral(from, size);
            m_position = -1;
            return;
        }
        if (p + 1 < size && m_format[size_t(p) + 1] == '%') {
            AppendLiteral(from, p + 1);  // the text and one "%"
            p += 2;
            from = p;
            continue;
        }
        AppendLiteral(from, p);
        ParseField(p);
        return;
    }
}

void CStringFormat::ParseField(int32_t percent) {
    const int32_t size = int32_t(m_format.size());
    int32_t i = percent + 1;
    auto at = [&](int32_t k) -> CodePoint { return k < size ? m_format[size_t(k)] : 0; };

    for (;; ++i) {
        CodePoint c = at(i);
        bool* flag = c == ' '   ? &m_spaceSign
                     : c == '#' ? &m_alternate
                     : c == '+' ? &m_plusSign
                     : c == '-' ? &m_leftAlign
                     : c == '0' ? &m_zeroPad
                                : nullptr;
        if (!flag) break;
        if (int(m_flagText.size()) == kMaxFlags) Fail(kTooManyFlags);
        *flag = true;
        m_flagText.push_back(char(c));
    }

    auto readNumber = [&]() -> int32_t {
        int64_t value = 0;
        while (IsDigit(at(i))) {
            value = value * 10 + (at(i) - '0');
            if (value > kMaxFieldSize) Fail(kInvalidFormat);
            ++i;
        }
        return int32_t(value);
    };

    if (at(i) == '*') {
        m_widthFromArgument = true;
        ++i;
    } else if (at(i) >= '1' && at(i) <= '9') {
        m_width = readNumber();
    }

    if (at(i) == '.') {
        ++i;
        if (at(i) == '*') {
            m_precisionFromArgument = true;
            ++i;
        } else {
            m_precision = readNumber();
        }
    }

    // Length modifiers say nothing here: every argument carries its own type.
    switch (at(i)) {
        case 'I':
            if (at(i + 1) != '6' || at(i + 2) != '4') Fail(kInvalidFormat);
            i += 3;
            break;
        case 'h':
        case 'l':
            i += at(i + 1) == at(i) ? 2 : 1;
            break;
        case 'L':
        case 'j':
        case 't':
        case 'z':
            ++i;
            break;
        default:
            break;
    }

    CodePoint letter = at(i);
    switch (letter) {
        case 'd': case 'i': case 'u': case 'o': case 'x': case 'X':
            m_kind = Kind::Integer;
            break;
        case 'e': case 'E': case 'f': case 'g': case 'G':
            m_kind = Kind::Floating;
            break;
        case 'c': case 'C':
            m_kind = Kind::Character;
            break;
        case 's': case 'S':
            m_kind = Kind::Text;
            break;
        default:
            Fail(kInvalidFormat);  // also the end of the format right after "%"
    }
    m_letter = letter;
    m_position = i + 1;
}

bool CStringFormat::TakeSize(int64_t value) {
    if (!m_widthFromArgument && !m_precisionFromArgument) return false;
    if (value < 0) value = 0;
    if (value > kMaxFieldSize) Fail(kMismatch);
    if (m_widthFromArgument) {
        m_width = int32_t(value);
        m_widthFromArgument = false;
    } else {
        m_precision = int32_t(value);
        m_precisionFromArgument = false;
    }
    return true;
}

CStringFormat& CStringFormat::Push(int32_t value) {
    bool negative = value < 0;
    uint64_t magnitude = negative ? uint64_t(-int64_t(value)) : uint64_t(value);
    PushInteger({magnitude, negative, true, 32});
    return *this;
}

CStringFormat& CStringFormat::Push(uint32_t value) {
    PushInteger({value, false, false, 32});
    return *this;
}

CStringFormat& CStringFormat::Push(int64_t value) {
    bool negative = value < 0;
    // Negating in unsigned arithmetic: INT64_MIN has no positive twin.
    uint64_t magnitude = negative ? ~uint64_t(value) + 1 : uint64_t(value);
    PushInteger({magnitude, negative, true, 64});
    return *this;
}

CStringFormat& CStringFormat::Push(uint64_t value) {
    PushInteger({value, false, false, 64});
    return *this;
}

void CStringFormat::PushInteger(const IntegerArg& arg) {
    if (m_widthFromArgument || m_precisionFromArgument) {
        int64_t size = arg.magnitude > uint64_t(kMaxFieldSize) ? kMaxFieldSize + 1 : int64_t(arg.magnitude);
        TakeSize(arg.negative ? -size : size);
        return;
    }
    switch (m_kind) {
        case Kind::Integer:
            FormatInteger(arg);
            break;
        case Kind::Floating: {
            double v = double(arg.magnitude);
            FormatFloating(arg.negative ? -v : v);
            break;
        }
        case Kind::Character: {
            uint64_t raw = arg.negative ? ~arg.magnitude + 1 : arg.magnitude;
            FormatCharacter(CodePoint(raw));
            break;
        }
        default:
            Fail(kMismatch);
    }
    Advance();
}

CStringFormat& CStringFormat::Push(double value) {
    if (m_widthFromArgument) Fail(kExpectedWidth);
    if (m_precisionFromArgument) Fail(kExpectedPrecision);
    if (m_kind != Kind::Floating) Fail(kMismatch);
    FormatFloating(value);
    Advance();
    return *this;
}

CStringFormat& CStringFormat::Push(Char value) {
    if (TakeSize(int64_t(value.value))) return *this;
    switch (m_kind) {
        case Kind::Integer:
            FormatInteger({value.value, false, false, 32});
            break;
        case Kind::Character:
            FormatCharacter(value.value);
            break;
        default:
            Fail(kMismatch);
    }
    Advance();
    return *this;
}

CStringFormat& CStringFormat::Push(const String& value) {
    if (m_widthFromArgument) Fail(kExpectedWidth);
    if (m_precisionFromArgument) Fail(kExpectedPrecision);
    if (m_kind != Kind::Text) Fail(kMismatch);
    FormatText(value);
    Advance();
    return *this;
}

void CStringFormat::FormatInteger(const IntegerArg& arg) {
    const bool unsignedLetter = m_letter == 'x' || m_letter == 'X' || m_letter == 'o';
    uint64_t value = arg.magnitude;
    bool negative = false;
    bool signedField = false;
    if (unsignedLetter) {
        if (arg.negative) value = ~arg.magnitude + 1;
        if (arg.bits == 32) value &= 0xFFFFFFFFu;
    } else if (arg.isSigned) {
        signedField = true;
        negative = arg.negative;
    }

    const unsigned base = (m_letter == 'x' || m_letter == 'X') ? 16 : m_letter == 'o' ? 8 : 10;
    const char* digitSet = m_letter == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];  // 22 octal digits at most
    int digitCount = 0;
    for (uint64_t v = value; v != 0; v /= base) digits[digitCount++] = digitSet[v % base];

    int64_t count = digitCount;
    if (m_precision < 0) {
        if (count < 1) count = 1;
    } else if (count < m_precision) {
        count = m_precision;
    }
    int prefix = 0;
    if (m_alternate) prefix = base == 16 ? 2 : base == 8 ? 1 : 0;
    count += prefix;

    int64_t leading = 0;
    int64_t trailing = 0;
    if (m_width > count) {
        if (m_leftAlign) {
            trailing = m_width - count;
        } else if (m_zeroPad) {
            count = m_width;
        } else {
            leading = m_width - count;
        }
    }

    AppendRepeated(' ', leading);
    if (negative) {
        m_result.push_back('-');
    } else if (signedField && m_plusSign) {
        m_result.push_back('+');
    } else if (signedField && m_spaceSign) {
        m_result.push_back(' ');
    }
    if (prefix >= 1) m_result.push_back('0');
    if (prefix == 2) m_result.push_back(m_letter);
    AppendRepeated('0', count - prefix - digitCount);
    while (digitCount > 0) m_result.push_back(CodePoint(uint8_t(digits[--digitCount])));
    AppendRepeated(' ', trailing);
}

std::string CStringFormat::PrintfField(char letter, bool withPrecision) const {
    std::string field(1, '%');
    field.append(m_flagText);
    if (m_width >= 0) field.append(std::to_string(m_width));
    if (withPrecision && m_precision >= 0) {
        field.push_back('.');
        field.append(std::to_string(m_precision));
    }
    field.push_back(letter);
    return field;
}

void CStringFormat::EnsureScratch(size_t size) {
    if (size <= m_scratchSize) return;
    m_scratch = std::make_unique<char[]>(size);
    m_scratchSize = size;
}

void CStringFormat::FormatFloating(double value) {
    const std::string field = PrintfField(char(m_letter), true);
    // Room for the widest result: sign, every digit of the largest double before the point, the
    // point, the digits after it, an exponent, the width's padding and the terminator.
    const size_t precision = size_t(m_precision >= 0 ? m_precision : 6);
    const size_t width = size_t(m_width > 0 ? m_width : 0);
    EnsureScratch(width + precision + kMaxDoubleDigits + 16);
    int n = std::snprintf(m_scratch.get(), m_scratchSize, field.c_str(), value);
    if (n < 0 || size_t(n) >= m_scratchSize) Fail(kMismatch);
    for (int k = 0; k < n; ++k) m_result.push_back(CodePoint(uint8_t(m_scratch[size_t(k)])));
}

void CStringFormat::FormatCharacter(CodePoint cp) {
    if (cp > 127) {
        // Beyond ASCII the narrow runtime cannot print it: the field becomes a one-character
        // string field.
        m_kind = Kind::Text;
        FormatCodePoints(&cp, 1);
        return;
    }
    const std::string field = PrintfField('c', false);
    EnsureScratch(size_t(m_width > 0 ? m_width : 0) + 8);
    int n = std::snprintf(m_scratch.get(), m_scratchSize, field.c_str(), int(cp));
    if (n < 0 || size_t(n) >= m_scratchSize) Fail(kMismatch);
    for (int k = 0; k < n; ++k) m_result.push_back(CodePoint(uint8_t(m_scratch[size_t(k)])));
}

void CStringFormat::FormatText(const String& text) {
    // Only the code points that will be shown are decoded.
    const int32_t limit = m_precision >= 0 && m_precision < text.Length() ? m_precision : text.Length();
    std::vector<CodePoint> cps;
    cps.reserve(size_t(limit > 0 ? limit : 0));
    CharReader reader = text.Reader();
    CodePoint cp;
    while (int32_t(cps.size()) < limit && reader.Next(cp)) cps.push_back(cp);
    FormatCodePoints(cps.data(), int32_t(cps.size()));
}

void CStringFormat::FormatCodePoints(const CodePoint* cps, int32_t count) {
    if (m_precision >= 0 && m_precision < count) count = m_precision;
    const int64_t pad = m_width > count ? m_width - count : 0;
    const CodePoint padChar = m_zeroPad ? '0' : ' ';
    if (!m_leftAlign) AppendRepeated(padChar, pad);
    m_result.insert(m_result.end(), cps, cps + count);
    if (m_leftAlign) AppendRepeated(padChar, pad);
}

String CStringFormat::Result() const {
    if (m_failed || m_kind != Kind::None || m_widthFromArgument || m_precisionFromArgument) {
        throw CInvalidObjectStateError(String(kNotAllPushed));
    }
    return String::FromCodePoints(m_result.data(), int32_t(m_result.size()));
}

// ---- placeholders

String FillPlaceholders(const String& text, const Placeholder* values, size_t count) {
    if (text.IsNull() || count == 0) return text;
    // Where each placeholder occurs next (-1: no more); refreshed only when passed over.
    std::vector<int32_t> next(count, -1);
    for (size_t k = 0; k < count; ++k) {
        if (!values[k].name.IsEmpty()) next[k] = text.Find(values[k].name, 0);
    }
    String result;
    int32_t copied = 0;
    bool replaced = false;
    for (;;) {
        size_t best = count;
        for (size_t k = 0; k < count; ++k) {
            if (next[k] >= 0 && (best == count || next[k] < next[best])) best = k;
        }
        if (best == count) break;
        const int32_t at = next[best];
        result = result + text.Substring(copied, at) + values[best].value;
        replaced = true;
        copied = at + values[best].name.Length();
        for (size_t k = 0; k < count; ++k) {
            if (next[k] >= 0 && next[k] < copied) next[k] = text.Find(values[k].name, copied);
        }
    }
    if (!replaced) return text;
    return result + text.Substring(copied);
}

String FillPlaceholders(const String& text, std::initializer_list<Placeholder> values) {
    return FillPlaceholders(text, values.begin(), values.size());
}

String LocalizedMessage(const String& key, const String& defaultText,
                        std::initializer_list<Placeholder> values) {
    return FillPlaceholders(LookupLocalizedText(key, defaultText), values);
}

}  // namespace kest

#include "kest/Error.h"
#include "kest/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kest_test {

using namespace kest;

TEST(Strings, LiteralsAreWrappedWithoutCopying) {
    static const char narrow[] = "literal";
    static const wchar_t wide[] = L"literal";
    String a(narrow), b(wide);
    EXPECT_EQ(a.Data(), narrow);
    EXPECT_EQ(b.Data(), wide);
    EXPECT_TRUE(a.HasEncoding(kEncodingLatin1));
    EXPECT_TRUE(b.HasEncoding(kEncodingUTF16));
    EXPECT_TRUE(a.IsTerminated());
    EXPECT_EQ(a.Length(), 7);
    EXPECT_EQ(b.ByteLength(), 14);
    EXPECT_TRUE(a.Equals(b));
    EXPECT_TRUE(b.AsUTF16().IsSameObject(b));
    EXPECT_EQ(b.WideData(), wide);
    EXPECT_THROW(a.WideData(), CInvalidObjectStateError);
    EXPECT_STREQ(a.AsUTF16().WideData(), L"literal");
}

TEST(Strings, NullAndEmptyAreDifferentValues) {
    String empty;
    EXPECT_FALSE(empty.IsNull());
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(empty.HasEncoding(kEncodingUTF8));
    EXPECT_TRUE(String().IsSameObject(empty)) << "one shared empty string";
    // Terminated like every literal: it goes to the system without a copy.
    EXPECT_TRUE(empty.IsTerminated());
    EXPECT_TRUE(empty.ConvertTo(UTF8Encoding()).IsSameObject(empty));

    struct Case {
        String value;
        uint32_t encoding;
    } nulls[] = {{String::Null(), kEncodingUTF8},
                 {String(static_cast<const char*>(nullptr)), kEncodingUTF8},
                 {String(static_cast<const wchar_t*>(nullptr)), kEncodingUTF16},
                 {String(P<IString>()), kEncodingUTF8},
                 {String::NullWide().ConvertTo(Latin1Encoding()), kEncodingLatin1}};
    for (const Case& c : nulls) {
        EXPECT_TRUE(c.value.IsNull());
        EXPECT_TRUE(c.value.IsEmpty());
        EXPECT_TRUE(c.value.HasEncoding(c.encoding));
        EXPECT_EQ(c.value.ByteLength(), 0);
    }
    EXPECT_TRUE(String::Null().IsSameObject(String::Null()));
    EXPECT_TRUE(String::Null().Equals(empty)) << "same (no) text";
}

TEST(Strings, StorageModes) {
    static const char text[] = "abcdef";
    String referenced(P<IString>(New<CString>(text, 3, StorageMode::Reference, Latin1Encoding())));
    EXPECT_EQ(referenced.Data(), text);
    EXPECT_FALSE(referenced.IsTerminated()) << "a length was given: no terminator is known";

    String copied(P<IString>(New<CString>(text, 3, StorageMode::Copy, Latin1Encoding())));
    EXPECT_NE(copied.Data(), text);
    EXPECT_TRUE(copied.IsTerminated());
    EXPECT_EQ(static_cast<const char*>(copied.Data())[3], '\0');

    auto buffer = std::make_unique<uint8_t[]>(4);
    std::memcpy(buffer.get(), "xyz", 4);
    const uint8_t* raw = buffer.get();
    String adopted(P<IString>(New<CString>(std::move(buffer), 3, true, UTF8Encoding())));
    EXPECT_EQ(adopted.Data(), raw);
    EXPECT_TRUE(adopted.Equals("xyz"));

    // A length of -1 is measured up to the terminator of the encoding.
    static const wchar_t wide[] = L"wide";
    String measured(P<IString>(New<CString>(wide, -1, StorageMode::Reference, UTF16Encoding())));
    EXPECT_EQ(measured.ByteLength(), 8);
    EXPECT_TRUE(measured.IsTerminated());
    EXPECT_EQ(measured.Length(), 4);
}

TEST(Strings, Construction) {
    EXPECT_TRUE(String::FromInt(-42).Equals("-42"));
    EXPECT_TRUE(String::FromInt(INT32_MIN).Equals("-2147483648"));
    char transient[] = "abc";
    String copy = String::Copy(transient);
    transient[0] = 'X';
    EXPECT_TRUE(copy.Equals("abc"));
    EXPECT_TRUE(String::Copy(L"abcdef", 3).Equals(L"abc"));
    const CodePoint cps[] = {0x1F600, 'x'};
    String fromCps = String::FromCodePoints(cps, 2);
    EXPECT_EQ(fromCps.Length(), 2);
    EXPECT_EQ(fromCps.CharAt(0), 0x1F600u);
    EXPECT_TRUE(String(u8"ж").Equals(L"ж"));
}

TEST(Strings, AccessAndIteration) {
    String text = String::FromUTF8(u8"aé𝄞z");
    ASSERT_EQ(text.Length(), 4);
    const CodePoint expected[] = {'a', 0xE9, 0x1D11E, 'z'};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(text.CharAt(i), expected[i]);
    EXPECT_THROW(text.CharAt(4), CInvalidArgError);
    EXPECT_THROW(text.CharAt(-1), CInvalidArgError);
    // Longer than one decoding chunk, in every encoding.
    std::vector<CodePoint> many;
    for (CodePoint cp = 0x400; cp < 0x400 + 300; ++cp) many.push_back(cp);
    String big = String::FromCodePoints(many.data(), int32_t(many.size()));
    for (ICharEncoding* e : {UTF8Encoding(), UTF16Encoding(), UTF32Encoding()}) {
        String converted = big.ConvertTo(e);
        EXPECT_EQ(std::vector<CodePoint>(converted.begin(), converted.end()), many);
        std::vector<CodePoint> backwards;
        ReverseCharReader reverse = converted.ReverseReader();
        for (CodePoint cp; reverse.Next(cp);) backwards.push_back(cp);
        EXPECT_EQ(std::vector<CodePoint>(backwards.rbegin(), backwards.rend()), many);
    }
}

struct CompareCase {
    const wchar_t* a;
    const wchar_t* b;
    int32_t n;
    int32_t expected;
    int32_t expectedNoCase;
};

TEST(Strings, ComparisonTable) {
    const CompareCase cases[] = {
        {L"abc", L"abd", -1, -1, -1},
        {L"ab", L"abc", -1, -1, -1},
        {L"abc", L"ab", -1, 1, 1},
        {L"abc", L"abc", -1, 0, 0},
        {L"ÄBC", L"äbc", -1, -1, 0},
        {L"Straße", L"STRASSE", -1, 1, 1},  // simple mappings only: ß stays ß
        {L"abcx", L"abcy", 3, 0, 0},          // the limit is reached first
        {L"ab", L"abc", 2, 0, 0},
        {L"", L"", -1, 0, 0},
        {L"", L"a", -1, -1, -1},
        {L"\U0001D11E", L"\uFFFF", -1, 1, 1},  // code points, not UTF-16 units
        {L"\U00010400", L"\U00010428", -1, -1, 0},  // Deseret: outside the BMP
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        String a(c.a), b(c.b);
        EXPECT_EQ(a.Compare(b, c.n), c.expected);
        EXPECT_EQ(a.CompareNoCase(b, c.n), c.expectedNoCase);
        // The same in other encodings on either side.
        String a8 = a.ConvertTo(UTF8Encoding()), b32 = b.ConvertTo(UTF32Encoding());
        EXPECT_EQ(a8.Compare(b32, c.n), c.expected);
        EXPECT_EQ(a8.CompareNoCase(b32, c.n), c.expectedNoCase);
        EXPECT_EQ(a.Equals(b, c.n), c.expected == 0);
        EXPECT_EQ(a.EqualsNoCase(b, c.n), c.expectedNoCase == 0);
        EXPECT_EQ(a8.Equals(b32, c.n), c.expected == 0);
        EXPECT_EQ(a8.EqualsNoCase(b32, c.n), c.expectedNoCase == 0);
    }
}

TEST(Strings, StartsAndEndsWith) {
    String text(L"Hello World");
    EXPECT_TRUE(text.StartsWith("Hello"));
    EXPECT_FALSE(text.StartsWith("hello"));
    EXPECT_TRUE(text.StartsWith("hello", false));
    EXPECT_TRUE(text.StartsWith(""));
    EXPECT_FALSE(text.StartsWith("Hello World!"));
    EXPECT_TRUE(text.EndsWith(L"World"));
    EXPECT_TRUE(text.EndsWith("WORLD", false));
    EXPECT_FALSE(text.EndsWith("Worl"));
    EXPECT_FALSE(String("d").EndsWith("World"));

    // Over at most n code points, and at a position.
    const struct Case {
        const wchar_t* other;
        int32_t n;
        bool caseSensitive;
        bool starts, ends;
    } limited[] = {
        {L"Help", 3, true, true, false},      // "Hel" begins the text
        {L"Help", 4, true, false, false},
        {L"HELP", 3, false, true, false},
        {L"Wor!d", 3, true, false, true},     // "Wor" stands where "Wor!d" would end the text
        {L"Wor!d", 5, true, false, false},
        {L"xyz", 0, true, true, true},        // nothing compared
        {L"Hello World!", 5, true, false, false},  // longer than the text: false at once
    };
    for (const Case& c : limited) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - limited));
        EXPECT_EQ(text.StartsWith(String(c.other), c.n, c.caseSensitive), c.starts);
        EXPECT_EQ(text.EndsWith(String(c.other), c.n, c.caseSensitive), c.ends);
        String utf8 = text.ConvertTo(UTF8Encoding());
        EXPECT_EQ(utf8.StartsWith(String(c.other), c.n, c.caseSensitive), c.starts);
        EXPECT_EQ(utf8.EndsWith(String(c.other), c.n, c.caseSensitive), c.ends);
    }
    const struct AtCase {
        int32_t position;
        const wchar_t* other;
        int32_t n;
        bool caseSensitive;
        bool equal;
    } at[] = {
        {6, L"World", -1, true, true},  {6, L"world", -1, true, false}, {6, L"world", -1, false, true},
        {6, L"Worm", 3, true, true},    {6, L"Worm", -1, true, false},  {7, L"World", 2, true, false},
        {4, L"o W", -1, true, true},    {11, L"", -1, true, true},      {12, L"", -1, true, false},
        {-1, L"H", -1, true, false},    {0, L"Hello", -1, true, true},
    };
    for (const AtCase& c : at) {
        SCOPED_TRACE(testing::Message() << "at case " << (&c - at));
        EXPECT_EQ(text.EqualsAt(c.position, String(c.other), c.n, c.caseSensitive), c.equal);
        EXPECT_EQ(text.ConvertTo(UTF32Encoding()).EqualsAt(c.position, String(c.other), c.n, c.caseSensitive),
                  c.equal);
    }
}

TEST(Strings, Search) {
    String text = String::FromUTF8(u8"abcÄbcabc");
    EXPECT_EQ(text.Find('b'), 1);
    EXPECT_EQ(text.Find('b', 2), 4);
    EXPECT_EQ(text.Find(0xE4), -1);
    EXPECT_EQ(text.Find(0xE4, 0, false), 3);
    EXPECT_EQ(text.FindLast('b'), 7);
    EXPECT_EQ(text.FindLast('b', 6), 4);
    EXPECT_EQ(text.Find("bc"), 1);
    EXPECT_EQ(text.Find("bc", 2), 4);
    EXPECT_EQ(text.Find(L"äBC", 0, false), 3);
    EXPECT_EQ(text.Find(L"äBC"), -1);
    EXPECT_EQ(text.FindLast("abc"), 6);
    EXPECT_EQ(text.FindLast("abc", 5), 0);
    EXPECT_EQ(text.Find("abcd"), -1);
    EXPECT_EQ(text.Find(""), 0);
    EXPECT_EQ(text.Find("c", 100), -1);
}

TEST(Strings, Building) {
    String a(L"Grüß"), b("e ");
    String joined = a + b + String::FromUTF8(u8"€");
    EXPECT_TRUE(joined.Equals(String::FromUTF8(u8"Grüße €")));
    EXPECT_TRUE((a + "").IsSameObject(a));
    EXPECT_TRUE((String() + a).IsSameObject(a));
    // Latin-1 keeps its encoding only while it can hold the whole text.
    EXPECT_TRUE((String("ab") + String(L"ä")).HasEncoding(kEncodingLatin1));
    EXPECT_TRUE((String("ab") + String(L"€")).Equals(L"ab€"));

    String text(L"0123456789");
    EXPECT_TRUE(text.Substring(2, 5).Equals("234"));
    EXPECT_TRUE(text.Substring(7).Equals("789"));
    EXPECT_TRUE(text.Substring(0).IsSameObject(text));
    EXPECT_TRUE(text.Substring(8, 3).IsEmpty());
    EXPECT_TRUE(text.Substring(-5, 100).IsSameObject(text));
    String wide = String::FromUTF8(u8"a𝄞bc");
    EXPECT_TRUE(wide.Substring(1, 3).Equals(String::FromUTF8(u8"𝄞b")));
    String slice = wide.Slice(1, 3);
    EXPECT_TRUE(slice.Equals(String::FromUTF8(u8"𝄞b")));
    EXPECT_FALSE(slice.IsTerminated());
    EXPECT_TRUE(wide.Slice(2).IsTerminated());
    EXPECT_TRUE(slice.AsUTF16().Equals(L"\U0001D11Eb"));
}

TEST(Strings, Replace) {
    String text(L"Cannot open %FILE%: %FILE% is locked");
    EXPECT_TRUE(text.Replace("%FILE%", "a.txt").Equals("Cannot open a.txt: a.txt is locked"));
    EXPECT_TRUE(text.Replace("%file%", "x", false).Equals("Cannot open x: x is locked"));
    EXPECT_TRUE(text.Replace("%file%", "x").IsSameObject(text));
    String plain("no placeholder here");
    EXPECT_TRUE(plain.Replace("%FILE%", "a.txt").IsSameObject(plain));
    EXPECT_TRUE(plain.Replace("", "x").IsSameObject(plain));
    EXPECT_TRUE(String("aaaa").Replace("aa", "b").Equals("bb"));
    EXPECT_TRUE(String("aaa").Replace("a", "").Equals(""));
    // A Latin-1 text takes a replacement it cannot hold by moving to another encoding.
    String latin("price: %P%");
    String replaced = latin.Replace("%P%", String(L"5 €"));
    EXPECT_TRUE(replaced.Equals(L"price: 5 €"));
    // Without case the match may differ in byte length from the pattern.
    EXPECT_TRUE(String::FromUTF8(u8"xſy").Replace("S", "-", false).Equals("x-y"));
}

TEST(Strings, CaseConversion) {
    String mixed(L"Äbc ß ǅ");
    EXPECT_TRUE(mixed.ToUpper().Equals(L"ÄBC ß Ǆ"));
    EXPECT_TRUE(mixed.ToLower().Equals(L"äbc ß ǆ"));
    String upper(L"ALREADY UPPER 123");
    EXPECT_TRUE(upper.ToUpper().IsSameObject(upper));
    // The upper case of ÿ is outside Latin-1: kept, not turned into "?".
    String latin("\xFF");
    EXPECT_TRUE(latin.ToUpper().Equals(L"\u0178"));
    EXPECT_TRUE(String::FromUTF8(u8"𐐨").ToUpper().Equals(String::FromUTF8(u8"𐐀")));
    // Mappings whose distance does not fit 15 bits.
    EXPECT_TRUE(String(L"\uA7AE").ToLower().Equals(L"\u026A"));
    EXPECT_TRUE(String(L"\uAB70").ToUpper().Equals(L"\u13A0"));
}

struct IntCase {
    const char* text;
    int32_t radix;
    bool ok;
    int32_t value;
    int32_t used;
    bool strictOk;
};

TEST(Strings, ToInt) {
    const IntCase cases[] = {
        {"ff", 16, true, 255, 2, true},
        {"FF", 16, true, 255, 2, true},
        {"19", 8, true, 1, 1, false},
        {"-5", 10, false, 0, 0, false},
        {"", 10, false, 0, 0, false},
        {"z", 36, true, 35, 1, true},
        {"12ab", 10, true, 12, 2, false},
        {"2147483647", 10, true, INT32_MAX, 10, true},
        {"2147483648", 10, false, 0, 0, false},
        {"99999999999", 10, false, 0, 0, false},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.text);
        String text(c.text);
        if (c.ok) {
            int32_t used = -1;
            EXPECT_EQ(text.ToInt(c.radix, &used), c.value);
            EXPECT_EQ(used, c.used);
        } else {
            try {
                text.ToInt(c.radix);
                ADD_FAILURE() << "no error";
            } catch (const CParseError& e) {
                EXPECT_TRUE(e.GetDescription().Equals("Error parsing integer."));
                EXPECT_TRUE(e.GetTitle().Equals("Parse error"));
            }
        }
        if (c.strictOk) {
            EXPECT_EQ(text.ToIntStrict(c.radix), c.value);
        } else {
            EXPECT_THROW(text.ToIntStrict(c.radix), CParseError);
        }
    }
    EXPECT_THROW(String("1").ToInt(1), CInvalidArgError);
    EXPECT_THROW(String("1").ToInt(37), CInvalidArgError);
}

TEST(Strings, HashCode) {
    EXPECT_EQ(String("").HashCode(), 0);
    EXPECT_EQ(String("a").HashCode(), 97);
    EXPECT_EQ(String("ab").HashCode(), (98 ^ (97 >> 2) ^ (97 * 8)));
    // Independent of the encoding, also outside the BMP.
    String text = String::FromUTF8(u8"Grüße 𝄞 жзи");
    EXPECT_EQ(text.HashCode(), 901644309);
    for (ICharEncoding* e : {UTF16Encoding(), UTF32Encoding()}) EXPECT_EQ(text.ConvertTo(e).HashCode(), 901644309);
    EXPECT_EQ(String(L"Grüße").HashCode(), String("Gr\xFC\xDF" "e").HashCode());
    // Long texts: the sign bit is cleared at every step, not only at the end.
    std::vector<wchar_t> many(5000, L'\uFFFD');
    many.push_back(0);
    EXPECT_EQ(String(many.data()).HashCode(), 238511833);
}

TEST(Strings, CompareToThroughTheComparableInterface) {
    String a("a"), b(L"b");
    EXPECT_EQ(a.Object()->CompareTo(b.Object()), -1);
    EXPECT_EQ(b.Object()->CompareTo(a.Object()), 1);
    P<CObject> other = New<CObject>();
    EXPECT_THROW(a.Object()->CompareTo(other.Get()), CCastError);
    String self;
    a.Object()->ToString(self);
    EXPECT_TRUE(self.IsSameObject(a));
}

}  // namespace kest_test

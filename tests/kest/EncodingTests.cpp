#include "kest/CharEncoding.h"
#include "kest/Error.h"
#include "kest/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kest_test {

using namespace kest;

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int32_t next;  // -1: rejected
    CodePoint cp;
};

class UTF8Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(UTF8Decode, ShortestFormsUpToU10FFFF) {
    const DecodeCase& c = GetParam();
    CodePoint cp = 0xFFFFFFFF;
    int32_t next = UTF8Encoding()->Decode(c.bytes.data(), int32_t(c.bytes.size()), 0, cp);
    EXPECT_EQ(next, c.next);
    if (c.next >= 0) {
        EXPECT_EQ(cp, c.cp);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UTF8Decode,
    testing::Values(DecodeCase{"ascii", {0x41}, 1, 0x41},
                    DecodeCase{"two", {0xC3, 0xA4}, 2, 0xE4},
                    DecodeCase{"U0800", {0xE0, 0xA0, 0x80}, 3, 0x800},
                    DecodeCase{"U10000", {0xF0, 0x90, 0x80, 0x80}, 4, 0x10000},
                    DecodeCase{"U10FFFF", {0xF4, 0x8F, 0xBF, 0xBF}, 4, 0x10FFFF},
                    DecodeCase{"surrogate", {0xED, 0xA0, 0x80}, 3, 0xD800},
                    DecodeCase{"overlong2", {0xC0, 0x80}, -1, 0},
                    DecodeCase{"overlong3", {0xE0, 0x80, 0x80}, -1, 0},
                    DecodeCase{"overlong4", {0xF0, 0x80, 0x80, 0x80}, -1, 0},
                    DecodeCase{"aboveRange", {0xF4, 0x90, 0x80, 0x80}, -1, 0},
                    DecodeCase{"leadF8", {0xF8, 0x88, 0x80, 0x80, 0x80}, -1, 0},
                    DecodeCase{"continuation", {0x80}, -1, 0},
                    DecodeCase{"cutShort", {0xE2, 0x82}, -1, 0},
                    DecodeCase{"notContinued", {0xE2, 0x41, 0x41}, -1, 0}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(UTF8, EncodedLengthsAndBackwardDecoding) {
    ICharEncoding* utf8 = UTF8Encoding();
    EXPECT_EQ(utf8->EncodedLength(0x7F), 1);
    EXPECT_EQ(utf8->EncodedLength(0x7FF), 2);
    EXPECT_EQ(utf8->EncodedLength(0xD800), 3);
    EXPECT_EQ(utf8->EncodedLength(0x10FFFF), 4);
    EXPECT_EQ(utf8->EncodedLength(0x110000), 0);
    uint8_t buffer[4];
    EXPECT_EQ(utf8->Encode(0x20AC, buffer, 2, 0), 0) << "does not fit";
    ASSERT_EQ(utf8->Encode(0x20AC, buffer, 4, 0), 3);
    EXPECT_EQ(std::memcmp(buffer, "\xE2\x82\xAC", 3), 0);
    CodePoint cp = 0;
    EXPECT_EQ(utf8->DecodePrevious(buffer, 3, 3, cp), 0);
    EXPECT_EQ(cp, 0x20AC);
    EXPECT_EQ(utf8->DecodePrevious(buffer, 3, 2, cp), -1) << "ends inside a character";
}

TEST(UTF8, CountingSkipsInvalidBytes) {
    const uint8_t text[] = {'a', 0xC3, 0xA4, 0xFF, 'b', 0xE2, 0x82, 'c', 0x80};
    EXPECT_EQ(UTF8Encoding()->CountCharacters(text, sizeof(text), 0), 4);
    String s = String::FromUTF8(text, sizeof(text));
    EXPECT_EQ(s.Length(), 4);
    std::vector<CodePoint> seen(s.begin(), s.end());
    EXPECT_EQ(seen, (std::vector<CodePoint>{'a', 0xE4, 'b', 'c'}));
    std::vector<CodePoint> backwards;
    ReverseCharReader reverse = s.ReverseReader();
    for (CodePoint cp; reverse.Next(cp);) backwards.push_back(cp);
    EXPECT_EQ(backwards, (std::vector<CodePoint>{'c', 'b', 0xE4, 'a'}));
}

TEST(UTF16, SurrogatePairsAndLoneSurrogates) {
    ICharEncoding* utf16 = UTF16Encoding();
    EXPECT_EQ(utf16->EncodedLength(0xD800), 0);
    EXPECT_EQ(utf16->EncodedLength(0x110000), 0);
    EXPECT_EQ(utf16->EncodedLength(0x1F600), 4);
    const wchar_t pair[] = {0xD83D, 0xDE00};
    CodePoint cp = 0;
    EXPECT_EQ(utf16->Decode(pair, 4, 0, cp), 4);
    EXPECT_EQ(cp, 0x1F600u);
    EXPECT_EQ(utf16->Decode(pair, 2, 0, cp), -1) << "pair cut by the end";
    EXPECT_EQ(utf16->Decode(pair, 4, 2, cp), -1) << "lone low surrogate";
    const wchar_t mixed[] = {L'a', 0xDC00, L'b', 0xD800, 0};
    EXPECT_EQ(String(mixed).Length(), 2);
}

TEST(Conversion, TextToLatin1ReplacesWhatItLacksWithAQuestionMark) {
    String text = String::FromUTF8(u8"Grüße €");
    String latin1 = text.ConvertTo(Latin1Encoding());
    EXPECT_TRUE(latin1.HasEncoding(kEncodingLatin1));
    EXPECT_TRUE(latin1.IsTerminated());
    ASSERT_EQ(latin1.ByteLength(), 7);
    EXPECT_EQ(std::memcmp(latin1.Data(), "Gr\xFC\xDF" "e ?", 8), 0);
}

TEST(Conversion, CodePointsTheTargetLacksAreLeftOut) {
    const CodePoint units[] = {'a', 0xD800, 'b', 0x1F600};
    String text = String::FromUTF32(units, 4);
    String utf16 = text.ConvertTo(UTF16Encoding());
    EXPECT_EQ(utf16.Length(), 3);
    const wchar_t expected[] = {L'a', L'b', 0xD83D, 0xDE00, 0};
    ASSERT_EQ(utf16.ByteLength(), 8);
    EXPECT_EQ(std::memcmp(utf16.Data(), expected, sizeof(expected)), 0);

    // The UTF-8 fast path treats encoded surrogates the same way.
    String utf8 = String::FromUTF8("a\xED\xA0\x80" "b");
    EXPECT_EQ(utf8.Length(), 3);
    EXPECT_EQ(utf8.AsUTF16().Length(), 2);
    EXPECT_TRUE(utf8.AsUTF16().Equals(L"ab"));
}

TEST(Conversion, RoundTripsBetweenTheUnicodeEncodings) {
    String original = String::FromUTF8(u8"Ä → 𝄞 ж 中");
    for (ICharEncoding* encoding : {UTF16Encoding(), UTF32Encoding(), UTF8Encoding()}) {
        String converted = original.ConvertTo(encoding);
        EXPECT_EQ(converted.Encoding(), encoding);
        EXPECT_TRUE(converted.Equals(original));
        EXPECT_TRUE(converted.ConvertTo(UTF8Encoding()).Equals(original));
    }
    EXPECT_TRUE(original.ConvertTo(UTF8Encoding()).IsSameObject(original));
}

TEST(CodePage, ForwardOnly) {
    String text = String::FromCodePage("abc");
    EXPECT_EQ(text.Length(), 3);
    EXPECT_TRUE(text.Equals("abc"));
    EXPECT_TRUE(text.AsUTF16().Equals(L"abc"));
    CodePoint cp;
    ReverseCharReader reverse = text.ReverseReader();
    EXPECT_THROW(reverse.Next(cp), CMethodNotImplementedError);
    EXPECT_THROW(CodePageEncoding()->DecodePrevious(text.Data(), 3, 3, cp), CMethodNotImplementedError);
    EXPECT_EQ(CodePageEncoding()->Decode("\0", 1, 0, cp), 1);
    EXPECT_EQ(cp, 0u);
    EXPECT_EQ(CodePageEncoding()->EncodedLength(0x1F600), 0);
}

TEST(Encodings, NamesAndIdentifiers) {
    struct Case {
        ICharEncoding* encoding;
        const char* name;
        const char letters[5];
    } cases[] = {{UTF8Encoding(), "UTF-8", "UTF8"},     {UTF16Encoding(), "UTF-16", "UF16"},
                 {UTF32Encoding(), "UTF-32", "UF32"},   {Latin1Encoding(), "Latin-1", "LAT1"},
                 {CodePageEncoding(), "CodePage", "CDPG"}};
    for (const Case& c : cases) {
        uint32_t id = c.encoding->Id();
        EXPECT_EQ(std::memcmp(&id, c.letters, 4), 0) << c.name;
        EXPECT_TRUE(c.encoding->Name().Equals(c.name));
        EXPECT_EQ(EncodingById(id), c.encoding);
    }
}

}  // namespace kest_test

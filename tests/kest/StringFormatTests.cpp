#include "kest/Error.h"
#include "kest/Localizer.h"
#include "kest/StringFormat.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace kest_test {

using namespace kest;

// The formatter's text for an argument of the wrong kind for its field.
const char kArgumentMismatch[] =
    "CStringFormat: argument does not match the field's format specification.";

// One pushed argument of any kind the formatter takes.
using Arg = std::variant<int32_t, uint32_t, int64_t, uint64_t, double, Char, String>;

std::string Narrow(const String& text) {
    std::string out;
    for (CodePoint cp : text) out.push_back(cp < 0x80 ? char(cp) : '?');
    return out;
}

String FormatAll(const char* format, const std::vector<Arg>& args) {
    CStringFormat f{String(format)};
    for (const Arg& arg : args) std::visit([&](const auto& v) { f.Push(v); }, arg);
    return f.Result();
}

struct FormatCase {
    const char* format;
    std::vector<Arg> args;
    const char* expected;
};

class StringFormatResult : public testing::TestWithParam<FormatCase> {};

TEST_P(StringFormatResult, Formats) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(Narrow(FormatAll(c.format, c.args)), c.expected) << c.format;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, StringFormatResult,
    testing::Values(
        FormatCase{"%s%08X%s", {String("tmp"), uint32_t(0x2A), String(".dat")}, "tmp0000002A.dat"},
        FormatCase{"100%%", {}, "100%"},
        FormatCase{"a%%b%%%d%%", {int32_t(5)}, "a%b%5%"},
        FormatCase{"no fields", {}, "no fields"},
        FormatCase{"", {}, ""},
        // Width, alignment and zero padding; the sign stands outside the width.
        FormatCase{"[%5d]", {int32_t(-42)}, "[   -42]"},
        FormatCase{"[%-5d]", {int32_t(42)}, "[42   ]"},
        FormatCase{"[%05d]", {int32_t(42)}, "[00042]"},
        FormatCase{"[%05d]", {int32_t(-42)}, "[-00042]"},
        FormatCase{"[%-05d]", {int32_t(42)}, "[42   ]"},
        FormatCase{"[%2d]", {int32_t(12345)}, "[12345]"},
        // Alternate forms and precision.
        FormatCase{"%#x", {int32_t(255)}, "0xff"},
        FormatCase{"%#X", {int32_t(255)}, "0XFF"},
        FormatCase{"%#o", {int32_t(8)}, "010"},
        FormatCase{"%#06x", {int32_t(255)}, "0x00ff"},
        FormatCase{"%.3d", {int32_t(7)}, "007"},
        FormatCase{"[%.0d]", {int32_t(0)}, "[]"},
        FormatCase{"%d", {int32_t(0)}, "0"},
        // Signs only for signed fields.
        FormatCase{"%+d % d %+d", {int32_t(5), int32_t(5), int32_t(-5)}, "+5  5 -5"},
        FormatCase{"%+u", {uint32_t(5)}, "5"},
        FormatCase{"%u", {int32_t(-1)}, "-1"},
        // Unsigned letters show the bits of the argument's own width.
        FormatCase{"%x", {int32_t(-1)}, "ffffffff"},
        FormatCase{"%x", {int64_t(-1)}, "ffffffffffffffff"},
        FormatCase{"%o", {uint32_t(0xFFFFFFFF)}, "37777777777"},
        FormatCase{"%d %d", {int32_t(INT32_MIN), int64_t(INT64_MIN)}, "-2147483648 -9223372036854775808"},
        FormatCase{"%I64u %llu", {uint64_t(UINT64_MAX), uint64_t(1)}, "18446744073709551615 1"},
        FormatCase{"%ld %hd %hhd %zd %jd %td %Ld", {int32_t(1), int32_t(2), int32_t(3), int32_t(4), int32_t(5), int32_t(6), int32_t(7)},
                   "1 2 3 4 5 6 7"},
        // Characters: ASCII through printf, anything else as a one-character string.
        FormatCase{"[%c][%3c][%-3c]", {Char{'a'}, Char{'b'}, int32_t('c')}, "[a][  b][c  ]"},
        FormatCase{"%d", {Char{'A'}}, "65"},
        FormatCase{"[%3c]", {Char{0xE9}}, "[  ?]"},
        // Strings: precision cuts, width pads.
        FormatCase{"%.2s", {String("abcdef")}, "ab"},
        FormatCase{"[%5s]", {String("ab")}, "[   ab]"},
        FormatCase{"[%-5s]", {String("ab")}, "[ab   ]"},
        FormatCase{"[%05s]", {String("ab")}, "[000ab]"},
        FormatCase{"[%.9s]", {String("ab")}, "[ab]"},
        FormatCase{"[%S]", {String(L"wide")}, "[wide]"},
        // Widths and precisions from arguments; a negative one counts as 0.
        FormatCase{"[%*d]", {int32_t(4), int32_t(7)}, "[   7]"},
        FormatCase{"[%*d]", {int32_t(-4), int32_t(7)}, "[7]"},
        FormatCase{"[%.*s]", {uint32_t(3), String("abcdef")}, "[abc]"},
        FormatCase{"[%*.*d]", {int32_t(5), int32_t(3), int32_t(7)}, "[  007]"},
        // Floating fields through the runtime.
        FormatCase{"%.2f", {3.14159}, "3.14"},
        FormatCase{"[%8.3f]", {-2.5}, "[  -2.500]"},
        FormatCase{"[%-8.1f]", {2.75}, "[2.8     ]"},
        FormatCase{"%+.1f", {1.0}, "+1.0"},
        FormatCase{"%g", {0.5}, "0.5"},
        FormatCase{"%.1f", {int32_t(3)}, "3.0"},
        FormatCase{"%.0f", {int64_t(-7)}, "-7"}));

// The widest "f" result must fit: every digit of the largest double before the point.
TEST(StringFormat, WidestFloatingResultIsComplete) {
    char expected[400];
    int n = std::snprintf(expected, sizeof(expected), "%.2f", 1.7976931348623157e308);
    ASSERT_GT(n, 309);
    EXPECT_EQ(Narrow(FormatAll("%.2f", {1.7976931348623157e308})), std::string(expected, size_t(n)));
    n = std::snprintf(expected, sizeof(expected), "[%+12.4E]", 12345.678);
    EXPECT_EQ(Narrow(FormatAll("[%+12.4E]", {12345.678})), std::string(expected, size_t(n)));
}

TEST(StringFormat, KeepsCharactersBeyondLatin1) {
    String result = FormatAll("%s-%c", {String(L"\u20AC1"), Char{0x1F600}});
    ASSERT_EQ(result.Length(), 4);
    EXPECT_EQ(result.CharAt(0), 0x20ACu);
    EXPECT_EQ(result.CharAt(3), 0x1F600u);
}

TEST(StringFormat, FormatStringPushesEveryArgument) {
    EXPECT_EQ(Narrow(FormatString("%s%08X%s", "tmp", 0x2Au, String(".dat"))), "tmp0000002A.dat");
    EXPECT_EQ(Narrow(FormatString("%d/%u/%s", 1L, 2UL, L"w")), "1/2/w");
}

struct ErrorCase {
    const char* format;
    std::vector<Arg> args;
    const char* argumentText;
};

class StringFormatError : public testing::TestWithParam<ErrorCase> {};

TEST_P(StringFormatError, RaisesInvalidArgument) {
    const ErrorCase& c = GetParam();
    try {
        FormatAll(c.format, c.args);
        FAIL() << c.format << " did not raise";
    } catch (const CInvalidArgError& e) {
        EXPECT_EQ(Narrow(e.GetArgument()), c.argumentText) << c.format;
        EXPECT_TRUE(e.GetDescription().EndsWith(String(c.argumentText)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StringFormatError,
    testing::Values(
        ErrorCase{"%y", {}, "CStringFormat: invalid format string."},
        ErrorCase{"%F", {}, "CStringFormat: invalid format string."},
        ErrorCase{"abc%", {}, "CStringFormat: invalid format string."},
        ErrorCase{"%5", {}, "CStringFormat: invalid format string."},
        ErrorCase{"%I32d", {}, "CStringFormat: invalid format string."},
        ErrorCase{"%d %q", {int32_t(1)}, "CStringFormat: invalid format string."},
        ErrorCase{"%99999999999d", {}, "CStringFormat: invalid format string."},
        ErrorCase{"%+- #0+d", {}, "CStringFormat: too many field flags specified."},
        ErrorCase{"%------d", {}, "CStringFormat: too many field flags specified."},
        ErrorCase{"%*d", {String("x")}, "CStringFormat: expected integer value (field width)."},
        ErrorCase{"%*d", {1.5}, "CStringFormat: expected integer value (field width)."},
        ErrorCase{"%.*d", {String("x")}, "CStringFormat: expected integer value (field precision)."},
        ErrorCase{"%*.*f", {int32_t(2), 1.0}, "CStringFormat: expected integer value (field precision)."},
        ErrorCase{"%*s", {int32_t(2000000000)}, kArgumentMismatch},
        ErrorCase{"%d", {2.5}, kArgumentMismatch},
        ErrorCase{"%d", {String("7")}, kArgumentMismatch},
        ErrorCase{"%f", {String("7")}, kArgumentMismatch},
        ErrorCase{"%f", {Char{'7'}}, kArgumentMismatch},
        ErrorCase{"%s", {int32_t(7)}, kArgumentMismatch},
        ErrorCase{"%c", {String("7")}, kArgumentMismatch},
        ErrorCase{"done", {int32_t(1)}, kArgumentMismatch}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return "Case" + std::to_string(info.index); });

TEST(StringFormat, FiveFlagsAreAccepted) {
    EXPECT_EQ(Narrow(FormatAll("[%+- #0d]", {int32_t(3)})), "[+3]");
}

TEST(StringFormat, ResultBeforeEveryFieldIsFilledRaises) {
    const char* notAll = "CStringFormat: not all parameters have been pushed in yet.";
    struct Case {
        const char* format;
        std::vector<Arg> args;
    } cases[] = {
        {"%d %d", {int32_t(1)}},
        {"%*d", {int32_t(1)}},
        {"%.*s", {}},
    };
    for (const Case& c : cases) {
        try {
            FormatAll(c.format, c.args);
            ADD_FAILURE() << c.format << " did not raise";
        } catch (const CInvalidObjectStateError& e) {
            EXPECT_EQ(Narrow(e.GetReason()), notAll) << c.format;
            EXPECT_EQ(Narrow(e.GetDescription()),
                      std::string("The object is in an invalid state (unknown object): ") + notAll)
                << c.format;
        }
    }
}

TEST(StringFormat, FormatterThatRaisedRefusesFurtherUse) {
    CStringFormat f{String("a%db")};
    EXPECT_THROW(f.Push(1.0), CInvalidArgError);
    EXPECT_THROW(f.Push(int32_t(1)), CInvalidArgError);
    EXPECT_THROW(f.Result(), CInvalidObjectStateError);
}

TEST(StringFormat, ToStringGivesTheResult) {
    P<CStringFormat> f = New<CStringFormat>(String("%d items"));
    f->Push(int32_t(3));
    String text;
    f->ToString(text);
    EXPECT_EQ(Narrow(text), "3 items");
}

// ---- %NAME% placeholders

struct PlaceholderCase {
    const char* name;
    const char* text;
    std::vector<Placeholder> values;
    const char* expected;
};

class Placeholders : public testing::TestWithParam<PlaceholderCase> {};

TEST_P(Placeholders, Fill) {
    const PlaceholderCase& c = GetParam();
    String text(c.text);
    String filled = FillPlaceholders(text, c.values.data(), c.values.size());
    EXPECT_EQ(Narrow(filled), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Placeholders,
    testing::Values(
        PlaceholderCase{"Every", "'%FILE%' or '%FILE%' (%MSG%)",
                        {{"%FILE%", "a.txt"}, {"%MSG%", "busy"}}, "'a.txt' or 'a.txt' (busy)"},
        PlaceholderCase{"CaseSensitive", "%file% %FILE%", {{"%FILE%", "x"}}, "%file% x"},
        PlaceholderCase{"Absent", "nothing here", {{"%FILE%", "x"}}, "nothing here"},
        PlaceholderCase{"ValueNotSearchedAgain", "%SRC% -> %DEST%",
                        {{"%SRC%", "50%DEST%.txt"}, {"%DEST%", "b"}}, "50%DEST%.txt -> b"},
        PlaceholderCase{"EmptyValue", "[%MSG%]", {{"%MSG%", ""}}, "[]"},
        PlaceholderCase{"EmptyNameIgnored", "abc", {{"", "x"}}, "abc"},
        PlaceholderCase{"Adjacent", "%A%%B%", {{"%A%", "1"}, {"%B%", "2"}}, "12"}),
    [](const testing::TestParamInfo<PlaceholderCase>& info) { return info.param.name; });

TEST(Placeholders, WithoutOccurrenceReturnsTheSameObject) {
    String text("plain");
    EXPECT_TRUE(FillPlaceholders(text, {{String("%FILE%"), String("x")}}).IsSameObject(text));
}

TEST(Placeholders, LocalizedMessageFillsTheDefault) {
    String message = LocalizedMessage(String("kest.test.NoSuchKey"), String(L"Error deleting '%FILE%' (%MSG%)."),
                                      {{String("%FILE%"), String(L"C:\\x")}, {String("%MSG%"), String("busy")}});
    EXPECT_EQ(Narrow(message), "Error deleting 'C:\\x' (busy).");
}

}  // namespace kest_test

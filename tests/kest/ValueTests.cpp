#include "kest/Enum.h"
#include "kest/Error.h"
#include "kest/Localizer.h"
#include "kest/Values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace kest_test {

using namespace kest;

namespace {

std::string Narrow(const String& text) {
    std::string out;
    for (CodePoint cp : text) out.push_back(cp < 0x80 ? char(cp) : '?');
    return out;
}

std::vector<std::string> Drain(IConstEnum& e) {
    std::vector<std::string> out;
    while (e.HasNext()) out.push_back(Narrow(NextString(e)));
    return out;
}

P<IConstEnum> Strings(std::initializer_list<const char*> items) {
    auto array = New<TSimpleArray<PC<IBase>>>();
    for (const char* item : items) array->Add(PC<IBase>(String::Copy(item).Object()));
    return New<CArrayConstEnum>(array);
}

}  // namespace

// ---- value list conversions

struct ConversionCase {
    const char* name;
    std::function<void(IValueList&)> store;  // stores the value under "v"
    bool intFound;
    int32_t intValue;
    bool int64Found;
    int64_t int64Value;
    bool doubleFound;
    double doubleValue;
    bool boolFound;
    bool stringFound;
};

class ValueListConversion : public testing::TestWithParam<ConversionCase> {};

TEST_P(ValueListConversion, GettersAcceptTheirKinds) {
    const ConversionCase& c = GetParam();
    P<CValueList> list = New<CValueList>();
    c.store(*list);
    const String v("v");
    bool found = false;

    int32_t i = list->GetInt(v, -99, &found);
    EXPECT_EQ(found, c.intFound);
    EXPECT_EQ(i, c.intFound ? c.intValue : -99);

    int64_t i64 = list->GetInt64(v, -99, &found);
    EXPECT_EQ(found, c.int64Found);
    EXPECT_EQ(i64, c.int64Found ? c.int64Value : -99);

    double d = list->GetDouble(v, -99.0, &found);
    EXPECT_EQ(found, c.doubleFound);
    if (c.doubleFound) {
        EXPECT_DOUBLE_EQ(d, c.doubleValue);
        EXPECT_FLOAT_EQ(list->GetFloat(v, -99.0f), float(c.doubleValue));
    } else {
        EXPECT_EQ(d, -99.0);
    }

    list->GetBool(v, false, &found);
    EXPECT_EQ(found, c.boolFound);
    list->GetString(v, String("dflt"), &found);
    EXPECT_EQ(found, c.stringFound);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ValueListConversion,
    testing::Values(
        ConversionCase{"Int", [](IValueList& l) { l.SetInt(String("v"), -7); }, true, -7, true, -7, true, -7.0, false, false},
        ConversionCase{"Int64", [](IValueList& l) { l.SetInt64(String("v"), 40); }, true, 40, true, 40, true, 40.0, false, false},
        ConversionCase{"Int64TooWideForInt", [](IValueList& l) { l.SetInt64(String("v"), 5000000000LL); },
                       false, 0, true, 5000000000LL, true, 5e9, false, false},
        ConversionCase{"DoubleTruncates", [](IValueList& l) { l.SetDouble(String("v"), -2.9); }, true, -2, true, -2, true, -2.9, false, false},
        ConversionCase{"FloatTruncates", [](IValueList& l) { l.SetFloat(String("v"), 3.5f); }, true, 3, true, 3, true, 3.5, false, false},
        ConversionCase{"DoubleBeyondInt", [](IValueList& l) { l.SetDouble(String("v"), 1e12); },
                       false, 0, true, 1000000000000LL, true, 1e12, false, false},
        ConversionCase{"DoubleBeyondInt64", [](IValueList& l) { l.SetDouble(String("v"), 1e300); },
                       false, 0, false, 0, true, 1e300, false, false},
        ConversionCase{"Bool", [](IValueList& l) { l.SetBool(String("v"), true); }, false, 0, false, 0, false, 0, true, false},
        ConversionCase{"String", [](IValueList& l) { l.SetString(String("v"), String("12")); }, false, 0, false, 0, false, 0, false, true},
        ConversionCase{"Block", [](IValueList& l) { l.SetBytes(String("v"), "ab", 2); }, false, 0, false, 0, false, 0, false, false},
        ConversionCase{"Missing", [](IValueList&) {}, false, 0, false, 0, false, 0, false, false}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

// NaN compares unequal to itself, so it stays out of the table: no integer stands for it.
TEST(ValueList, NaNIsNoInteger) {
    P<CValueList> list = New<CValueList>();
    list->SetDouble(String("v"), std::numeric_limits<double>::quiet_NaN());
    bool found = true;
    EXPECT_EQ(list->GetInt(String("v"), 4, &found), 4);
    EXPECT_FALSE(found);
    EXPECT_EQ(list->GetInt64(String("v"), 4, &found), 4);
    EXPECT_FALSE(found);
    EXPECT_TRUE(std::isnan(list->GetDouble(String("v"), 0, &found)));
    EXPECT_TRUE(found);
}

TEST(ValueList, NamesAreCaseSensitiveAndEnumerated) {
    P<CValueList> list = New<CValueList>();
    list->SetString(String("Name"), String("upper"));
    list->SetString(String("name"), String("lower"));
    list->SetInt(String("n"), 1);
    list->SetInt(String("n"), 2);  // replaces
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(Narrow(list->GetString(String("Name"), String())), "upper");
    EXPECT_EQ(Narrow(list->GetString(String("name"), String())), "lower");
    EXPECT_FALSE(list->HasValue(String("NAME")));
    EXPECT_EQ(list->GetInt(String("n"), 0), 2);

    P<IConstEnum> names = list->ValueNames();
    std::vector<std::string> seen = Drain(*names);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()), (std::set<std::string>{"Name", "name", "n"}));
    EXPECT_THROW(names->Next(), CEndOfEnumError);

    EXPECT_TRUE(list->DeleteValue(String("name")));
    EXPECT_FALSE(list->DeleteValue(String("name")));
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    EXPECT_FALSE(list->ValueNames()->HasNext());
}

TEST(ValueList, NameEnumerationSurvivesChangesToTheList) {
    P<CValueList> list = New<CValueList>();
    for (int k = 0; k < 20; ++k) list->SetInt(String::FromInt(k), k);
    P<IConstEnum> names = list->ValueNames();
    list->Clear();  // the walk keeps what was there
    EXPECT_EQ(Drain(*names).size(), 20u);
}

TEST(ValueList, MemoryBlocksAreSharedAndCopiedIn) {
    P<CValueList> list = New<CValueList>();
    char bytes[] = {1, 2, 3};
    list->SetBytes(String("b"), bytes, 3);
    bytes[0] = 9;  // the list holds its own copy
    P<IMemoryBlock> block = list->GetMemoryBlock(String("b"), nullptr);
    ASSERT_TRUE(block);
    ASSERT_EQ(block->Size(), 3);
    EXPECT_EQ(block->Data()[0], 1);

    P<IMemoryBlock> fallback = New<CMemoryBlock>(1);
    bool found = true;
    EXPECT_EQ(list->GetMemoryBlock(String("x"), fallback, &found), fallback);
    EXPECT_FALSE(found);
    EXPECT_THROW(list->SetBytes(String("b"), nullptr, 4), CInvalidArgError);
    EXPECT_THROW(list->SetMemoryBlock(String("b"), nullptr), CInvalidArgError);
}

TEST(MemoryBlock, ResizeKeepsThePrefixAndZeroFills) {
    P<CMemoryBlock> block = New<CMemoryBlock>("abcd", 4);
    block->Resize(2);
    block->Resize(4);
    EXPECT_EQ(std::memcmp(block->Data(), "ab\0\0", 4), 0);
    block->Fill("xyz", 3);
    EXPECT_EQ(block->Size(), 3);
    EXPECT_EQ(std::memcmp(block->Data(), "xyz", 3), 0);
    EXPECT_THROW(block->Resize(-1), CInvalidArgError);
    EXPECT_EQ(block->Size(), 3);
}

TEST(Values, HoldTheirValueAndDescribeIt) {
    EXPECT_EQ(New<CInt>(-5)->Value(), -5);
    EXPECT_EQ(New<CInt64>(INT64_MIN)->Value(), INT64_MIN);
    EXPECT_EQ(New<CFloat>(0.25f)->Value(), 0.25f);
    EXPECT_EQ(New<CDouble>(1e300)->Value(), 1e300);
    EXPECT_TRUE(New<CBool>(true)->Value());

    struct Case {
        P<IBase> value;
        const char* text;
    } cases[] = {
        {New<CInt>(-5), "-5"},
        {New<CInt64>(INT64_MIN), "-9223372036854775808"},
        {New<CDouble>(0.5), "0.5"},
        {New<CBool>(false), "false"},
    };
    for (const Case& c : cases) {
        String text;
        c.value->ToString(text);
        EXPECT_EQ(Narrow(text), c.text);
    }
}

// ---- enumerations

TEST(Enums, MultiEnumChainsItsPartsAndSkipsEmptyOnes) {
    P<CConstMultiEnum> multi = New<CConstMultiEnum>();
    multi->Add(Strings({"a", "b"}));
    multi->Add(New<CEmptyConstEnum>());
    multi->Add(Strings({}));
    multi->Add(Strings({"c"}));
    EXPECT_EQ(Drain(*multi), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_THROW(multi->Next(), CEndOfEnumError);
}

TEST(Enums, EmptyEnumsHaveNoElements) {
    P<CEmptyEnum> empty = New<CEmptyEnum>();
    EXPECT_FALSE(empty->HasNext());
    EXPECT_THROW(empty->Next(), CEndOfEnumError);
    P<CEmptyConstEnum> constEmpty = New<CEmptyConstEnum>();
    EXPECT_FALSE(constEmpty->HasNext());
    EXPECT_THROW(constEmpty->Next(), CEndOfEnumError);
}

TEST(Enums, AddingAfterTheWalkBeganRaises) {
    {
        P<CMultiEnum> multi = New<CMultiEnum>();
        multi->Add(New<CEmptyEnum>());
        multi->Add(New<CEmptyEnum>());
        EXPECT_FALSE(multi->HasNext());
        try {
            multi->Add(New<CEmptyEnum>());
            ADD_FAILURE() << "the third sub enum was added";
        } catch (const CInvalidObjectStateError& e) {
            EXPECT_EQ(Narrow(e.GetReason()),
                      "No more sub enums can be added to a multi enum after one of its IEnum methods "
                      "has been called.");
        }
    }
    {
        P<CConstMultiEnum> multi = New<CConstMultiEnum>();
        multi->Add(Strings({"a"}));
        EXPECT_EQ(Narrow(NextString(*multi)), "a");
        try {
            multi->Add(Strings({"b"}));
            ADD_FAILURE() << "a sub enum was added after Next";
        } catch (const CInvalidObjectStateError& e) {
            EXPECT_EQ(Narrow(e.GetReason()),
                      "No more sub enums can be added to a multi enum after one of its IConstEnum "
                      "methods has been called.");
        }
    }
}

TEST(Enums, NextStringOfAnotherElementRaisesCastError) {
    auto array = New<TSimpleArray<PC<IBase>>>();
    array->Add(PC<IBase>(New<CInt>(1)));
    P<CArrayConstEnum> e = New<CArrayConstEnum>(array);
    EXPECT_THROW(NextString(*e), CCastError);
}

}  // namespace kest_test

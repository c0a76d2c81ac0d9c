#include "kest/Error.h"
#include "kest/Localizer.h"
#include "kest/URI.h"
#include "kest/win32/Handles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace kest_test {

using namespace kest;

namespace {

std::string Narrow(const String& text) {
    if (text.IsNull()) return "<null>";
    std::string out;
    for (CodePoint cp : text) out.push_back(cp < 0x80 ? char(cp) : '?');
    return out;
}

}  // namespace

TEST(Localizer, EmptyProcessLocalizerGivesTheDefault) {
    EXPECT_EQ(Narrow(LookupLocalizedText(String("kest.CNoSuchObjectError.desc"), String(L"No such object."))),
              "No such object.");
    EXPECT_EQ(StringLocalizer().Get(), StringLocalizer().Get());
}

// Lookups through a child and an optional parent; each row fills both from scratch.
struct LookupCase {
    const char* name;
    const char* childKey;  // null: the child holds nothing
    const char* childText;
    const char* parentKey;  // null: no parent
    const char* parentText;
    const char* askedKey;
    const char* expected;
};

class LocalizerLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(LocalizerLookup, Answers) {
    const LookupCase& c = GetParam();
    P<CStringLocalizer> child = New<CStringLocalizer>();
    if (c.childKey) child->SetText(String(c.childKey), String(c.childText));
    if (c.parentKey) {
        P<CStringLocalizer> parent = New<CStringLocalizer>();
        parent->SetText(String(c.parentKey), String(c.parentText));
        child->SetParent(parent);
    }
    EXPECT_EQ(Narrow(child->GetText(String(c.askedKey), String("default"))), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, LocalizerLookup,
    testing::Values(
        LookupCase{"Stored", "a.b", "text", nullptr, nullptr, "a.b", "text"},
        LookupCase{"EmptyTextIsAnAnswer", "a.b", "", nullptr, nullptr, "a.b", ""},
        LookupCase{"KeysAreCaseSensitive", "a.Key", "text", nullptr, nullptr, "a.key", "default"},
        LookupCase{"ParentAnswersMissingKey", nullptr, nullptr, "a.b", "parent", "a.b", "parent"},
        LookupCase{"ChildWinsOverParent", "a.b", "child", "a.b", "parent", "a.b", "child"},
        LookupCase{"EmptyChildTextHidesParent", "a.b", "", "a.b", "parent", "a.b", ""},
        LookupCase{"NeitherHasIt", "x", "1", "y", "2", "a.b", "default"}),
    [](const testing::TestParamInfo<LookupCase>& info) { return info.param.name; });

TEST(Localizer, NullTextCountsAsMissing) {
    P<CStringLocalizer> localizer = New<CStringLocalizer>();
    localizer->SetText(String("k"), String::Null());
    EXPECT_EQ(Narrow(localizer->GetText(String("k"), String("default"))), "default");
}

TEST(Localizer, ClearAndParentRemoval) {
    P<CStringLocalizer> parent = New<CStringLocalizer>();
    parent->SetText(String("k"), String("parent"));
    P<CStringLocalizer> child = New<CStringLocalizer>();
    child->SetText(String("k"), String("child"));
    child->SetParent(parent);
    child->Clear();
    EXPECT_EQ(Narrow(child->GetText(String("k"), String("default"))), "parent");
    child->SetParent(nullptr);
    EXPECT_EQ(Narrow(child->GetText(String("k"), String("default"))), "default");
    EXPECT_EQ(parent->RefCount(), 1);  // the old parent was released
}

TEST(Localizer, RingOfParentsIsRefused) {
    P<CStringLocalizer> a = New<CStringLocalizer>();
    P<CStringLocalizer> b = New<CStringLocalizer>();
    b->SetParent(a);
    EXPECT_THROW(a->SetParent(b), CInvalidArgError);
    EXPECT_THROW(a->SetParent(a), CInvalidArgError);
    EXPECT_EQ(Narrow(b->GetText(String("k"), String("default"))), "default");
    b->SetParent(nullptr);  // no ring left behind to keep both alive
}

// The process localizer serves library messages: a translation installed there shows up in
// the errors, with its placeholder filled in.
TEST(Localizer, ProcessLocalizerTranslatesLibraryMessages) {
    P<IStringLocalizer> localizer = StringLocalizer();
    localizer->SetText(String("kest.CNoSuchObjectError.desc"), String("Kein Objekt."));
    EXPECT_EQ(Narrow(CNoSuchObjectError().GetDescription()), "Kein Objekt.");
    localizer->SetText(String("kest.CFileNotFoundError.Desc"), String("Die Datei %FILE% fehlt."));
    P<IURI> file = CURI::Parse(String("file:///C:/data/x.txt"));
    EXPECT_EQ(Narrow(CFileNotFoundError(file).GetDescription()), "Die Datei C:\\data\\x.txt fehlt.");
    localizer->Clear();
    EXPECT_EQ(Narrow(CNoSuchObjectError().GetDescription()), "No such object.");
    EXPECT_EQ(Narrow(CFileNotFoundError(file).GetDescription()), "The file 'C:\\data\\x.txt' was not found.");
}

// Lookups from several threads while another thread keeps changing the texts.
struct SharedLocalizer {
    CStringLocalizer* localizer;
    volatile LONG failures;
};

DWORD WINAPI ReadTexts(void* param) {
    auto* s = static_cast<SharedLocalizer*>(param);
    for (int k = 0; k < 2000; ++k) {
        String text = s->localizer->GetText(String("k"), String("default"));
        if (!text.Equals(String("default")) && !text.Equals(String("value"))) {
            ::InterlockedIncrement(&s->failures);
        }
    }
    return 0;
}

DWORD WINAPI ChangeTexts(void* param) {
    auto* s = static_cast<SharedLocalizer*>(param);
    for (int k = 0; k < 2000; ++k) {
        s->localizer->SetText(String("k"), String("value"));
        s->localizer->SetText(String::FromInt(k), String("other"));
        s->localizer->Clear();
    }
    return 0;
}

TEST(Localizer, LookupsAndChangesFromSeveralThreads) {
    P<CStringLocalizer> localizer = New<CStringLocalizer>();
    SharedLocalizer shared{localizer.Get(), 0};
    win32::UniqueHandle threads[3] = {
        win32::UniqueHandle(::CreateThread(nullptr, 0, ReadTexts, &shared, 0, nullptr)),
        win32::UniqueHandle(::CreateThread(nullptr, 0, ReadTexts, &shared, 0, nullptr)),
        win32::UniqueHandle(::CreateThread(nullptr, 0, ChangeTexts, &shared, 0, nullptr)),
    };
    HANDLE raw[3];
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(threads[k]);
        raw[k] = threads[k].get();
    }
    EXPECT_EQ(::WaitForMultipleObjects(3, raw, TRUE, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(shared.failures, 0);
}

}  // namespace kest_test

// The text table: keys found again after any number of insertions and growths, later texts
// replacing earlier ones, and tables merged into one another.
#include "lang/LangTextTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LangTextTable, EveryKeyIsFoundAfterTheTableGrew) {
    LangTextTable table;
    EXPECT_EQ(nullptr, table.Find("a"));
    std::vector<std::string> keys = {"", "a", "ab", "abc", "CDialog.Item.Caption", "CDialog.Item.Caption2"};
    for (int i = 0; i < 3000; ++i) keys.push_back("Key." + std::to_string(i));
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < keys.size(); ++i) texts.push_back(L"text " + std::to_wstring(i));
    // No Reserve: the table grows from nothing, many times.
    for (size_t i = 0; i < keys.size(); ++i) table.Put(keys[i], table.CopyText(texts[i]));
    EXPECT_EQ(keys.size(), table.Size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const wchar_t* found = table.Find(keys[i]);
        ASSERT_NE(nullptr, found) << keys[i];
        EXPECT_EQ(texts[i], found);
    }
    for (const char* absent : {"A", "abcd", "Key.3000", "Key.", "CDialog.Item.Caption3"}) EXPECT_EQ(nullptr, table.Find(absent)) << absent;
}

TEST(LangTextTable, ALaterTextForTheSameKeyReplacesTheEarlierOne) {
    LangTextTable table;
    table.Reserve(2);
    table.Put("a", L"eins");
    table.Put("b", L"zwei");
    table.Put("a", L"un");
    EXPECT_EQ(2u, table.Size());
    EXPECT_STREQ(L"un", table.Find("a"));
    EXPECT_STREQ(L"zwei", table.Find("b"));
}

TEST(LangTextTable, AMergedTableAddsItsKeysAndReplacesTheSameOnes) {
    LangTextTable table;
    table.Put("a", table.CopyText(L"un"));
    table.Put("b", table.CopyText(L"deux"));
    auto other = std::make_unique<LangTextTable>();
    other->Put("b", other->CopyText(L"zwei"));
    other->Put("c", other->CopyText(L"drei"));
    table.PutAll(std::move(other));
    EXPECT_EQ(3u, table.Size());
    EXPECT_STREQ(L"un", table.Find("a"));
    EXPECT_STREQ(L"zwei", table.Find("b"));
    EXPECT_STREQ(L"drei", table.Find("c"));
}

}  // namespace

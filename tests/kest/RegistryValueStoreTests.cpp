// The registry store against the real registry (Wine's under test). Every test works in a key
// of its own below HKEY_CURRENT_USER and removes it afterwards, so runs never meet.
#include "kest/Error.h"
#include "kest/win32/Handles.h"
#include "kest/win32/RegistryValueStore.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace kest_test {

using namespace kest;
using kest::win32::CRegistryValueStore;
using kest::win32::UniqueRegKey;

namespace {

std::string Narrow(const String& text) {
    std::string out;
    for (CodePoint cp : text) out.push_back(cp < 0x80 ? char(cp) : '?');
    return out;
}

std::set<std::string> Drain(IConstEnum& e) {
    std::set<std::string> out;
    while (e.HasNext()) out.insert(Narrow(NextString(e)));
    return out;
}

// The description RaiseSystemError gives for a code.
std::string SystemText(uint32_t code) {
    try {
        RaiseSystemError(code);
    } catch (const CException& e) {
        return Narrow(e.GetDescription());
    }
    return {};
}

class RegistryStore : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_path = L"Software\\OrdaviaTests\\" + std::wstring(name.begin(), name.end()) + L"-" +
                 std::to_wstring(::GetCurrentProcessId());
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, m_key.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        m_key.reset();
        EXPECT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str()), ERROR_SUCCESS);  // the key too
        // The shared parent goes with the last run that uses it; while another run still has
        // its key there, this fails and leaves it.
        LONG rc = ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrdaviaTests");
        EXPECT_TRUE(rc == ERROR_SUCCESS || rc == ERROR_ACCESS_DENIED || rc == ERROR_FILE_NOT_FOUND) << rc;
    }

    String Path(const wchar_t* below = nullptr) const {
        std::wstring path = m_path;
        if (below) path += std::wstring(L"\\") + below;
        return String::Copy(path.c_str());
    }
    P<CRegistryValueStore> Store(uint32_t flags = kValueStoreRead | kValueStoreCreate) const {
        return New<CRegistryValueStore>(HKEY_CURRENT_USER, Path(), flags);
    }
    // Writes a value as any other program would.
    void WriteRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(::RegSetValueExW(m_key.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    bool KeyExists(const std::wstring& path) const {
        UniqueRegKey key;
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }

    std::wstring m_path;
    UniqueRegKey m_key;
};

}  // namespace

TEST(RegistryBaseKeys, NamesAreExactAndCaseSensitive) {
    struct Case {
        const char* name;
        HKEY key;
    } known[] = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", HKEY_USERS},
    };
    for (const Case& c : known) EXPECT_EQ(CRegistryValueStore::BaseKeyFromName(String(c.name)), c.key) << c.name;

    for (const char* bad : {"hkey_current_user", "HKEY_CURRENT_USER ", "HKCU", ""}) {
        try {
            CRegistryValueStore::Open(String(bad), String("Software"), kValueStoreRead);
            ADD_FAILURE() << "'" << bad << "' was accepted";
        } catch (const CError& e) {
            EXPECT_EQ(Narrow(e.GetDescription()), std::string("Unknown registry base key: ") + bad);
        }
    }
}

TEST_F(RegistryStore, CurrentUserNameOpensTheUsersHive) {
    DWORD seven = 7;
    WriteRaw(L"Seven", REG_DWORD, &seven, sizeof(seven));
    P<CRegistryValueStore> store = CRegistryValueStore::Open(String("HKEY_CURRENT_USER"), Path(), kValueStoreRead);
    EXPECT_EQ(store->GetInt(String("Seven"), 0), 7);
}

TEST_F(RegistryStore, MissingKeyOpenedForReadingHoldsNothing) {
    P<CRegistryValueStore> store =
        New<CRegistryValueStore>(HKEY_CURRENT_USER, Path(L"missing"), kValueStoreRead);
    EXPECT_FALSE(store->IsOpen());
    EXPECT_FALSE(KeyExists(m_path + L"\\missing"));

    bool found = true;
    const String v("v");
    EXPECT_EQ(Narrow(store->GetString(v, String("d"), &found)), "d");
    EXPECT_FALSE(found);
    EXPECT_EQ(store->GetInt(v, 3), 3);
    EXPECT_EQ(store->GetInt64(v, 4), 4);
    EXPECT_TRUE(store->GetBool(v, true));
    EXPECT_EQ(store->GetDouble(v, 1.5), 1.5);
    EXPECT_FALSE(store->GetMemoryBlock(v, nullptr));
    EXPECT_FALSE(store->HasValue(v));
    EXPECT_FALSE(store->HasSubStore(v));
    EXPECT_FALSE(store->OpenSubStore(v, kValueStoreRead | kValueStoreCreate));
    EXPECT_FALSE(store->ValueNames()->HasNext());
    EXPECT_FALSE(store->SubStoreNames()->HasNext());

    const std::string denied = SystemText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(denied.empty());
    std::function<void()> writes[] = {
        [&] { store->SetString(v, String("x")); },
        [&] { store->SetInt(v, 1); },
        [&] { store->SetInt64(v, 1); },
        [&] { store->SetBool(v, true); },
        [&] { store->SetDouble(v, 1); },
        [&] { store->SetBytes(v, "x", 1); },
    };
    for (auto& write : writes) {
        try {
            write();
            ADD_FAILURE() << "a write to a missing key succeeded";
        } catch (const CError& e) {
            EXPECT_EQ(Narrow(e.GetDescription()), denied);
        }
    }
    EXPECT_THROW(store->DeleteValue(v), CFileNotFoundError);
    EXPECT_THROW(store->DeleteSubStore(v), CFileNotFoundError);
    EXPECT_FALSE(KeyExists(m_path + L"\\missing"));
}

TEST_F(RegistryStore, CreateFlagMakesTwoMissingLevels) {
    P<CRegistryValueStore> store = New<CRegistryValueStore>(HKEY_CURRENT_USER, Path(L"one\\two"),
                                                            kValueStoreRead | kValueStoreCreate);
    ASSERT_TRUE(store->IsOpen());
    EXPECT_TRUE(KeyExists(m_path + L"\\one"));
    EXPECT_TRUE(KeyExists(m_path + L"\\one\\two"));
    store->SetInt(String("n"), 1);
    EXPECT_EQ(New<CRegistryValueStore>(HKEY_CURRENT_USER, Path(L"one\\two"), kValueStoreRead)->GetInt(String("n"), 0), 1);
}

// What each setter leaves in the registry, and what its getter reads back.
struct WriteCase {
    const char* name;
    std::function<void(IValueStore&)> write;  // writes the value "v"
    DWORD type;
    std::vector<uint8_t> bytes;
    std::function<bool(IValueStore&)> readsBack;
};

class RegistryWrite : public RegistryStore, public testing::WithParamInterface<WriteCase> {};

TEST_P(RegistryWrite, StoresTypeAndBytes) {
    const WriteCase& c = GetParam();
    P<CRegistryValueStore> store = Store();
    c.write(*store);

    DWORD type = 0;
    uint8_t data[64] = {};
    DWORD size = sizeof(data);
    ASSERT_EQ(::RegQueryValueExW(m_key.get(), L"v", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(std::vector<uint8_t>(data, data + size), c.bytes);
    EXPECT_TRUE(c.readsBack(*store));
    EXPECT_TRUE(store->HasValue(String("v")));
}

std::vector<uint8_t> DoubleBytes(double d) {
    std::vector<uint8_t> bytes(8);
    std::memcpy(bytes.data(), &d, 8);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RegistryWrite,
    testing::Values(
        WriteCase{"String", [](IValueStore& s) { s.SetString(String("v"), String("ab")); }, REG_SZ,
                  {'a', 0, 'b', 0, 0, 0},
                  [](IValueStore& s) { return Narrow(s.GetString(String("v"), String())) == "ab"; }},
        WriteCase{"EmptyString", [](IValueStore& s) { s.SetString(String("v"), String("")); }, REG_SZ, {0, 0},
                  [](IValueStore& s) {
                      bool found = false;
                      return s.GetString(String("v"), String("d"), &found).IsEmpty() && found;
                  }},
        WriteCase{"Int", [](IValueStore& s) { s.SetInt(String("v"), -2); }, REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF},
                  [](IValueStore& s) { return s.GetInt(String("v"), 0) == -2; }},
        WriteCase{"BoolReadAsInt", [](IValueStore& s) { s.SetBool(String("v"), true); }, REG_DWORD, {1, 0, 0, 0},
                  [](IValueStore& s) { return s.GetInt(String("v"), 0) == 1 && s.GetBool(String("v"), false); }},
        WriteCase{"False", [](IValueStore& s) { s.SetBool(String("v"), false); }, REG_DWORD, {0, 0, 0, 0},
                  [](IValueStore& s) { return !s.GetBool(String("v"), true); }},
        WriteCase{"Int64", [](IValueStore& s) { s.SetInt64(String("v"), 0x0102030405060708LL); }, REG_QWORD,
                  {8, 7, 6, 5, 4, 3, 2, 1},
                  [](IValueStore& s) { return s.GetInt64(String("v"), 0) == 0x0102030405060708LL; }},
        WriteCase{"Double", [](IValueStore& s) { s.SetDouble(String("v"), -0.75); }, REG_BINARY, DoubleBytes(-0.75),
                  [](IValueStore& s) { return s.GetDouble(String("v"), 0) == -0.75; }},
        WriteCase{"Bytes", [](IValueStore& s) { s.SetBytes(String("v"), "\x01\x00\x02", 3); }, REG_BINARY, {1, 0, 2},
                  [](IValueStore& s) {
                      P<IMemoryBlock> b = s.GetMemoryBlock(String("v"), nullptr);
                      return b && b->Size() == 3 && std::memcmp(b->Data(), "\x01\x00\x02", 3) == 0;
                  }},
        WriteCase{"NoBytes", [](IValueStore& s) { s.SetBytes(String("v"), nullptr, 0); }, REG_BINARY, {},
                  [](IValueStore& s) {
                      P<IMemoryBlock> b = s.GetMemoryBlock(String("v"), nullptr);
                      return b && b->Size() == 0;
                  }},
        WriteCase{"Block", [](IValueStore& s) {
                      P<CMemoryBlock> b = New<CMemoryBlock>("xyz", 3);
                      s.SetMemoryBlock(String("v"), b.Get());
                  },
                  REG_BINARY, {'x', 'y', 'z'},
                  [](IValueStore& s) { return s.GetMemoryBlock(String("v"), nullptr)->Size() == 3; }}),
    [](const testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

// Values written by other programs: a getter takes only the exact type and size it expects.
struct ReadCase {
    const char* name;
    DWORD type;
    std::vector<uint8_t> bytes;
    std::function<bool(IValueStore&, bool& found)> read;  // reads "v"; true when the result is right
    bool found;
};

class RegistryRead : public RegistryStore, public testing::WithParamInterface<ReadCase> {};

TEST_P(RegistryRead, TakesOnlyTheExpectedKind) {
    const ReadCase& c = GetParam();
    WriteRaw(L"v", c.type, c.bytes.data(), DWORD(c.bytes.size()));
    P<CRegistryValueStore> store = Store(kValueStoreRead);
    bool found = !c.found;
    EXPECT_TRUE(c.read(*store, found));
    EXPECT_EQ(found, c.found);
}

bool StringIs(IValueStore& s, bool& found, const char* expected) {
    return Narrow(s.GetString(String("v"), String("<default>"), &found)) == expected;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RegistryRead,
    testing::Values(
        ReadCase{"ExpandStringIsNoString", REG_EXPAND_SZ, {'a', 0, 0, 0},
                 [](IValueStore& s, bool& f) { return StringIs(s, f, "<default>"); }, false},
        ReadCase{"MultiStringIsNoString", REG_MULTI_SZ, {'a', 0, 0, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return StringIs(s, f, "<default>"); }, false},
        ReadCase{"StringOfNoBytes", REG_SZ, {}, [](IValueStore& s, bool& f) { return StringIs(s, f, "<default>"); }, false},
        ReadCase{"StringOfOneByte", REG_SZ, {'a'}, [](IValueStore& s, bool& f) { return StringIs(s, f, "<default>"); }, false},
        ReadCase{"StringOfTerminatorOnly", REG_SZ, {0, 0}, [](IValueStore& s, bool& f) { return StringIs(s, f, ""); }, true},
        ReadCase{"StringWithoutTerminatorKeepsLastCharacter", REG_SZ, {'a', 0, 'b', 0},
                 [](IValueStore& s, bool& f) { return StringIs(s, f, "ab"); }, true},
        ReadCase{"StringWithOddSize", REG_SZ, {'a', 0, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return StringIs(s, f, "a"); }, true},
        ReadCase{"DwordIsNoInt64", REG_DWORD, {1, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return s.GetInt64(String("v"), -1, &f) == -1; }, false},
        ReadCase{"QwordIsNoInt", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return s.GetInt(String("v"), -1, &f) == -1; }, false},
        ReadCase{"BinaryOfFourBytesIsNoInt", REG_BINARY, {1, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return s.GetInt(String("v"), -1, &f) == -1; }, false},
        ReadCase{"StringIsNoBool", REG_SZ, {'1', 0, 0, 0},
                 [](IValueStore& s, bool& f) { return s.GetBool(String("v"), false, &f) == false; }, false},
        ReadCase{"NonZeroDwordIsTrue", REG_DWORD, {2, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return s.GetBool(String("v"), false, &f); }, true},
        ReadCase{"SevenBytesAreNoDouble", REG_BINARY, {0, 0, 0, 0, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return s.GetDouble(String("v"), 2.0, &f) == 2.0; }, false},
        ReadCase{"DwordIsNoBlock", REG_DWORD, {1, 0, 0, 0},
                 [](IValueStore& s, bool& f) { return !s.GetMemoryBlock(String("v"), nullptr, &f); }, false}),
    [](const testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST_F(RegistryStore, EnumeratesValueAndSubStoreNames) {
    P<CRegistryValueStore> store = Store();
    // A name longer than the smallest name buffer: the buffer follows the longest name.
    const std::string longName(3000, 'L');
    store->SetInt(String("Alpha"), 1);
    store->SetString(String("beta"), String("b"));
    store->SetInt(String::Copy(longName.c_str()), 3);
    ASSERT_TRUE(store->OpenSubStore(String("SubA"), kValueStoreRead | kValueStoreCreate));
    ASSERT_TRUE(store->OpenSubStore(String("SubB"), kValueStoreRead | kValueStoreCreate));

    P<IConstEnum> values = store->ValueNames();
    EXPECT_EQ(Drain(*values), (std::set<std::string>{"Alpha", "beta", longName}));
    EXPECT_THROW(values->Next(), CEndOfEnumError);
    P<IConstEnum> subs = store->SubStoreNames();
    EXPECT_EQ(Drain(*subs), (std::set<std::string>{"SubA", "SubB"}));
}

TEST_F(RegistryStore, SubStoresOpenCreateAndDeleteWithEverythingBelow) {
    P<CRegistryValueStore> store = Store();
    EXPECT_FALSE(store->OpenSubStore(String("sub"), kValueStoreRead));
    EXPECT_FALSE(store->HasSubStore(String("sub")));

    P<IValueStore> sub = store->OpenSubStore(String("sub"), kValueStoreRead | kValueStoreCreate);
    ASSERT_TRUE(sub);
    sub->SetInt(String("n"), 5);
    P<IValueStore> deeper = sub->OpenSubStore(String("deeper"), kValueStoreRead | kValueStoreCreate);
    ASSERT_TRUE(deeper);
    deeper->SetString(String("s"), String("x"));
    deeper = nullptr;
    sub = nullptr;

    EXPECT_TRUE(store->HasSubStore(String("sub")));
    EXPECT_EQ(store->OpenSubStore(String("sub"), kValueStoreRead)->GetInt(String("n"), 0), 5);

    store->DeleteSubStore(String("sub"));
    EXPECT_FALSE(store->HasSubStore(String("sub")));
    EXPECT_FALSE(KeyExists(m_path + L"\\sub"));
    EXPECT_THROW(store->DeleteSubStore(String("sub")), CFileNotFoundError);
    EXPECT_THROW(store->DeleteSubStore(String("")), CInvalidArgError);
    EXPECT_TRUE(KeyExists(m_path));
}

TEST_F(RegistryStore, ASubStoreThatDoesNotOpenIsNoneAndOnlyCreatingOneRaises) {
    P<CRegistryValueStore> store = Store();
    ASSERT_TRUE(store->OpenSubStore(String("sub"), kValueStoreRead | kValueStoreCreate));
    // Another program removes the store's key while the store holds it open: the sub-key fails
    // to open because its parent is deleted, not because it is missing.
    ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str()), ERROR_SUCCESS);
    // TearDown removes the key, which is gone already: it is made again for it.
    struct MadeAgain {
        const std::wstring& path;
        UniqueRegKey& key;
        ~MadeAgain() {
            ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
        }
    } madeAgain{m_path, m_key};
    UniqueRegKey sub;
    ASSERT_EQ(::RegOpenKeyExW(m_key.get(), L"sub", 0, KEY_READ, sub.put()), ERROR_KEY_DELETED);

    try {
        EXPECT_FALSE(store->OpenSubStore(String("sub"), kValueStoreRead));
    } catch (const CError& e) {
        ADD_FAILURE() << "opening raised: " << e.what();
    }
    EXPECT_THROW(store->OpenSubStore(String("sub"), kValueStoreRead | kValueStoreCreate), CError);
}

TEST_F(RegistryStore, AValueTooLargeForASettingIsNotReadIntoMemory) {
    // A volatile key: the value never reaches the registry's files.
    UniqueRegKey big;
    ASSERT_EQ(::RegCreateKeyExW(m_key.get(), L"big", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                big.put(), nullptr),
              ERROR_SUCCESS);
    {
        std::vector<BYTE> bytes((size_t(64) << 20) + 2, 'a');
        ASSERT_EQ(::RegSetValueExW(big.get(), L"block", 0, REG_BINARY, bytes.data(), DWORD(bytes.size())),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExW(big.get(), L"text", 0, REG_SZ, bytes.data(), DWORD(bytes.size())), ERROR_SUCCESS);
    }
    P<CRegistryValueStore> store = New<CRegistryValueStore>(HKEY_CURRENT_USER, Path(L"big"), kValueStoreRead);
    EXPECT_THROW(store->GetMemoryBlock(String("block"), nullptr), CError);
    EXPECT_THROW(store->GetString(String("text"), String("default")), CError);
    big.reset();
}

TEST_F(RegistryStore, DeleteValue) {
    P<CRegistryValueStore> store = Store();
    store->SetInt(String("n"), 1);
    store->DeleteValue(String("n"));
    EXPECT_FALSE(store->HasValue(String("n")));
    EXPECT_THROW(store->DeleteValue(String("n")), CFileNotFoundError);
}

TEST_F(RegistryStore, BadArgumentsAreRefused) {
    P<CRegistryValueStore> store = Store();
    EXPECT_THROW(store->SetBytes(String("v"), nullptr, 3), CInvalidArgError);
    EXPECT_THROW(store->SetBytes(String("v"), "x", -1), CInvalidArgError);
    EXPECT_THROW(store->SetMemoryBlock(String("v"), nullptr), CInvalidArgError);
    EXPECT_FALSE(store->HasValue(String("v")));
}

}  // namespace kest_test

#include "kest/win32/RegistryValueStore.h"

#include "kest/Error.h"
#include "kest/StringFormat.h"

#include <shlwapi.h>

#include <cstring>
#include <new>
#include <vector>

namespace kest::win32 {

namespace {

// Registry names are NUL-terminated UTF-16; a null String names the key's default value.
class WideName {
public:
    explicit WideName(const String& name) : m_text(name.IsNull() ? String(L"") : name.AsUTF16()) {}
    const wchar_t* get() const { return m_text.WideData(); }

private:
    String m_text;
};

REGSAM AccessFor(uint32_t flags) {
    REGSAM access = 0;
    if (flags & kValueStoreRead) access |= KEY_READ;
    if (flags & kValueStoreCreate) access |= KEY_WRITE;
    return access;
}

// Creates path below base. Where the system reports a missing parent, the parent path is made
// first (the same way) and the key created again.
UniqueRegKey CreateKey(HKEY base, const String& path, REGSAM access) {
    WideName wide(path);
    UniqueRegKey key;
    LONG rc = ::RegCreateKeyExW(base, wide.get(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                nullptr, key.put(), nullptr);
    if (rc == ERROR_FILE_NOT_FOUND) {
        int32_t slash = path.FindLast(CodePoint('\\'));
        if (slash > 0) {
            CreateKey(base, path.Substring(0, slash), access);  // closed again at once
            rc = ::RegCreateKeyExW(base, wide.get(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                   nullptr, key.put(), nullptr);
        }
    }
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
    return key;
}

// The largest value read: 64 MiB.
constexpr DWORD kMaxValueBytes = 64u << 20;

// Value and key names are at most 16383 characters, so a buffer of this size always holds one.
constexpr DWORD kMaxNameBuffer = 32768;
constexpr DWORD kMinNameBuffer = 2048;

template <typename EnumFn>
P<IConstEnum> EnumerateNames(HKEY key, DWORD longestName, EnumFn enumAt) {
    DWORD capacity = longestName * 2 > kMinNameBuffer ? longestName * 2 : kMinNameBuffer;
    if (capacity > kMaxNameBuffer) capacity = kMaxNameBuffer;
    std::vector<wchar_t> buffer(capacity);
    auto names = New<TSimpleArray<PC<IBase>>>();
    for (DWORD index = 0;;) {
        DWORD length = DWORD(buffer.size());
        LONG rc = enumAt(key, index, buffer.data(), &length);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_MORE_DATA && buffer.size() < kMaxNameBuffer) {
            // A longer name appeared after the key was asked for its longest one.
            buffer.resize(kMaxNameBuffer);
            continue;
        }
        if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
        String name = String::Copy(buffer.data(), int32_t(length));
        names->Add(PC<IBase>(name.Object()));
        ++index;
    }
    return New<CArrayConstEnum>(names);
}

}  // namespace

CRegistryValueStore::CRegistryValueStore(HKEY base, const String& path, uint32_t flags) {
    const REGSAM access = AccessFor(flags);
    if (flags & kValueStoreCreate) {
        m_key = CreateKey(base, path, access);
        return;
    }
    WideName wide(path);
    LONG rc = ::RegOpenKeyExW(base, wide.get(), 0, access, m_key.put());
    if (rc == ERROR_FILE_NOT_FOUND) {
        m_key.reset();  // a valid store that holds nothing
        return;
    }
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
}

HKEY CRegistryValueStore::BaseKeyFromName(const String& name) {
    static const struct {
        const char* name;
        HKEY key;
    } kBaseKeys[] = {
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_USERS", HKEY_USERS},
    };
    for (const auto& base : kBaseKeys) {
        if (name.Equals(String(base.name))) return base.key;
    }
    throw CError(LocalizedMessage(String("kest.win32.CRegistryValueStore.unknownBaseKey"),
                                  String(L"Unknown registry base key: %KEY%"), {{String("%KEY%"), name}}));
}

P<CRegistryValueStore> CRegistryValueStore::Open(const String& baseKeyName, const String& path,
                                                 uint32_t flags) {
    return New<CRegistryValueStore>(BaseKeyFromName(baseKeyName), path, flags);
}

// ---- writing

void CRegistryValueStore::Write(const String& name, DWORD type, const void* data, DWORD size) {
    if (!m_key) RaiseSystemError(ERROR_ACCESS_DENIED);
    WideName wide(name);
    LONG rc = ::RegSetValueExW(m_key.get(), wide.get(), 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
}

void CRegistryValueStore::SetString(const String& name, const String& value) {
    String text = value.IsNull() ? String(L"") : value.AsUTF16();
    Write(name, REG_SZ, text.WideData(), DWORD(text.ByteLength()) + sizeof(wchar_t));
}

void CRegistryValueStore::SetInt(const String& name, int32_t value) {
    DWORD data = DWORD(value);
    Write(name, REG_DWORD, &data, sizeof(data));
}

void CRegistryValueStore::SetInt64(const String& name, int64_t value) {
    Write(name, REG_QWORD, &value, sizeof(value));
}

void CRegistryValueStore::SetBool(const String& name, bool value) {
    DWORD data = value ? 1 : 0;
    Write(name, REG_DWORD, &data, sizeof(data));
}

void CRegistryValueStore::SetDouble(const String& name, double value) {
    Write(name, REG_BINARY, &value, sizeof(value));
}

void CRegistryValueStore::SetMemoryBlock(const String& name, const IMemoryBlock* value) {
    if (!value) throw CInvalidArgError(String("no memory block"), String("SetMemoryBlock"), this);
    Write(name, REG_BINARY, value->Data(), DWORD(value->Size()));
}

void CRegistryValueStore::SetBytes(const String& name, const void* data, int32_t size) {
    if (size < 0 || (size > 0 && !data)) {
        throw CInvalidArgError(String("no data or a negative size"), String("SetBytes"), this);
    }
    Write(name, REG_BINARY, data, DWORD(size));
}

// ---- reading

bool CRegistryValueStore::ReadFixed(const String& name, DWORD type, void* buffer, DWORD size) const {
    if (!m_key) return false;
    WideName wide(name);
    DWORD actualType = 0;
    DWORD actualSize = size;
    LONG rc = ::RegQueryValueExW(m_key.get(), wide.get(), nullptr, &actualType,
                                 static_cast<BYTE*>(buffer), &actualSize);
    if (rc == ERROR_FILE_NOT_FOUND) return false;
    // Larger than the kind asked for: a value of another kind, not a failure.
    if (rc == ERROR_MORE_DATA) return false;
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
    return actualType == type && actualSize == size;
}

P<CMemoryBlock> CRegistryValueStore::ReadBlock(const String& name, DWORD type) const {
    if (!m_key) return nullptr;
    WideName wide(name);
    // Another program may rewrite the value between asking for its size and reading it; a few
    // tries settle that.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD actualType = 0;
        DWORD size = 0;
        LONG rc = ::RegQueryValueExW(m_key.get(), wide.get(), nullptr, &actualType, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) return nullptr;
        if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
        if (actualType != type) return nullptr;
        // No setting is anywhere near this size; a value that claims to be is not read into
        // memory but reported like any value that cannot be read.
        if (size > kMaxValueBytes) RaiseSystemError(ERROR_NOT_ENOUGH_MEMORY);
        P<CMemoryBlock> block;
        try {
            block = New<CMemoryBlock>(int32_t(size));
        } catch (const std::bad_alloc&) {
            RaiseSystemError(ERROR_NOT_ENOUGH_MEMORY);
        }
        DWORD read = size;
        rc = ::RegQueryValueExW(m_key.get(), wide.get(), nullptr, &actualType, block->Data(), &read);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc == ERROR_FILE_NOT_FOUND) return nullptr;
        if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
        if (actualType != type) return nullptr;
        block->Resize(int32_t(read));
        return block;
    }
    RaiseSystemError(ERROR_MORE_DATA);
}

String CRegistryValueStore::GetString(const String& name, const String& defaultValue, bool* found) const {
    // REG_EXPAND_SZ is not taken: its text is meant to be expanded first.
    P<CMemoryBlock> block = ReadBlock(name, REG_SZ);
    if (!block || block->Size() <= 1) {
        if (found) *found = false;
        return defaultValue;
    }
    int32_t units = block->Size() / 2;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(block->Data());
    // The terminator is not part of the text. Programs that write the value without one still
    // get their last character back.
    if (units > 0 && text[units - 1] == L'\0') --units;
    if (found) *found = true;
    return String::Copy(text, units);
}

int32_t CRegistryValueStore::GetInt(const String& name, int32_t defaultValue, bool* found) const {
    DWORD data = 0;
    bool ok = ReadFixed(name, REG_DWORD, &data, sizeof(data));
    if (found) *found = ok;
    return ok ? int32_t(data) : defaultValue;
}

int64_t CRegistryValueStore::GetInt64(const String& name, int64_t defaultValue, bool* found) const {
    int64_t data = 0;
    bool ok = ReadFixed(name, REG_QWORD, &data, sizeof(data));
    if (found) *found = ok;
    return ok ? data : defaultValue;
}

bool CRegistryValueStore::GetBool(const String& name, bool defaultValue, bool* found) const {
    DWORD data = 0;
    bool ok = ReadFixed(name, REG_DWORD, &data, sizeof(data));
    if (found) *found = ok;
    return ok ? data != 0 : defaultValue;
}

double CRegistryValueStore::GetDouble(const String& name, double defaultValue, bool* found) const {
    double data = 0;
    bool ok = ReadFixed(name, REG_BINARY, &data, sizeof(data));
    if (found) *found = ok;
    return ok ? data : defaultValue;
}

P<IMemoryBlock> CRegistryValueStore::GetMemoryBlock(const String& name, P<IMemoryBlock> defaultValue,
                                                    bool* found) const {
    P<CMemoryBlock> block = ReadBlock(name, REG_BINARY);
    if (found) *found = static_cast<bool>(block);
    return block ? P<IMemoryBlock>(std::move(block)) : defaultValue;
}

// ---- structure

P<IValueStore> CRegistryValueStore::OpenSubStore(const String& name, uint32_t flags) {
    if (!m_key) return nullptr;
    // Only the creating form reports why it failed; a sub-store that merely does not open, for
    // whatever reason, is not there.
    if (flags & kValueStoreCreate) return New<CRegistryValueStore>(m_key.get(), name, flags);
    try {
        auto sub = New<CRegistryValueStore>(m_key.get(), name, flags);
        if (!sub->IsOpen()) return nullptr;
        return sub;
    } catch (const CError&) {
        return nullptr;
    }
}

bool CRegistryValueStore::HasValue(const String& name) const {
    if (!m_key) return false;
    WideName wide(name);
    return ::RegQueryValueExW(m_key.get(), wide.get(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool CRegistryValueStore::HasSubStore(const String& name) const {
    if (!m_key) return false;
    WideName wide(name);
    UniqueRegKey sub;
    return ::RegOpenKeyExW(m_key.get(), wide.get(), 0, KEY_QUERY_VALUE, sub.put()) == ERROR_SUCCESS;
}

P<IConstEnum> CRegistryValueStore::ValueNames() const {
    if (!m_key) return New<CEmptyConstEnum>();
    DWORD longest = 0;
    LONG rc = ::RegQueryInfoKeyW(m_key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, &longest, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
    return EnumerateNames(m_key.get(), longest, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

P<IConstEnum> CRegistryValueStore::SubStoreNames() const {
    if (!m_key) return New<CEmptyConstEnum>();
    DWORD longest = 0;
    LONG rc = ::RegQueryInfoKeyW(m_key.get(), nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
    return EnumerateNames(m_key.get(), longest, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

void CRegistryValueStore::DeleteValue(const String& name) {
    if (!m_key) RaiseSystemError(ERROR_FILE_NOT_FOUND);
    WideName wide(name);
    LONG rc = ::RegDeleteValueW(m_key.get(), wide.get());
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
}

void CRegistryValueStore::DeleteSubStore(const String& name) {
    if (!m_key) RaiseSystemError(ERROR_FILE_NOT_FOUND);
    // An empty name would mean this store's own key: everything below it would go.
    if (name.IsEmpty()) throw CInvalidArgError(String("no sub-store name"), String("DeleteSubStore"), this);
    WideName wide(name);
    // The shell's deletion removes the whole subtree; the plain one refuses keys with subkeys on
    // the NT family, which is all this library runs on.
    DWORD rc = ::SHDeleteKeyW(m_key.get(), wide.get());
    if (rc != ERROR_SUCCESS) RaiseSystemError(uint32_t(rc));
}

}  // namespace kest::win32

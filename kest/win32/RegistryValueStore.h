// A value store on a registry key: values are registry values, sub-stores are subkeys.
//
//     P<IValueStore> store = CRegistryValueStore::Open(String("HKEY_CURRENT_USER"),
//                                                      String(L"Software\\brenvalo\\Test"),
//                                                      kValueStoreRead | kValueStoreCreate);
//     store->SetInt(String("Count"), 3);
//
// Kinds map to registry types: strings REG_SZ, 32-bit integers and bools REG_DWORD, 64-bit
// integers REG_QWORD, doubles and byte blocks REG_BINARY. A getter finds a value only when both
// its type and its size are the expected ones.
#pragma once

#include "kest/Values.h"
#include "kest/win32/Handles.h"

#include <windows.h>

namespace kest::win32 {

class CRegistryValueStore : public CObject, public IValueStore {
public:
    // Opens path below base with kValueStoreRead / kValueStoreCreate. Without the create flag a
    // missing key gives a valid, empty store that refuses writes; other failures raise.
    CRegistryValueStore(HKEY base, const String& path, uint32_t flags);

    // "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_CLASSES_ROOT" or "HKEY_USERS", spelt
    // exactly so; any other name raises CError.
    static HKEY BaseKeyFromName(const String& name);
    static P<CRegistryValueStore> Open(const String& baseKeyName, const String& path, uint32_t flags);

    // Whether the key exists (was opened or created).
    bool IsOpen() const { return static_cast<bool>(m_key); }
    HKEY Key() const { return m_key.get(); }

    void SetString(const String& name, const String& value) override;
    void SetInt(const String& name, int32_t value) override;
    void SetInt64(const String& name, int64_t value) override;
    void SetBool(const String& name, bool value) override;
    void SetDouble(const String& name, double value) override;
    void SetMemoryBlock(const String& name, const IMemoryBlock* value) override;
    void SetBytes(const String& name, const void* data, int32_t size) override;

    String GetString(const String& name, const String& defaultValue, bool* found = nullptr) const override;
    int32_t GetInt(const String& name, int32_t defaultValue, bool* found = nullptr) const override;
    int64_t GetInt64(const String& name, int64_t defaultValue, bool* found = nullptr) const override;
    bool GetBool(const String& name, bool defaultValue, bool* found = nullptr) const override;
    double GetDouble(const String& name, double defaultValue, bool* found = nullptr) const override;
    P<IMemoryBlock> GetMemoryBlock(const String& name, P<IMemoryBlock> defaultValue,
                                   bool* found = nullptr) const override;

    P<IValueStore> OpenSubStore(const String& name, uint32_t flags) override;
    bool HasValue(const String& name) const override;
    bool HasSubStore(const String& name) const override;
    P<IConstEnum> ValueNames() const override;
    P<IConstEnum> SubStoreNames() const override;
    void DeleteValue(const String& name) override;
    void DeleteSubStore(const String& name) override;

    // The registry writes and reads through by itself.
    void Flush() override {}
    void Reload() override {}

private:
    void Write(const String& name, DWORD type, const void* data, DWORD size);
    // Reads a value of fixed type and size into buffer; false when missing or of another kind.
    bool ReadFixed(const String& name, DWORD type, void* buffer, DWORD size) const;
    // Reads a value of variable size; null when missing or of another type.
    P<CMemoryBlock> ReadBlock(const String& name, DWORD type) const;

    UniqueRegKey m_key;
};

}  // namespace kest::win32

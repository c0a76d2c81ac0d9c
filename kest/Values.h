// Values: small immutable objects for numbers and flags, byte blocks, and the named collections
// they travel in (CValueList in memory, IValueStore for persistent stores such as the registry).
//
// Getters never fail for a missing value or one of another kind: they return the default and
// clear the optional found flag.
#pragma once

#include "kest/Containers.h"
#include "kest/Enum.h"
#include "kest/Object.h"
#include "kest/String.h"

#include <cstdint>
#include <memory>

namespace kest {

class IInt : public virtual IBase {
public:
    virtual int32_t Value() const = 0;
};
class IInt64 : public virtual IBase {
public:
    virtual int64_t Value() const = 0;
};
class IFloat : public virtual IBase {
public:
    virtual float Value() const = 0;
};
class IDouble : public virtual IBase {
public:
    virtual double Value() const = 0;
};
class IBool : public virtual IBase {
public:
    virtual bool Value() const = 0;
};

// A byte buffer that the block owns.
class IMemoryBlock : public virtual IBase {
public:
    virtual const uint8_t* Data() const = 0;
    virtual uint8_t* Data() = 0;
    virtual int32_t Size() const = 0;
    // Keeps the first bytes that still fit; new bytes are zero. Raises CInvalidArgError for a
    // negative size.
    virtual void Resize(int32_t size) = 0;
    // Replaces the contents by a copy of size bytes at data.
    virtual void Fill(const void* data, int32_t size) = 0;
};

template <typename I, typename T>
class TValue : public CObject, public I {
public:
    explicit TValue(T value) : m_value(value) {}
    T Value() const override { return m_value; }

private:
    const T m_value;
};

class CInt : public TValue<IInt, int32_t> {
public:
    using TValue::TValue;
    void ToString(String& out) const override;
};
class CInt64 : public TValue<IInt64, int64_t> {
public:
    using TValue::TValue;
    void ToString(String& out) const override;
};
class CFloat : public TValue<IFloat, float> {
public:
    using TValue::TValue;
    void ToString(String& out) const override;
};
class CDouble : public TValue<IDouble, double> {
public:
    using TValue::TValue;
    void ToString(String& out) const override;
};
class CBool : public TValue<IBool, bool> {
public:
    using TValue::TValue;
    void ToString(String& out) const override;
};

class CMemoryBlock : public CObject, public IMemoryBlock {
public:
    explicit CMemoryBlock(int32_t size = 0);
    CMemoryBlock(const void* data, int32_t size);

    const uint8_t* Data() const override { return m_data.get(); }
    uint8_t* Data() override { return m_data.get(); }
    int32_t Size() const override { return m_size; }
    void Resize(int32_t size) override;
    void Fill(const void* data, int32_t size) override;

private:
    std::unique_ptr<uint8_t[]> m_data;
    int32_t m_size = 0;
};

// Flags for opening a persistent store.
enum : uint32_t {
    kValueStoreRead = 1,    // read access
    kValueStoreCreate = 2,  // create the store when it is missing, with write access
};

// A persistent store of named values and named sub-stores.
class IValueStore : public virtual IBase {
public:
    virtual void SetString(const String& name, const String& value) = 0;
    virtual void SetInt(const String& name, int32_t value) = 0;
    virtual void SetInt64(const String& name, int64_t value) = 0;
    virtual void SetBool(const String& name, bool value) = 0;
    virtual void SetDouble(const String& name, double value) = 0;
    virtual void SetMemoryBlock(const String& name, const IMemoryBlock* value) = 0;
    virtual void SetBytes(const String& name, const void* data, int32_t size) = 0;

    virtual String GetString(const String& name, const String& defaultValue, bool* found = nullptr) const = 0;
    virtual int32_t GetInt(const String& name, int32_t defaultValue, bool* found = nullptr) const = 0;
    virtual int64_t GetInt64(const String& name, int64_t defaultValue, bool* found = nullptr) const = 0;
    virtual bool GetBool(const String& name, bool defaultValue, bool* found = nullptr) const = 0;
    virtual double GetDouble(const String& name, double defaultValue, bool* found = nullptr) const = 0;
    virtual P<IMemoryBlock> GetMemoryBlock(const String& name, P<IMemoryBlock> defaultValue,
                                           bool* found = nullptr) const = 0;

    // Null when there is no such sub-store (and kValueStoreCreate was not given).
    virtual P<IValueStore> OpenSubStore(const String& name, uint32_t flags) = 0;
    virtual bool HasValue(const String& name) const = 0;
    virtual bool HasSubStore(const String& name) const = 0;
    // Enumerations of strings.
    virtual P<IConstEnum> ValueNames() const = 0;
    virtual P<IConstEnum> SubStoreNames() const = 0;
    virtual void DeleteValue(const String& name) = 0;
    // Deletes the sub-store with everything below it.
    virtual void DeleteSubStore(const String& name) = 0;

    // For stores that keep their data apart from where it lives: write it out, read it afresh.
    // Stores that work on their backing directly do nothing here.
    virtual void Flush() = 0;
    virtual void Reload() = 0;
};

// Named values in memory. Names compare case-sensitively.
class IValueList : public virtual IBase {
public:
    virtual void SetString(const String& name, const String& value) = 0;
    virtual void SetInt(const String& name, int32_t value) = 0;
    virtual void SetInt64(const String& name, int64_t value) = 0;
    virtual void SetFloat(const String& name, float value) = 0;
    virtual void SetDouble(const String& name, double value) = 0;
    virtual void SetBool(const String& name, bool value) = 0;
    virtual void SetMemoryBlock(const String& name, P<IMemoryBlock> value) = 0;
    virtual void SetBytes(const String& name, const void* data, int32_t size) = 0;
    // Any value object; null removes the name.
    virtual void SetValue(const String& name, P<IBase> value) = 0;

    virtual String GetString(const String& name, const String& defaultValue, bool* found = nullptr) const = 0;
    virtual int32_t GetInt(const String& name, int32_t defaultValue, bool* found = nullptr) const = 0;
    virtual int64_t GetInt64(const String& name, int64_t defaultValue, bool* found = nullptr) const = 0;
    virtual float GetFloat(const String& name, float defaultValue, bool* found = nullptr) const = 0;
    virtual double GetDouble(const String& name, double defaultValue, bool* found = nullptr) const = 0;
    virtual bool GetBool(const String& name, bool defaultValue, bool* found = nullptr) const = 0;
    virtual P<IMemoryBlock> GetMemoryBlock(const String& name, P<IMemoryBlock> defaultValue,
                                           bool* found = nullptr) const = 0;
    // The stored object, or null.
    virtual P<IBase> GetValue(const String& name) const = 0;

    virtual bool HasValue(const String& name) const = 0;
    virtual int32_t Count() const = 0;
    virtual P<IConstEnum> ValueNames() const = 0;
    // False when there was no such value.
    virtual bool DeleteValue(const String& name) = 0;
    virtual void Clear() = 0;
};

class CValueList : public CObject, public IValueList {
public:
    struct Entry {
        P<IBase> value;
    };

    // The names at the time it was made, in the table's order; later changes to the list do
    // not disturb a walk in progress.
    class CNameEnum : public CArrayConstEnum {
    public:
        explicit CNameEnum(const TSimpleHashTable<String, Entry>& table);
    };

    CValueList();

    void SetString(const String& name, const String& value) override;
    void SetInt(const String& name, int32_t value) override;
    void SetInt64(const String& name, int64_t value) override;
    void SetFloat(const String& name, float value) override;
    void SetDouble(const String& name, double value) override;
    void SetBool(const String& name, bool value) override;
    void SetMemoryBlock(const String& name, P<IMemoryBlock> value) override;
    void SetBytes(const String& name, const void* data, int32_t size) override;
    void SetValue(const String& name, P<IBase> value) override;

    String GetString(const String& name, const String& defaultValue, bool* found = nullptr) const override;
    int32_t GetInt(const String& name, int32_t defaultValue, bool* found = nullptr) const override;
    int64_t GetInt64(const String& name, int64_t defaultValue, bool* found = nullptr) const override;
    float GetFloat(const String& name, float defaultValue, bool* found = nullptr) const override;
    double GetDouble(const String& name, double defaultValue, bool* found = nullptr) const override;
    bool GetBool(const String& name, bool defaultValue, bool* found = nullptr) const override;
    P<IMemoryBlock> GetMemoryBlock(const String& name, P<IMemoryBlock> defaultValue,
                                   bool* found = nullptr) const override;
    P<IBase> GetValue(const String& name) const override;

    bool HasValue(const String& name) const override;
    int32_t Count() const override { return m_table.Count(); }
    P<IConstEnum> ValueNames() const override;
    bool DeleteValue(const String& name) override;
    void Clear() override;

private:
    TSimpleHashTable<String, Entry> m_table;
};

}  // namespace kest

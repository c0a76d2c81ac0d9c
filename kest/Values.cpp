#include "kest/Values.h"

#include "kest/Error.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kest {

namespace {

String Printed(const char* format, double value) {
    char text[64];
    int n = std::snprintf(text, sizeof(text), format, value);
    return String::Copy(text, n > 0 && n < int(sizeof(text)) ? n : 0);
}

// A number of any of the four numeric kinds, as the widest type of its family.
struct Number {
    bool isInteger = false;
    int64_t integer = 0;
    double floating = 0;
};

bool ReadNumber(const IBase* value, Number& out) {
    if (const IInt* v = Cast<IInt>(value)) {
        out = {true, v->Value(), 0};
    } else if (const IInt64* v64 = Cast<IInt64>(value)) {
        out = {true, v64->Value(), 0};
    } else if (const IFloat* f = Cast<IFloat>(value)) {
        out = {false, 0, double(f->Value())};
    } else if (const IDouble* d = Cast<IDouble>(value)) {
        out = {false, 0, d->Value()};
    } else {
        return false;
    }
    return true;
}

// Integers keep their value or count as missing: a number that does not fit (or NaN) would
// otherwise come back as some unrelated value.
template <typename T>
bool ToInteger(const Number& n, T& out) {
    constexpr double kLow = double(std::numeric_limits<T>::min());
    constexpr double kHigh = -kLow;  // exactly 2^31 or 2^63: the first value that does not fit
    if (n.isInteger) {
        if (n.integer < int64_t(std::numeric_limits<T>::min()) ||
            n.integer > int64_t(std::numeric_limits<T>::max())) {
            return false;
        }
        out = T(n.integer);
        return true;
    }
    if (!(n.floating >= kLow && n.floating < kHigh)) return false;
    out = T(std::trunc(n.floating));
    return true;
}

template <typename T>
T Found(bool* found, T value) {
    if (found) *found = true;
    return value;
}

template <typename T>
T Missing(bool* found, T defaultValue) {
    if (found) *found = false;
    return defaultValue;
}

}  // namespace

// ---- value objects

void CInt::ToString(String& out) const { out = String::FromInt(Value()); }

void CInt64::ToString(String& out) const {
    char text[32];
    int n = std::snprintf(text, sizeof(text), "%lld", static_cast<long long>(Value()));
    out = String::Copy(text, n > 0 ? n : 0);
}

void CFloat::ToString(String& out) const { out = Printed("%g", double(Value())); }
void CDouble::ToString(String& out) const { out = Printed("%.17g", Value()); }
void CBool::ToString(String& out) const { out = String(Value() ? "true" : "false"); }

CMemoryBlock::CMemoryBlock(int32_t size) { Resize(size); }

CMemoryBlock::CMemoryBlock(const void* data, int32_t size) { Fill(data, size); }

void CMemoryBlock::Resize(int32_t size) {
    if (size < 0) throw CInvalidArgError(String("negative block size"), String("Resize"), this);
    if (size == m_size) return;
    auto data = std::make_unique<uint8_t[]>(size_t(size) + 1);  // value-initialised: zeros
    if (m_size > 0) std::memcpy(data.get(), m_data.get(), size_t(size < m_size ? size : m_size));
    m_data = std::move(data);
    m_size = size;
}

void CMemoryBlock::Fill(const void* data, int32_t size) {
    if (size < 0 || (size > 0 && !data)) {
        throw CInvalidArgError(String("no data or a negative size"), String("Fill"), this);
    }
    auto copy = std::make_unique<uint8_t[]>(size_t(size) + 1);
    if (size > 0) std::memcpy(copy.get(), data, size_t(size));
    m_data = std::move(copy);
    m_size = size;
}

// ---- CValueList

namespace {

P<TSimpleArray<PC<IBase>>> NamesOf(const TSimpleHashTable<String, CValueList::Entry>& table) {
    auto names = New<TSimpleArray<PC<IBase>>>(table.Count());
    table.ForEach([&](const String& key, const CValueList::Entry&) { names->Add(PC<IBase>(key.Object())); });
    return names;
}

}  // namespace

CValueList::CNameEnum::CNameEnum(const TSimpleHashTable<String, Entry>& table)
    : CArrayConstEnum(NamesOf(table)) {}

CValueList::CValueList() : m_table(0, 0.8, 2.0) {}

void CValueList::SetValue(const String& name, P<IBase> value) {
    if (!value) {
        m_table.Remove(name);
        return;
    }
    m_table.Set(name, Entry{std::move(value)});
}

void CValueList::SetString(const String& name, const String& value) { SetValue(name, P<IBase>(value.Object())); }
void CValueList::SetInt(const String& name, int32_t value) { SetValue(name, New<CInt>(value)); }
void CValueList::SetInt64(const String& name, int64_t value) { SetValue(name, New<CInt64>(value)); }
void CValueList::SetFloat(const String& name, float value) { SetValue(name, New<CFloat>(value)); }
void CValueList::SetDouble(const String& name, double value) { SetValue(name, New<CDouble>(value)); }
void CValueList::SetBool(const String& name, bool value) { SetValue(name, New<CBool>(value)); }

void CValueList::SetMemoryBlock(const String& name, P<IMemoryBlock> value) {
    if (!value) throw CInvalidArgError(String("no memory block"), String("SetMemoryBlock"), this);
    SetValue(name, std::move(value));
}

void CValueList::SetBytes(const String& name, const void* data, int32_t size) {
    SetValue(name, New<CMemoryBlock>(data, size));
}

P<IBase> CValueList::GetValue(const String& name) const {
    const Entry* entry = m_table.Get(name);
    return entry ? entry->value : nullptr;
}

String CValueList::GetString(const String& name, const String& defaultValue, bool* found) const {
    const Entry* entry = m_table.Get(name);
    const IString* text = entry ? Cast<IString>(static_cast<const IBase*>(entry->value.Get())) : nullptr;
    return text ? Found(found, String(text)) : Missing(found, defaultValue);
}

int32_t CValueList::GetInt(const String& name, int32_t defaultValue, bool* found) const {
    const Entry* entry = m_table.Get(name);
    Number n;
    int32_t value = 0;
    if (entry && ReadNumber(entry->value.Get(), n) && ToInteger(n, value)) return Found(found, value);
    return Missing(found, defaultValue);
}

int64_t CValueList::GetInt64(const String& name, int64_t defaultValue, bool* found) const {
    const Entry* entry = m_table.Get(name);
    Number n;
    int64_t value = 0;
    if (entry && ReadNumber(entry->value.Get(), n) && ToInteger(n, value)) return Found(found, value);
    return Missing(found, defaultValue);
}

double CValueList::GetDouble(const String& name, double defaultValue, bool* found) const {
    const Entry* entry = m_table.Get(name);
    Number n;
    if (entry && ReadNumber(entry->value.Get(), n)) {
        return Found(found, n.isInteger ? double(n.integer) : n.floating);
    }
    return Missing(found, defaultValue);
}

float CValueList::GetFloat(const String& name, float defaultValue, bool* found) const {
    bool ok = false;
    double value = GetDouble(name, 0, &ok);
    return ok ? Found(found, float(value)) : Missing(found, defaultValue);
}

bool CValueList::GetBool(const String& name, bool defaultValue, bool* found) const {
    const Entry* entry = m_table.Get(name);
    const IBool* flag = entry ? Cast<IBool>(static_cast<const IBase*>(entry->value.Get())) : nullptr;
    return flag ? Found(found, flag->Value()) : Missing(found, defaultValue);
}

P<IMemoryBlock> CValueList::GetMemoryBlock(const String& name, P<IMemoryBlock> defaultValue,
                                           bool* found) const {
    const Entry* entry = m_table.Get(name);
    P<IMemoryBlock> block = entry ? Cast<IMemoryBlock>(entry->value) : nullptr;
    return block ? Found(found, block) : Missing(found, defaultValue);
}

bool CValueList::HasValue(const String& name) const { return m_table.Contains(name); }

P<IConstEnum> CValueList::ValueNames() const { return New<CNameEnum>(m_table); }

bool CValueList::DeleteValue(const String& name) { return m_table.Remove(name); }

void CValueList::Clear() { m_table.Clear(); }

}  // namespace kest

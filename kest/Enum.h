// Enumerations: walking a sequence of objects one at a time.
//
//     P<IConstEnum> names = store->ValueNames();
//     while (names->HasNext()) Use(NextString(*names));
//
// Next after the end raises CEndOfEnumError.
#pragma once

#include "kest/Containers.h"
#include "kest/Object.h"
#include "kest/String.h"

namespace kest {

// Elements used through their const operations only.
class IConstEnum : public virtual IBase {
public:
    virtual bool HasNext() = 0;
    virtual PC<IBase> Next() = 0;
};

class IEnum : public virtual IBase {
public:
    virtual bool HasNext() = 0;
    virtual P<IBase> Next() = 0;
};

// The next element of an enumeration of strings (raises CCastError for any other element).
String NextString(IConstEnum& e);

class CEmptyEnum : public CObject, public IEnum {
public:
    bool HasNext() override { return false; }
    P<IBase> Next() override;
};

class CEmptyConstEnum : public CObject, public IConstEnum {
public:
    bool HasNext() override { return false; }
    PC<IBase> Next() override;
};

// The elements of an array, in order. The array is shared, not copied: whoever hands it over
// stops changing it.
class CArrayConstEnum : public CObject, public IConstEnum {
public:
    explicit CArrayConstEnum(P<TSimpleArray<PC<IBase>>> items);
    bool HasNext() override;
    PC<IBase> Next() override;

private:
    P<TSimpleArray<PC<IBase>>> m_items;
    int32_t m_index = 0;
};

// Several enumerations one after the other. Sub-enumerations can be added only until the first
// HasNext or Next: after that the walk has begun and an added one could be skipped or not, so
// Add raises CInvalidObjectStateError.
class CMultiEnum : public CObject, public IEnum {
public:
    void Add(P<IEnum> e);
    bool HasNext() override;
    P<IBase> Next() override;

private:
    TSimpleArray<P<IEnum>> m_enums;
    int32_t m_current = 0;
    bool m_locked = false;
};

class CConstMultiEnum : public CObject, public IConstEnum {
public:
    void Add(P<IConstEnum> e);
    bool HasNext() override;
    PC<IBase> Next() override;

private:
    TSimpleArray<P<IConstEnum>> m_enums;
    int32_t m_current = 0;
    bool m_locked = false;
};

}  // namespace kest

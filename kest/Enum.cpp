#include "kest/Enum.h"

#include "kest/Error.h"
#include "kest/Localizer.h"

namespace kest {

String NextString(IConstEnum& e) {
    PC<IBase> element = e.Next();
    return String(CastRequired<IString>(element.Get()));
}

P<IBase> CEmptyEnum::Next() { throw CEndOfEnumError(this); }

PC<IBase> CEmptyConstEnum::Next() { throw CEndOfEnumError(this); }

CArrayConstEnum::CArrayConstEnum(P<TSimpleArray<PC<IBase>>> items) : m_items(std::move(items)) {}

bool CArrayConstEnum::HasNext() { return m_items && m_index < m_items->Count(); }

PC<IBase> CArrayConstEnum::Next() {
    if (!HasNext()) throw CEndOfEnumError(this);
    return m_items->Get(m_index++);
}

void CMultiEnum::Add(P<IEnum> e) {
    if (m_locked) {
        throw CInvalidObjectStateError(
            LookupLocalizedText(String("kest.CMultiEnum.addLocked"),
                                String(L"No more sub enums can be added to a multi enum after one "
                                       L"of its IEnum methods has been called.")),
            this);
    }
    if (e) m_enums.Add(std::move(e));
}

bool CMultiEnum::HasNext() {
    m_locked = true;
    while (m_current < m_enums.Count()) {
        if (m_enums.Get(m_current)->HasNext()) return true;
        ++m_current;
    }
    return false;
}

P<IBase> CMultiEnum::Next() {
    if (!HasNext()) throw CEndOfEnumError(this);
    return m_enums.Get(m_current)->Next();
}

void CConstMultiEnum::Add(P<IConstEnum> e) {
    if (m_locked) {
        throw CInvalidObjectStateError(
            LookupLocalizedText(String("kest.CConstMultiEnum.addLocked"),
                                String(L"No more sub enums can be added to a multi enum after one "
                                       L"of its IConstEnum methods has been called.")),
            this);
    }
    if (e) m_enums.Add(std::move(e));
}

bool CConstMultiEnum::HasNext() {
    m_locked = true;
    while (m_current < m_enums.Count()) {
        if (m_enums.Get(m_current)->HasNext()) return true;
        ++m_current;
    }
    return false;
}

PC<IBase> CConstMultiEnum::Next() {
    if (!HasNext()) throw CEndOfEnumError(this);
    return m_enums.Get(m_current)->Next();
}

}  // namespace kest

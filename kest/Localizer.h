// Looking up the library's user-visible texts by key.
//
// Every message of the library goes through LookupLocalizedText with a dotted key and its
// English default; a host that wants translations fills the process-wide localizer:
//
//     StringLocalizer()->SetText(String("kest.CNoSuchObjectError.desc"), String(L"Kein Objekt."));
#pragma once

#include "kest/Object.h"
#include "kest/String.h"
#include "kest/Thread.h"
#include "kest/Values.h"

namespace kest {

class IStringLocalizer : public virtual IBase {
public:
    virtual void Clear() = 0;
    // Asked for keys missing here; null removes the parent. Raises CInvalidArgError for a parent
    // that would close a ring (which would make lookups recurse without end).
    virtual void SetParent(P<IStringLocalizer> parent) = 0;
    virtual void SetText(const String& key, const String& text) = 0;
    // The text for key, else the parent's answer, else defaultText. Only a missing text counts
    // as missing: an empty text is an answer.
    virtual String GetText(const String& key, const String& defaultText) = 0;
};

class CStringLocalizer : public CObject, public IStringLocalizer {
public:
    CStringLocalizer();
    ~CStringLocalizer() override;
    CStringLocalizer(const CStringLocalizer&) = delete;
    CStringLocalizer& operator=(const CStringLocalizer&) = delete;

    void Clear() override;
    void SetParent(P<IStringLocalizer> parent) override;
    void SetText(const String& key, const String& text) override;
    String GetText(const String& key, const String& defaultText) override;

private:
    P<IStringLocalizer> Parent();

    P<IMutex> m_lock;
    P<CValueList> m_texts;
    P<IStringLocalizer> m_parent;
};

// The process-wide localizer, created empty on first use.
P<IStringLocalizer>& StringLocalizer();

// The text for a key, or defaultText when no translation is installed. Keys are narrow ASCII
// literals ("kest.CNoSuchObjectError.desc"); defaults are the English texts.
String LookupLocalizedText(const String& key, const String& defaultText);

}  // namespace kest

#include "kest/Localizer.h"

#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/Thread.h"

namespace kest {

namespace {

// Chains longer than this are not made by any host; the walk stops there instead of trusting
// foreign parents to end.
constexpr int kMaxParentChain = 1024;

}  // namespace

// Any thread may look texts up while another installs them.
CStringLocalizer::CStringLocalizer() : m_lock(GetMutexFactory().CreateMutex()), m_texts(New<CValueList>()) {}

CStringLocalizer::~CStringLocalizer() = default;

P<IStringLocalizer> CStringLocalizer::Parent() {
    CMutexLock hold(m_lock.Get());
    return m_parent;
}

void CStringLocalizer::Clear() {
    CMutexLock hold(m_lock.Get());
    m_texts->Clear();
}

void CStringLocalizer::SetParent(P<IStringLocalizer> parent) {
    // A ring of parents would make every lookup of a missing key recurse until the stack ends.
    P<IStringLocalizer> node = parent;
    for (int depth = 0; node && depth < kMaxParentChain; ++depth) {
        if (node.Get() == static_cast<IStringLocalizer*>(this)) {
            throw CInvalidArgError(String("a localizer cannot be its own parent or ancestor"),
                                   String("SetParent"), this);
        }
        auto* local = dynamic_cast<CStringLocalizer*>(node.Get());
        if (!local) break;
        node = local->Parent();
    }
    {
        CMutexLock hold(m_lock.Get());
        m_parent.Swap(parent);
    }
    // The old parent (now in `parent`) is released here, outside the lock.
}

void CStringLocalizer::SetText(const String& key, const String& text) {
    CMutexLock hold(m_lock.Get());
    m_texts->SetString(key, text);
}

String CStringLocalizer::GetText(const String& key, const String& defaultText) {
    P<IStringLocalizer> parent;
    {
        CMutexLock hold(m_lock.Get());
        String text = m_texts->GetString(key, String::Null());
        if (!text.IsNull()) return text;
        parent = m_parent;
    }
    // The parent is asked without holding this lock, so that a parent that asks back cannot
    // deadlock against another thread.
    return parent ? parent->GetText(key, defaultText) : defaultText;
}

namespace {

P<IStringLocalizer> CreateStringLocalizer() { return New<CStringLocalizer>(); }

}  // namespace

P<IStringLocalizer>& StringLocalizer() {
    static TServiceSlot<IStringLocalizer> slot;
    return slot.Get(&CreateStringLocalizer);
}

String LookupLocalizedText(const String& key, const String& defaultText) {
    P<IStringLocalizer> localizer = StringLocalizer();
    return localizer ? localizer->GetText(key, defaultText) : defaultText;
}

}  // namespace kest

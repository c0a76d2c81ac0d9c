#include "kest/win32/Thread.h"

#include "kest/Containers.h"
#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/win32/Mutex.h"

#include <process.h>

namespace kest {

P<IThreadManager>& GetThreadManager() {
    static TServiceSlot<IThreadManager> slot;
    return slot.Get([]() -> P<IThreadManager> { return New<win32::CThreadManager>(); });
}

P<ISimpleThreadLocalStorageFactory>& GetThreadLocalStorageFactory() {
    static TServiceSlot<ISimpleThreadLocalStorageFactory> slot;
    return slot.Get([]() -> P<ISimpleThreadLocalStorageFactory> {
        return New<win32::CSimpleThreadLocalStorageFactory>();
    });
}

// ---------------------------------------------------------------- library-kept thread values

namespace {

// Each thread's values live in a table of its own, reached through one system slot; a storage
// object is a key into that table.
using ValueTable = TSimpleHashTable<int32_t, P<IBase>>;

class CThreadLocalStorageManager {
public:
    static CThreadLocalStorageManager& Instance() {
        static CThreadLocalStorageManager manager;
        return manager;
    }

    int32_t NewKey() { return int32_t(::InterlockedIncrement(&m_lastKey)); }

    ValueTable* Table(bool create) {
        auto* table = static_cast<ValueTable*>(m_slot->GetValue());
        if (!table && create) {
            P<ValueTable> made = New<ValueTable>();
            m_slot->SetValue(made.Get());
            table = made.Detach();  // the slot holds this reference until the thread is cleared
        }
        return table;
    }

    void Clear() {
        ValueTable* table = Table(false);
        if (!table) return;
        m_slot->SetValue(nullptr);
        P<ValueTable> owned(table, AdoptRef);
        owned->Clear();
    }

private:
    CThreadLocalStorageManager() : m_slot(GetThreadLocalStorageFactory()->CreateStorage()) {}

    P<ISimpleThreadLocalStorage> m_slot;
    volatile long m_lastKey = 0;
};

class CThreadLocalStorage : public CObject, public IThreadLocalStorage {
public:
    CThreadLocalStorage() : m_key(CThreadLocalStorageManager::Instance().NewKey()) {}

    P<IBase> GetValue() override {
        ValueTable* table = CThreadLocalStorageManager::Instance().Table(false);
        const P<IBase>* value = table ? table->Get(m_key) : nullptr;
        return value ? *value : P<IBase>();
    }
    void SetValue(P<IBase> value) override {
        ValueTable* table = CThreadLocalStorageManager::Instance().Table(true);
        if (value) {
            table->Set(m_key, std::move(value));
        } else {
            table->Remove(m_key);
        }
    }

private:
    int32_t m_key;
};

}  // namespace

P<IThreadLocalStorage> CreateThreadLocalStorage() { return New<CThreadLocalStorage>(); }

void ClearThreadLocalValues() { CThreadLocalStorageManager::Instance().Clear(); }

}  // namespace kest

namespace kest::win32 {

// ------------------------------------------------------------------------------- CThreadImpl

CThreadImpl::CThreadImpl(const PFrail<IBase>& owner, ThreadEntry entry, void* argument,
                         StartFunction start)
    : m_owner(owner), m_entry(entry), m_argument(argument) {
    if (!entry) throw CInvalidArgError(String("entry"), String("CThreadImpl"), this);
    if (!start) start = &::_beginthreadex;
    AddRef();  // the running thread's own reference, dropped when it ends
    ::SetLastError(0);
    uintptr_t handle = start(nullptr, 0, &ThreadMain, this, 0, &m_id);
    if (handle == 0) {
        DWORD code = ::GetLastError();
        Release();
        // Not localised: these texts come up when the process is already in trouble.
        if (code == 0) throw CError(String("Error creating thread."));
        RaiseSystemError(code, String("Error creating thread (%ERRORDESC%)."));
    }
    m_handle.reset(reinterpret_cast<HANDLE>(handle));
}

unsigned __stdcall CThreadImpl::ThreadMain(void* self) {
    auto* thread = static_cast<CThreadImpl*>(self);
    // An error that escaped the work would end the whole process; this thread's work ends here.
    try {
        thread->m_entry(thread->m_argument);
    } catch (...) {
    }
    // Let go of the work now rather than with the thread object: work that keeps its own
    // thread object would otherwise keep both alive for ever.
    thread->m_owner.Reset();
    try {
        ClearThreadLocalValues();
    } catch (...) {
    }
    thread->Release();
    return 0;
}

void CThreadImpl::Join() {
    if (::GetCurrentThreadId() == m_id) {
        throw CInvalidObjectStateError(String("a thread cannot wait for itself"), this);
    }
    if (::WaitForSingleObject(m_handle.get(), INFINITE) == WAIT_FAILED) {
        RaiseSystemError(::GetLastError());
    }
}

// ---------------------------------------------------------------------------- CThreadManager

namespace {
void RunRunnable(void* runnable) { static_cast<IRunnable*>(runnable)->Run(); }
}  // namespace

P<IThread> CThreadManager::CreateThread(IRunnable* runnable) {
    if (!runnable) throw CInvalidArgError(String("runnable"), String("CreateThread"), this);
    return CreateThread(PFrail<IBase>(runnable, true), &RunRunnable, runnable);
}

P<IThread> CThreadManager::CreateThread(const PFrail<IBase>& owner, ThreadEntry entry, void* argument) {
    return New<CThreadImpl>(owner, entry, argument);
}

void CThreadManager::Yield(bool sleep) { ::Sleep(sleep ? 1 : 0); }
void CThreadManager::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }
uint32_t CThreadManager::GetCurrentThreadId() { return ::GetCurrentThreadId(); }

// -------------------------------------------------------------------- simple thread storage

CSimpleThreadLocalStorage::CSimpleThreadLocalStorage() : m_slot(::TlsAlloc()) {
    if (m_slot == TLS_OUT_OF_INDEXES) RaiseSystemError(::GetLastError());
}
CSimpleThreadLocalStorage::~CSimpleThreadLocalStorage() { ::TlsFree(m_slot); }
void* CSimpleThreadLocalStorage::GetValue() { return ::TlsGetValue(m_slot); }
void CSimpleThreadLocalStorage::SetValue(void* value) {
    if (!::TlsSetValue(m_slot, value)) RaiseSystemError(::GetLastError());
}

P<ISimpleThreadLocalStorage> CSimpleThreadLocalStorageFactory::CreateStorage() {
    return New<CSimpleThreadLocalStorage>();
}

}  // namespace kest::win32

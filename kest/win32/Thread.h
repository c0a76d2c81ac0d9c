// Threads started through the C runtime, so that the runtime is ready on them; thread-local
// storage.
#pragma once

#include "kest/Thread.h"
#include "kest/win32/Handles.h"

#include "kest/win32/Win32.h"

namespace kest::win32 {

class CThreadImpl : public CObject, public IThread {
public:
    // The runtime's thread start, or a stand-in with the same contract: 0 on failure, with the
    // reason (if any) in the thread's last error.
    using StartFunction = uintptr_t (*)(void* security, unsigned stackSize,
                                        unsigned(__stdcall* entry)(void*), void* argument,
                                        unsigned flags, unsigned* id);

    // Starts the thread at once; raises "Error creating thread." when it cannot.
    CThreadImpl(const PFrail<IBase>& owner, ThreadEntry entry, void* argument,
                StartFunction start = nullptr);
    void Join() override;
    uint32_t GetId() const override { return m_id; }

private:
    static unsigned __stdcall ThreadMain(void* self);

    PFrail<IBase> m_owner;
    ThreadEntry m_entry;
    void* m_argument;
    UniqueHandle m_handle;
    unsigned m_id = 0;
};

class CThreadManager : public CObject, public IThreadManager {
public:
    P<IThread> CreateThread(IRunnable* runnable) override;
    void Yield(bool sleep) override;
    void Sleep(uint32_t milliseconds) override;
    uint32_t GetCurrentThreadId() override;
    P<IThread> CreateThread(const PFrail<IBase>& owner, ThreadEntry entry, void* argument) override;
};

class CSimpleThreadLocalStorage : public CObject, public ISimpleThreadLocalStorage {
public:
    CSimpleThreadLocalStorage();
    ~CSimpleThreadLocalStorage() override;
    void* GetValue() override;
    void SetValue(void* value) override;

private:
    DWORD m_slot;
};

class CSimpleThreadLocalStorageFactory : public CObject, public ISimpleThreadLocalStorageFactory {
public:
    P<ISimpleThreadLocalStorage> CreateStorage() override;
};

}  // namespace kest::win32

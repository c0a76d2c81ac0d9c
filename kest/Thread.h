// Mutexes, threads and thread-local storage behind portable interfaces.
//
//     P<IMutex> mutex = GetMutexFactory().CreateMutex();
//     { CMutexLock lock(mutex.Get()); ... }            // released on every way out
//
//     P<IThread> thread = GetThreadManager()->CreateThread(runnable);
//     thread->Join();
#pragma once

#include "kest/Object.h"
#include "kest/String.h"
#include "kest/win32/UndefWin32Names.h"

#include <cstdint>

namespace kest {

class IMutex : public virtual IBase {
public:
    virtual void Lock() = 0;
    virtual bool TryLock() = 0;
    virtual void Unlock() = 0;
};

class IMutexFactory : public virtual IBase {
public:
    // A process-local mutex, re-entrant for the thread that holds it.
    virtual P<IMutex> CreateMutex() = 0;
    // A named system mutex shared by every process that uses the same name.
    virtual P<IMutex> CreateGlobalMutex(const String& name) = 0;
};

// The factory lives in a plain static: the service slots themselves depend on it.
IMutexFactory& GetMutexFactory();

// Holds a mutex for the lifetime of a scope.
class CMutexLock {
public:
    explicit CMutexLock(IMutex* mutex) : m_mutex(mutex) { m_mutex->Lock(); }
    ~CMutexLock() { m_mutex->Unlock(); }
    CMutexLock(const CMutexLock&) = delete;
    CMutexLock& operator=(const CMutexLock&) = delete;

private:
    IMutex* m_mutex;
};

// Work for a thread of its own.
class IRunnable : public virtual IBase {
public:
    virtual void Run() = 0;
};

class IThread : public virtual IBase {
public:
    // Waits without time limit for the thread to end. A thread cannot join itself.
    virtual void Join() = 0;
    virtual uint32_t GetId() const = 0;
};

using ThreadEntry = void (*)(void* argument);

class IThreadManager : public virtual IBase {
public:
    // Runs runnable->Run() on a new thread; the thread keeps the runnable alive until it ends.
    virtual P<IThread> CreateThread(IRunnable* runnable) = 0;
    // Gives the processor away: for a millisecond when sleep is set, else only the time slice.
    virtual void Yield(bool sleep) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    virtual uint32_t GetCurrentThreadId() = 0;
    // The general form: owner is kept (strongly or not, as the PFrail says) while entry runs.
    virtual P<IThread> CreateThread(const PFrail<IBase>& owner, ThreadEntry entry, void* argument) = 0;
};

P<IThreadManager>& GetThreadManager();

// One raw system thread-local slot.
class ISimpleThreadLocalStorage : public virtual IBase {
public:
    virtual void* GetValue() = 0;
    virtual void SetValue(void* value) = 0;
};

class ISimpleThreadLocalStorageFactory : public virtual IBase {
public:
    virtual P<ISimpleThreadLocalStorage> CreateStorage() = 0;
};

P<ISimpleThreadLocalStorageFactory>& GetThreadLocalStorageFactory();

// A per-thread object reference kept by the library. The values of a thread that the library
// started are released when the thread's work returns.
class IThreadLocalStorage : public virtual IBase {
public:
    virtual P<IBase> GetValue() = 0;
    virtual void SetValue(P<IBase> value) = 0;
};

P<IThreadLocalStorage> CreateThreadLocalStorage();
// Releases every library-kept value of the calling thread.
void ClearThreadLocalValues();

}  // namespace kest

// The Windows mutexes: a critical section for the process, a named system mutex across processes.
#pragma once

#include "kest/Thread.h"
#include "kest/win32/Handles.h"

#include "kest/win32/Win32.h"

namespace kest::win32 {

class CMutexImpl : public CObject, public IMutex {
public:
    CMutexImpl();
    ~CMutexImpl() override;
    void Lock() override;
    bool TryLock() override;
    void Unlock() override;

private:
    CRITICAL_SECTION m_section;
};

class CGlobalMutexImpl : public CObject, public IMutex {
public:
    // Opens or creates the named mutex without taking it.
    explicit CGlobalMutexImpl(const String& name);
    void Lock() override;
    bool TryLock() override;
    void Unlock() override;
    String GetName() const { return m_name; }

private:
    String m_name;
    UniqueHandle m_mutex;
};

class CMutexFactory : public CObject, public IMutexFactory {
public:
    P<IMutex> CreateMutex() override;
    P<IMutex> CreateGlobalMutex(const String& name) override;
};

}  // namespace kest::win32

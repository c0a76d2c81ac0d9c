#include "kest/win32/Mutex.h"

#include "kest/Error.h"

namespace kest {

IMutexFactory& GetMutexFactory() {
    // Never released: static destructors at exit may still create and use mutexes.
    static win32::CMutexFactory* factory = New<win32::CMutexFactory>().Detach();
    return *factory;
}

}  // namespace kest

namespace kest::win32 {

CMutexImpl::CMutexImpl() { ::InitializeCriticalSection(&m_section); }
CMutexImpl::~CMutexImpl() { ::DeleteCriticalSection(&m_section); }
void CMutexImpl::Lock() { ::EnterCriticalSection(&m_section); }
bool CMutexImpl::TryLock() { return ::TryEnterCriticalSection(&m_section) != FALSE; }
void CMutexImpl::Unlock() { ::LeaveCriticalSection(&m_section); }

CGlobalMutexImpl::CGlobalMutexImpl(const String& name) : m_name(name) {
    String wide = name.AsUTF16();
    m_mutex.reset(::CreateMutexW(nullptr, FALSE, wide.WideData()));
    if (!m_mutex) throw CException(String("Error createing global mutex ") + name, String::Null());
}

void CGlobalMutexImpl::Lock() {
    DWORD result = ::WaitForSingleObject(m_mutex.get(), INFINITE);
    if (result == WAIT_ABANDONED) {
        // A dead owner left it: the wait gave it to us, but whatever it guarded may be half
        // done, so go through the queue once more like any other waiter.
        ::ReleaseMutex(m_mutex.get());
        result = ::WaitForSingleObject(m_mutex.get(), INFINITE);
    }
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        throw CException(String("Error locking global mutex ") + m_name, String::Null());
    }
}

bool CGlobalMutexImpl::TryLock() {
    DWORD result = ::WaitForSingleObject(m_mutex.get(), 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return true;
    if (result == WAIT_TIMEOUT) return false;
    throw CException(String("Error locking global mutex ") + m_name, String::Null());
}

void CGlobalMutexImpl::Unlock() {
    if (!::ReleaseMutex(m_mutex.get())) {
        // Only a thread that does not hold the mutex gets here, and it has nothing to give back;
        // unlocking runs in scoped locks' destructors, where no error may be raised.
        return;
    }
}

P<IMutex> CMutexFactory::CreateMutex() { return New<CMutexImpl>(); }
P<IMutex> CMutexFactory::CreateGlobalMutex(const String& name) { return New<CGlobalMutexImpl>(name); }

}  // namespace kest::win32

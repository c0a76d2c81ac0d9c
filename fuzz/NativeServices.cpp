// What the portable foundation asks of its Windows side, for the native sanitizer build: the
// global lock, the service-slot marks, process-local mutexes, and null answers for the services
// no fuzz target reaches (time, system paths).
#include "kest/Error.h"
#include "kest/ServiceSlot.h"
#include "kest/Thread.h"
#include "kest/Time.h"
#include "kest/URI.h"

#include <mutex>
#include <thread>

namespace kest {

namespace {

std::recursive_mutex& GlobalMutex() {
    // Never destroyed: static destructors at exit may still lock.
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}

class CNativeMutex : public CObject, public IMutex {
public:
    void Lock() override { m_mutex.lock(); }
    bool TryLock() override { return m_mutex.try_lock(); }
    void Unlock() override { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class CNativeMutexFactory : public CObject, public IMutexFactory {
public:
    P<IMutex> CreateMutex() override { return New<CNativeMutex>(); }
    // No other process shares anything with a fuzz run.
    P<IMutex> CreateGlobalMutex(const String&) override { return New<CNativeMutex>(); }
};

}  // namespace

void LockGlobal() noexcept { GlobalMutex().lock(); }
void UnlockGlobal() noexcept { GlobalMutex().unlock(); }

IMutexFactory& GetMutexFactory() {
    static CNativeMutexFactory* factory = New<CNativeMutexFactory>().Detach();
    return *factory;
}

P<ITimeManager>& GetTimeManager() {
    static P<ITimeManager> none;
    return none;
}

String SystemPathOf(const IURI*) noexcept { return String(); }

namespace detail {

uint32_t LoadMark(const volatile uint32_t& mark) noexcept { return __atomic_load_n(&mark, __ATOMIC_SEQ_CST); }
void StoreMark(volatile uint32_t& mark, uint32_t value) noexcept { __atomic_store_n(&mark, value, __ATOMIC_SEQ_CST); }
void YieldSlice() noexcept { std::this_thread::yield(); }
void RaiseSlotRecursion() {
    throw CInvalidObjectStateError(String("a service was requested while it was being created"));
}

}  // namespace detail

}  // namespace kest

// The global lock behind the service slots, and the small atomic helpers they use.
#include "kest/ServiceSlot.h"

#include "kest/Error.h"

#include <windows.h>

#include <new>

namespace kest {

namespace {

// The critical section is made once, on first use, and deliberately never deleted: slots are
// released by static destructors at exit, in an order nobody controls, and may still lock.
INIT_ONCE g_lockOnce = INIT_ONCE_STATIC_INIT;
alignas(CRITICAL_SECTION) unsigned char g_lockStorage[sizeof(CRITICAL_SECTION)];

BOOL CALLBACK InitGlobalLock(PINIT_ONCE, PVOID, PVOID* context) {
    auto* section = new (g_lockStorage) CRITICAL_SECTION;
    ::InitializeCriticalSection(section);
    *context = section;
    return TRUE;
}

CRITICAL_SECTION* GlobalSection() noexcept {
    void* section = nullptr;
    // Cannot fail: the callback always succeeds.
    ::InitOnceExecuteOnce(&g_lockOnce, InitGlobalLock, nullptr, &section);
    return static_cast<CRITICAL_SECTION*>(section);
}

}  // namespace

void LockGlobal() noexcept { ::EnterCriticalSection(GlobalSection()); }
void UnlockGlobal() noexcept { ::LeaveCriticalSection(GlobalSection()); }

namespace detail {

uint32_t LoadMark(const volatile uint32_t& mark) noexcept {
    auto* target = reinterpret_cast<volatile LONG*>(const_cast<volatile uint32_t*>(&mark));
    return uint32_t(::InterlockedCompareExchange(target, 0, 0));
}

void StoreMark(volatile uint32_t& mark, uint32_t value) noexcept {
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&mark), LONG(value));
}

void YieldSlice() noexcept { ::Sleep(1); }

void RaiseSlotRecursion() {
    throw CInvalidObjectStateError(String("a service was requested while it was being created"));
}

}  // namespace detail

}  // namespace kest

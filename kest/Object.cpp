#include "kest/Object.h"

#include "kest/Containers.h"
#include "kest/Error.h"
#include "kest/String.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__GNUC__)
#include <cxxabi.h>
#endif

namespace kest {

namespace {
// Stored on the last release instead of 0: references that the destructor takes and drops again
// can never bring the count back to 0 and destroy the object twice.
constexpr long kDestroyingCount = -1000000;

// The count's atomic steps. Windows has them as functions; the native sanitizer build of the
// portable parts uses the compiler's.
#if defined(_WIN32)
long Increment(volatile long* count) { return ::InterlockedIncrement(count); }
long Decrement(volatile long* count) { return ::InterlockedDecrement(count); }
void Exchange(volatile long* count, long value) { ::InterlockedExchange(count, value); }
#else
long Increment(volatile long* count) { return __atomic_add_fetch(count, 1, __ATOMIC_SEQ_CST); }
long Decrement(volatile long* count) { return __atomic_sub_fetch(count, 1, __ATOMIC_SEQ_CST); }
void Exchange(volatile long* count, long value) { __atomic_store_n(count, value, __ATOMIC_SEQ_CST); }
#endif
}  // namespace

void CReferencable::AddRef() const noexcept { Increment(&m_count); }

void CReferencable::Release() const noexcept {
    if (Decrement(&m_count) == 0) {
        Exchange(&m_count, kDestroyingCount);
        Destroy();
    }
}

void CReferencable::Destroy() const noexcept { delete this; }

bool CObject::GetCastInfo(const std::type_info&, IBase*& delegate, CastCandidates& more) const {
    delegate = nullptr;
    more = CastCandidates();
    return true;
}

void CObject::ToString(String& out) const { out = TypeName(typeid(*this)) + " object"; }

String TypeName(const std::type_info& type) {
    const char* raw = type.name();
#if defined(__GNUC__)
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(raw, nullptr, nullptr, &status), &std::free);
    if (status == 0 && readable) return String::Copy(readable.get());
#else
    // MSVC spells "class kest::CObject".
    for (const char* prefix : {"class ", "struct "}) {
        size_t n = std::strlen(prefix);
        if (std::strncmp(raw, prefix, n) == 0) return String::Copy(raw + n);
    }
#endif
    return String::Copy(raw);
}

void RaiseCastError(const IBase* object, const std::type_info& target) {
    throw CCastError(object, &target);
}

void RaiseIndexError(const IBase* container, const char* method) {
    throw CInvalidArgError(String("index out of range"), String::Copy(method), container);
}

}  // namespace kest

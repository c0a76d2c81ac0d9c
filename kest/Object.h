// The object model: reference-counted objects reached through interfaces and smart pointers.
//
// Every interface derives virtually from IBase, so an object that implements several interfaces
// still has one IBase and one reference count. Concrete classes derive from CObject and from
// their interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <typeinfo>
#include <utility>

namespace kest {

class String;
class IBase;

// Further objects that may answer a cast on behalf of an object (see Cast below).
struct CastCandidates {
    IBase* const* items = nullptr;
    int count = 0;
};

class IBase {
public:
    virtual ~IBase() = default;
    virtual void AddRef() const noexcept = 0;
    virtual void Release() const noexcept = 0;
    // Whether the object takes part in interface casts at all; it may name a delegate that
    // answers casts in its place, or further candidates to try when it does not implement the
    // target itself.
    virtual bool GetCastInfo(const std::type_info& target, IBase*& delegate,
                             CastCandidates& more) const = 0;
    virtual void ToString(String& out) const = 0;

protected:
    IBase() = default;
    IBase(const IBase&) = default;
    IBase& operator=(const IBase&) = default;
};

// The reference-count holder. A new object starts with one reference, which the first P<>
// adopts.
class CReferencable {
public:
    CReferencable() noexcept = default;
    // A copy is a new object with its own single reference.
    CReferencable(const CReferencable&) noexcept {}
    CReferencable& operator=(const CReferencable&) noexcept { return *this; }
    virtual ~CReferencable() = default;

    virtual void AddRef() const noexcept;
    virtual void Release() const noexcept;
    // Called once when the last reference goes; deletes through the virtual destructor.
    virtual void Destroy() const noexcept;

    // For diagnostics and tests only: the count changes under other threads' feet.
    long RefCount() const noexcept { return m_count; }

private:
    mutable volatile long m_count = 1;
};

class CObject : public CReferencable, public virtual IBase {
public:
    void AddRef() const noexcept override { CReferencable::AddRef(); }
    void Release() const noexcept override { CReferencable::Release(); }
    bool GetCastInfo(const std::type_info& target, IBase*& delegate,
                     CastCandidates& more) const override;
    // "<run-time class name> object"
    void ToString(String& out) const override;
};

// The class name of a type as readers expect it ("kest::CUTF8String"), not in mangled form.
String TypeName(const std::type_info& type);

struct AdoptRefTag {
    explicit AdoptRefTag() = default;
};
inline constexpr AdoptRefTag AdoptRef{};

// Strong reference to a mutable object.
template <typename T>
class P {
public:
    P() noexcept = default;
    P(std::nullptr_t) noexcept {}
    // Takes a new reference: for pointers that are already owned elsewhere (cast results).
    P(T* p) noexcept : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    // Takes over the reference the caller holds (a freshly constructed object).
    P(T* p, AdoptRefTag) noexcept : m_p(p) {}
    P(const P& other) noexcept : P(other.m_p) {}
    P(P&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    template <typename U>
    P(const P<U>& other) noexcept : P(other.Get()) {}
    template <typename U>
    P(P<U>&& other) noexcept : m_p(other.Detach()) {}
    ~P() {
        if (m_p) m_p->Release();
    }

    P& operator=(const P& other) noexcept {
        P(other).Swap(*this);
        return *this;
    }
    P& operator=(P&& other) noexcept {
        P(std::move(other)).Swap(*this);
        return *this;
    }
    P& operator=(T* p) noexcept {
        P(p).Swap(*this);
        return *this;
    }
    P& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    bool IsNull() const noexcept { return m_p == nullptr; }

    void Reset() noexcept { P().Swap(*this); }
    // Gives up the reference without releasing it.
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    void Swap(P& other) noexcept { std::swap(m_p, other.m_p); }

private:
    T* m_p = nullptr;
};

// Strong reference to an object used only through its const operations.
template <typename T>
class PC {
public:
    PC() noexcept = default;
    PC(std::nullptr_t) noexcept {}
    PC(const T* p) noexcept : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    PC(const T* p, AdoptRefTag) noexcept : m_p(p) {}
    PC(const PC& other) noexcept : PC(other.m_p) {}
    PC(PC&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    template <typename U>
    PC(const PC<U>& other) noexcept : PC(other.Get()) {}
    template <typename U>
    PC(const P<U>& other) noexcept : PC(other.Get()) {}
    template <typename U>
    PC(P<U>&& other) noexcept : m_p(other.Detach()) {}
    ~PC() {
        if (m_p) m_p->Release();
    }

    PC& operator=(const PC& other) noexcept {
        PC(other).Swap(*this);
        return *this;
    }
    PC& operator=(PC&& other) noexcept {
        PC(std::move(other)).Swap(*this);
        return *this;
    }
    PC& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    const T* Get() const noexcept { return m_p; }
    const T* operator->() const noexcept { return m_p; }
    const T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    bool IsNull() const noexcept { return m_p == nullptr; }

    void Reset() noexcept { PC().Swap(*this); }
    const T* Detach() noexcept { return std::exchange(m_p, nullptr); }
    void Swap(PC& other) noexcept { std::swap(m_p, other.m_p); }

private:
    const T* m_p = nullptr;
};

// A pointer that holds a reference only while `strong` is set; otherwise it merely observes an
// object whose owner keeps it alive (and unregisters it before it dies).
template <typename T>
class PFrail {
public:
    PFrail() noexcept = default;
    PFrail(std::nullptr_t) noexcept {}
    PFrail(T* p, bool strong) noexcept : m_p(p), m_strong(strong) {
        if (m_p && m_strong) m_p->AddRef();
    }
    PFrail(const P<T>& p) noexcept : PFrail(p.Get(), true) {}
    PFrail(const PFrail& other) noexcept : PFrail(other.m_p, other.m_strong) {}
    PFrail(PFrail&& other) noexcept
        : m_p(std::exchange(other.m_p, nullptr)), m_strong(std::exchange(other.m_strong, true)) {}
    ~PFrail() {
        if (m_p && m_strong) m_p->Release();
    }

    PFrail& operator=(const PFrail& other) noexcept {
        PFrail(other).Swap(*this);
        return *this;
    }
    PFrail& operator=(PFrail&& other) noexcept {
        PFrail(std::move(other)).Swap(*this);
        return *this;
    }
    PFrail& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    bool IsNull() const noexcept { return m_p == nullptr; }
    bool IsStrong() const noexcept { return m_strong; }

    void Reset() noexcept { PFrail().Swap(*this); }
    void Swap(PFrail& other) noexcept {
        std::swap(m_p, other.m_p);
        std::swap(m_strong, other.m_strong);
    }

private:
    T* m_p = nullptr;
    bool m_strong = true;
};

template <typename T, typename U>
bool operator==(const P<T>& a, const P<U>& b) noexcept { return a.Get() == b.Get(); }
template <typename T>
bool operator==(const P<T>& a, std::nullptr_t) noexcept { return a.IsNull(); }
template <typename T, typename U>
bool operator==(const PC<T>& a, const PC<U>& b) noexcept { return a.Get() == b.Get(); }
template <typename T>
bool operator==(const PC<T>& a, std::nullptr_t) noexcept { return a.IsNull(); }
template <typename T, typename U>
bool operator==(const PFrail<T>& a, const PFrail<U>& b) noexcept { return a.Get() == b.Get(); }

// Constructs an object and hands its first reference to the returned pointer.
template <typename T, typename... Args>
P<T> New(Args&&... args) {
    return P<T>(new T(std::forward<Args>(args)...), AdoptRef);
}

// Raises CCastError for a required cast that failed.
[[noreturn]] void RaiseCastError(const IBase* object, const std::type_info& target);

namespace detail {
// Delegates that name each other in a ring would otherwise recurse until the stack ends.
inline constexpr int kMaxCastDelegation = 32;

template <typename I>
I* CastStep(IBase* object, bool follow, int depth) {
    if (!object) return nullptr;
    IBase* delegate = nullptr;
    CastCandidates more;
    if (!object->GetCastInfo(typeid(I), delegate, more)) return nullptr;
    if (delegate && follow) {
        return depth < kMaxCastDelegation ? CastStep<I>(delegate, true, depth + 1) : nullptr;
    }
    if (I* direct = dynamic_cast<I*>(object)) return direct;
    for (int i = 0; i < more.count; ++i) {
        if (I* found = CastStep<I>(more.items[i], false, depth + 1)) return found;
    }
    return nullptr;
}
}  // namespace detail

// Interface cast; null when the object is null or does not implement I. The result is not
// referenced: wrap it in P<I> to keep it.
template <typename I>
I* Cast(IBase* object) {
    return detail::CastStep<I>(object, true, 0);
}
template <typename I>
const I* Cast(const IBase* object) {
    return detail::CastStep<I>(const_cast<IBase*>(object), true, 0);
}
template <typename I, typename T>
P<I> Cast(const P<T>& object) {
    return P<I>(Cast<I>(static_cast<IBase*>(object.Get())));
}
template <typename I, typename T>
PC<I> Cast(const PC<T>& object) {
    return PC<I>(Cast<I>(static_cast<const IBase*>(object.Get())));
}

// As Cast, but a non-null object that does not implement I raises CCastError.
template <typename I>
I* CastRequired(IBase* object) {
    I* result = Cast<I>(object);
    if (!result && object) RaiseCastError(object, typeid(I));
    return result;
}
template <typename I>
const I* CastRequired(const IBase* object) {
    const I* result = Cast<I>(object);
    if (!result && object) RaiseCastError(object, typeid(I));
    return result;
}
template <typename I, typename T>
P<I> CastRequired(const P<T>& object) {
    return P<I>(CastRequired<I>(static_cast<IBase*>(object.Get())));
}

}  // namespace kest

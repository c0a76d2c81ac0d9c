// The simple containers the library is built from. Each is a CObject so that a container can
// itself be shared through P<>. They are not locked: an owner that shares one between threads
// guards it with its own mutex.
#pragma once

#include "kest/Object.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace kest {

[[noreturn]] void RaiseIndexError(const IBase* container, const char* method);

class CSimpleArrayTemplateBase : public CObject {};
class CCleaningSimpleArrayTemplateBase : public CObject {};
class CFrailArrayTemplateBase : public CObject {};
class CSimpleHashTableTemplateBase : public CObject {};

// Growable array. Elements (smart pointers in practice) move by assignment, so reference counts
// stay exact through every move.
template <typename T>
class TSimpleArray : public CSimpleArrayTemplateBase {
public:
    explicit TSimpleArray(int32_t growBy = 10) : m_growBy(growBy > 0 ? growBy : 10) {}

    int32_t Count() const noexcept { return m_count; }
    int32_t Capacity() const noexcept { return m_capacity; }

    const T& Get(int32_t i) const {
        if (i < 0 || i >= m_count) RaiseIndexError(this, "TSimpleArray::Get");
        return m_items[i];
    }
    void Set(int32_t i, T value) {
        if (i < 0 || i >= m_count) RaiseIndexError(this, "TSimpleArray::Set");
        m_items[i] = std::move(value);
    }
    void Add(T value) {
        Reserve(m_count + 1);
        m_items[m_count++] = std::move(value);
    }
    void Insert(int32_t i, T value) {
        if (i < 0 || i > m_count) RaiseIndexError(this, "TSimpleArray::Insert");
        Reserve(m_count + 1);
        for (int32_t k = m_count; k > i; --k) m_items[k] = std::move(m_items[k - 1]);
        m_items[i] = std::move(value);
        ++m_count;
    }
    void Remove(int32_t i) {
        if (i < 0 || i >= m_count) RaiseIndexError(this, "TSimpleArray::Remove");
        for (int32_t k = i; k + 1 < m_count; ++k) m_items[k] = std::move(m_items[k + 1]);
        m_items[--m_count] = T();
    }
    // Index of the first element equal to value, or -1.
    int32_t IndexOf(const T& value) const {
        for (int32_t k = 0; k < m_count; ++k) {
            if (m_items[k] == value) return k;
        }
        return -1;
    }
    void Clear() {
        // Release in reverse order of insertion; the storage is kept for reuse.
        while (m_count > 0) m_items[--m_count] = T();
    }
    // Makes room for n elements: the new capacity is the larger of n and capacity + growBy.
    void Reserve(int32_t n) {
        if (n <= m_capacity) return;
        int64_t grown = int64_t(m_capacity) + m_growBy;
        int64_t wanted = n > grown ? n : grown;
        if (wanted > INT32_MAX / int64_t(sizeof(T))) RaiseIndexError(this, "TSimpleArray::Reserve");
        auto storage = std::make_unique<T[]>(size_t(wanted));
        for (int32_t k = 0; k < m_count; ++k) storage[k] = std::move(m_items[k]);
        m_items = std::move(storage);
        m_capacity = int32_t(wanted);
    }

    const T* begin() const noexcept { return m_items.get(); }
    const T* end() const noexcept { return m_items.get() + m_count; }

private:
    std::unique_ptr<T[]> m_items;
    int32_t m_capacity = 0;
    int32_t m_count = 0;
    int32_t m_growBy;
};

// Owns an array and releases all its elements when it dies.
template <typename T>
class TCleaningSimpleArray : public CCleaningSimpleArrayTemplateBase {
public:
    explicit TCleaningSimpleArray(int32_t growBy = 10) : m_array(New<TSimpleArray<T>>(growBy)) {}
    ~TCleaningSimpleArray() override { m_array->Clear(); }

    TSimpleArray<T>& Array() noexcept { return *m_array; }
    const TSimpleArray<T>& Array() const noexcept { return *m_array; }

    int32_t Count() const noexcept { return m_array->Count(); }
    const T& Get(int32_t i) const { return m_array->Get(i); }
    void Add(T value) { m_array->Add(std::move(value)); }
    void Remove(int32_t i) { m_array->Remove(i); }
    void Clear() { m_array->Clear(); }

private:
    P<TSimpleArray<T>> m_array;
};

// Listener lists: the entries are usually weak, since listeners unregister before they die.
template <typename T>
class TFrailArray : public CFrailArrayTemplateBase {
public:
    explicit TFrailArray(int32_t growBy = 10) : m_items(growBy) {}

    int32_t Count() const noexcept { return m_items.Count(); }
    T* Get(int32_t i) const { return m_items.Get(i).Get(); }
    void Add(T* item, bool strong = false) { m_items.Add(PFrail<T>(item, strong)); }
    int32_t IndexOf(const T* item) const {
        for (int32_t k = 0; k < m_items.Count(); ++k) {
            if (m_items.Get(k).Get() == item) return k;
        }
        return -1;
    }
    bool Contains(const T* item) const { return IndexOf(item) >= 0; }
    // Removes the first entry for item; false when there is none.
    bool Remove(const T* item) {
        int32_t k = IndexOf(item);
        if (k < 0) return false;
        m_items.Remove(k);
        return true;
    }
    void RemoveAt(int32_t i) { m_items.Remove(i); }
    void Clear() { m_items.Clear(); }

private:
    TSimpleArray<PFrail<T>> m_items;
};

// How a key hashes: its own HashCode (never negative), unless a HashKey overload says otherwise.
template <typename K>
uint32_t HashKey(const K& key) {
    return uint32_t(key.HashCode());
}
inline uint32_t HashKey(int32_t key) { return uint32_t(key) & 0x7FFFFFFFu; }

// Hash table with separate chaining.
template <typename K, typename V>
class TSimpleHashTable : public CSimpleHashTableTemplateBase {
public:
    explicit TSimpleHashTable(int32_t buckets = 0, double maxLoad = 0.8, double growth = 2.0)
        : m_maxLoad(maxLoad > 0 ? maxLoad : 0.8), m_growth(growth > 1 ? growth : 2.0) {
        if (buckets > 0) {
            m_buckets = std::make_unique<std::unique_ptr<Node>[]>(size_t(buckets));
            m_bucketCount = buckets;
        }
    }
    ~TSimpleHashTable() override { Clear(); }

    int32_t Count() const noexcept { return m_count; }
    int32_t BucketCount() const noexcept { return m_bucketCount; }

    // The value stored for key, or null when absent.
    const V* Get(const K& key) const {
        const Node* node = Find(key);
        return node ? &node->value : nullptr;
    }
    V* Get(const K& key) {
        Node* node = Find(key);
        return node ? &node->value : nullptr;
    }
    bool Contains(const K& key) const { return Find(key) != nullptr; }

    // Inserts or replaces.
    void Set(const K& key, V value) {
        uint32_t hash = HashKey(key);
        if (Node* node = Find(key, hash)) {
            node->value = std::move(value);
            return;
        }
        // Rounded to double through memory: the x87 unit would otherwise keep 10 * 0.8 as a
        // value slightly above 8 and rehash one insertion late.
        volatile double limit = double(m_bucketCount) * m_maxLoad;
        if (limit <= double(m_count) + 1) Rehash();
        auto node = std::make_unique<Node>(hash, key, std::move(value));
        std::unique_ptr<Node>& head = m_buckets[hash % uint32_t(m_bucketCount)];
        node->next = std::move(head);
        head = std::move(node);
        ++m_count;
    }

    bool Remove(const K& key) {
        if (m_bucketCount == 0) return false;
        uint32_t hash = HashKey(key);
        std::unique_ptr<Node>* link = &m_buckets[hash % uint32_t(m_bucketCount)];
        while (*link) {
            Node& node = **link;
            if (node.hash == hash && node.key == key) {
                std::unique_ptr<Node> gone = std::move(*link);
                *link = std::move(gone->next);
                --m_count;
                return true;
            }
            link = &node.next;
        }
        return false;
    }

    void Clear() {
        // Unlinks node by node: a chain of many equal hashes must not recurse in destructors.
        for (int32_t b = 0; b < m_bucketCount; ++b) {
            std::unique_ptr<Node> node = std::move(m_buckets[b]);
            while (node) node = std::move(node->next);
        }
        m_count = 0;
    }

    // Calls f(key, value) for every entry, bucket by bucket, each chain from its head.
    template <typename F>
    void ForEach(F&& f) const {
        for (int32_t b = 0; b < m_bucketCount; ++b) {
            for (const Node* n = m_buckets[b].get(); n; n = n->next.get()) f(n->key, n->value);
        }
    }

private:
    struct Node {
        Node(uint32_t h, const K& k, V v) : hash(h), key(k), value(std::move(v)) {}
        uint32_t hash;
        K key;
        V value;
        std::unique_ptr<Node> next;
    };

    Node* Find(const K& key, uint32_t hash) const {
        if (m_bucketCount == 0) return nullptr;
        for (Node* n = m_buckets[hash % uint32_t(m_bucketCount)].get(); n; n = n->next.get()) {
            if (n->hash == hash && n->key == key) return n;
        }
        return nullptr;
    }
    Node* Find(const K& key) const { return Find(key, HashKey(key)); }

    void Rehash() {
        int64_t wanted = 10;
        if (m_bucketCount > 0) {
            volatile double grown = double(m_bucketCount) * m_growth;
            wanted = grown < double(INT32_MAX) ? int64_t(grown) : int64_t(INT32_MAX);
            if (wanted < int64_t(m_bucketCount) + 1) wanted = int64_t(m_bucketCount) + 1;
        }
        if (wanted > INT32_MAX / int64_t(sizeof(void*))) RaiseIndexError(this, "TSimpleHashTable::Set");
        auto buckets = std::make_unique<std::unique_ptr<Node>[]>(size_t(wanted));
        for (int32_t b = 0; b < m_bucketCount; ++b) {
            std::unique_ptr<Node> node = std::move(m_buckets[b]);
            while (node) {
                std::unique_ptr<Node> next = std::move(node->next);
                std::unique_ptr<Node>& head = buckets[node->hash % uint32_t(wanted)];
                node->next = std::move(head);
                head = std::move(node);
                node = std::move(next);
            }
        }
        m_buckets = std::move(buckets);
        m_bucketCount = int32_t(wanted);
    }

    std::unique_ptr<std::unique_ptr<Node>[]> m_buckets;
    int32_t m_bucketCount = 0;
    int32_t m_count = 0;
    double m_maxLoad;
    double m_growth;
};

}  // namespace kest

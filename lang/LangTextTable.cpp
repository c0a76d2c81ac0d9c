#include "lang/LangTextTable.h"

#include <new>
#include <type_traits>

namespace {

constexpr size_t kFirstCapacity = 16;
// Slot indexes come from the top bits of a 32-bit product.
constexpr size_t kLargestCapacity = size_t{1} << 31;

// At most 70 % of the slots in use, so that a probe soon meets a free one; written so as not to
// overflow.
bool Fits(size_t count, size_t capacity) {
    return count <= capacity / 10 * 7 + capacity % 10 * 7 / 10;
}

}  // namespace

void LangTextTable::Reserve(size_t count) {
    size_t capacity = kFirstCapacity;
    while (!Fits(count, capacity)) {
        if (capacity >= kLargestCapacity) throw std::bad_alloc();
        capacity *= 2;
    }
    if (capacity > m_slots.size()) Rehash(capacity);
}

void LangTextTable::Put(std::string_view key, const TextUnit* text) {
    if (!Fits(m_count + 1, m_slots.size())) Reserve(m_count + 1);
    const uint32_t hash = Hash(key);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = IndexOf(hash);; i = (i + 1) & mask) {
        Slot& slot = m_slots[i];
        if (!slot.key) {
            // Never null, not even for the empty key: a null key marks a free slot.
            auto* copy = static_cast<char*>(m_storage.allocate(key.empty() ? 1 : key.size(), 1));
            if (!key.empty()) std::memcpy(copy, key.data(), key.size());
            slot = Slot{copy, text, key.size(), hash};
            ++m_count;
            return;
        }
        if (slot.hash == hash && slot.length == key.size() && std::memcmp(slot.key, key.data(), key.size()) == 0) {
            slot.text = text;
            return;
        }
    }
}

const TextUnit* LangTextTable::CopyText(std::wstring_view text) {
    auto* copy = static_cast<TextUnit*>(m_storage.allocate((text.size() + 1) * sizeof(TextUnit), alignof(TextUnit)));
    if constexpr (std::is_same_v<TextUnit, wchar_t>) {
        if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(TextUnit));
    } else {
        for (size_t i = 0; i < text.size(); ++i) copy[i] = static_cast<TextUnit>(text[i]);
    }
    copy[text.size()] = 0;
    return copy;
}

void LangTextTable::Keep(std::shared_ptr<void> owner) {
    m_kept.push_back(std::move(owner));
}

void LangTextTable::PutAll(std::unique_ptr<LangTextTable> other) {
    if (!other) return;
    Reserve(m_count + other->m_count);
    for (const Slot& slot : other->m_slots)
        if (slot.key) Put(std::string_view(slot.key, slot.length), slot.text);
    m_tables.push_back(std::move(other));
}

void LangTextTable::Rehash(size_t capacity) {
    std::vector<Slot> old(capacity);
    old.swap(m_slots);
    m_shift = 32;
    for (size_t c = capacity; c > 1; c /= 2) --m_shift;
    const size_t mask = capacity - 1;
    for (const Slot& slot : old) {
        if (!slot.key) continue;
        size_t i = IndexOf(slot.hash);
        while (m_slots[i].key) i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

// A pack's texts: key -> text. Keys are dotted names kept as UTF-8; texts are terminated UTF-16.
//
// The table is one array of slots with open addressing, so that loading 20 000 texts allocates
// a handful of blocks instead of a node per text, and a lookup touches a slot or two. A text is
// not copied when the table can keep the bytes it lies in: the pack readers map the file or read
// it into a buffer of UTF-16 units, hand that over (Keep) and put pointers into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <memory_resource>
#include <string_view>
#include <vector>

// One unit of a text as the packs hold it: UTF-16. On Windows that is wchar_t, the shell's own
// text type; where wchar_t is wider (the native sanitizer build of the readers) it is char16_t.
#ifdef _WIN32
using TextUnit = wchar_t;
#else
using TextUnit = char16_t;
#endif
static_assert(sizeof(TextUnit) == 2, "pack texts are UTF-16");

class LangTextTable {
public:
    LangTextTable() = default;
    LangTextTable(const LangTextTable&) = delete;
    LangTextTable& operator=(const LangTextTable&) = delete;

    // Room for count keys before the slots grow.
    void Reserve(size_t count);
    // The key takes the text; a later text for the same key replaces the earlier one. The text
    // must live as long as the table: in a kept buffer, in CopyText's storage, or static.
    void Put(std::string_view key, const TextUnit* text);
    // A terminated copy of the text, owned by the table.
    const TextUnit* CopyText(std::wstring_view text);
    // Keeps what texts point into: a buffer, or a mapped file.
    void Keep(std::shared_ptr<void> owner);
    // Puts every key of the other table with its text, replacing this table's texts for the
    // same keys; the other table is kept, so its texts stay where they are.
    void PutAll(std::unique_ptr<LangTextTable> other);

    // The text for the key, or null. Inline: the texts of a whole dialog are looked up in a row.
    const TextUnit* Find(std::string_view key) const {
        if (m_count == 0) return nullptr;
        const uint32_t hash = Hash(key);
        const size_t mask = m_slots.size() - 1;
        for (size_t i = IndexOf(hash);; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (!slot.key) return nullptr;
            if (slot.hash == hash && slot.length == key.size() && std::memcmp(slot.key, key.data(), key.size()) == 0)
                return slot.text;
        }
    }

    size_t Size() const { return m_count; }

    // Calls visit(key, text) for every key, in no particular order.
    template <typename Visit>
    void ForEach(Visit&& visit) const {
        for (const Slot& slot : m_slots)
            if (slot.key) visit(std::string_view(slot.key, slot.length), slot.text);
    }

private:
    struct Slot {
        const char* key = nullptr;  // null: the slot is free
        const TextUnit* text = nullptr;
        size_t length = 0;
        uint32_t hash = 0;
    };

    // The standard library's string hash, which takes several bytes a step.
    static uint32_t Hash(std::string_view key) { return static_cast<uint32_t>(std::hash<std::string_view>{}(key)); }
    // Fibonacci hashing: the top bits of the product pick the slot.
    size_t IndexOf(uint32_t hash) const { return static_cast<uint32_t>(hash * 2654435769u) >> m_shift; }
    void Rehash(size_t capacity);

    std::vector<Slot> m_slots;  // a power of two of them, at most 70 % in use
    size_t m_count = 0;
    unsigned m_shift = 32;
    std::pmr::monotonic_buffer_resource m_storage;  // keys and copied texts
    std::vector<std::shared_ptr<void>> m_kept;
    std::vector<std::unique_ptr<LangTextTable>> m_tables;
};

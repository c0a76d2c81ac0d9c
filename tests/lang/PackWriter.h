// Writes language packs of both formats, for fixtures: every field can be given a wrong value.
#pragma once

#include "tests/chk/ChunkBytes.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pack_test {

using chk_test::Bytes;

// ---- Flat packs ----

// A flat-pack string: its byte count, then the bytes as given.
Bytes FlatString(const Bytes& raw);
// ANSI text with its terminating zero.
Bytes AnsiString(const std::string& text);
// UTF-16LE text with its terminating zero unit.
Bytes WideString(const std::wstring& text);
// A string of either kind.
Bytes PackString(const std::wstring& text, bool wide);

struct FlatEntry {
    Bytes key, text, third, fourth;  // encoded strings
    uint32_t flags = 1;
    Bytes extra;                          // fields of a later layout, after the flags
    std::optional<uint32_t> entryLength;  // the real one unless given
};

struct FlatPack {
    std::string signature = "LANGPCK2";
    uint32_t version = 1;
    uint32_t layout = 1;
    Bytes headerStrings[4];  // encoded: first and second description, native name, comment
    uint32_t headerPadding = 0;
    std::optional<uint32_t> headerLength;  // the real one unless given
    std::optional<uint32_t> entryCount;    // the real one unless given
    std::vector<FlatEntry> entries;
};

Bytes FlatPackBytes(const FlatPack& pack);

// A well-formed pack with the native name and the texts given.
FlatPack MakeFlatPack(const std::string& signature, const std::wstring& nativeName,
                      const std::vector<std::pair<std::string, std::wstring>>& texts);

// ---- Resource files ----

// Count of UTF-16 units with the terminator, then the units; absent strings have count 0.
Bytes ResourceString(const std::optional<std::wstring>& text);

struct ResourceEntry {
    std::wstring key;
    std::optional<std::wstring> text;  // none: count 0
};

Bytes LangChunk(const std::wstring& tag, const std::wstring& nativeName);
Bytes ApidChunk(const std::wstring& first, const std::wstring& second);
Bytes CmntChunk(const std::wstring& comment);
Bytes DataChunk(const std::vector<ResourceEntry>& entries);
// A string table with its own "lang" and "RSID" chunks before its "data".
Bytes StmpChunk(const std::vector<ResourceEntry>& entries);
// A chunk file with the signature "URESFILE" and the root chunks given.
Bytes ResourceFile(const std::vector<Bytes>& rootChunks);

// A well-formed resource file with the language, the native name and the texts given.
Bytes MakeResourceFile(const std::wstring& tag, const std::wstring& nativeName,
                       const std::vector<std::pair<std::string, std::wstring>>& texts);

void WriteFile(const std::wstring& path, const Bytes& bytes);
Bytes ReadFileBytes(const std::wstring& path);

}  // namespace pack_test

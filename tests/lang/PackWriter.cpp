#include "tests/lang/PackWriter.h"

#include "kest/win32/Handles.h"

#include <stdexcept>

namespace pack_test {

using chk_test::Append;
using chk_test::Chunk;
using chk_test::PutU32;

Bytes FlatString(const Bytes& raw) {
    Bytes out;
    PutU32(out, static_cast<uint32_t>(raw.size()));
    Append(out, raw);
    return out;
}

Bytes AnsiString(const std::string& text) {
    Bytes raw(text.begin(), text.end());
    raw.push_back(0);
    return FlatString(raw);
}

Bytes WideString(const std::wstring& text) {
    Bytes raw;
    for (wchar_t c : text) {
        raw.push_back(static_cast<uint8_t>(c & 0xFF));
        raw.push_back(static_cast<uint8_t>(c >> 8));
    }
    raw.push_back(0);
    raw.push_back(0);
    return FlatString(raw);
}

Bytes PackString(const std::wstring& text, bool wide) {
    if (wide) return WideString(text);
    std::string ansi;
    for (wchar_t c : text) ansi += static_cast<char>(c);
    return AnsiString(ansi);
}

Bytes FlatPackBytes(const FlatPack& pack) {
    Bytes out(pack.signature.begin(), pack.signature.end());
    if (pack.signature != "LANGPACK") {
        PutU32(out, pack.version);
        PutU32(out, pack.layout);
    }
    Bytes header;
    for (const Bytes& s : pack.headerStrings) Append(header, s.empty() ? FlatString({}) : s);
    header.resize(header.size() + pack.headerPadding, 0xEE);
    PutU32(out, pack.headerLength.value_or(static_cast<uint32_t>(header.size())));
    Append(out, header);

    PutU32(out, pack.entryCount.value_or(static_cast<uint32_t>(pack.entries.size())));
    for (const FlatEntry& e : pack.entries) {
        Bytes body;
        for (const Bytes* s : {&e.key, &e.text, &e.third, &e.fourth}) Append(body, s->empty() ? FlatString({}) : *s);
        if (pack.layout >= 1 && pack.signature != "LANGPACK") {
            PutU32(body, e.flags);
            Append(body, e.extra);
            PutU32(out, e.entryLength.value_or(static_cast<uint32_t>(body.size())));
        }
        Append(out, body);
    }
    return out;
}

FlatPack MakeFlatPack(const std::string& signature, const std::wstring& nativeName,
                      const std::vector<std::pair<std::string, std::wstring>>& texts) {
    const bool wide = signature == "LANGPU16";
    FlatPack pack;
    pack.signature = signature;
    if (signature == "LANGPACK") pack.layout = 0;
    pack.headerStrings[0] = PackString(L"first", wide);
    pack.headerStrings[1] = PackString(L"second", wide);
    pack.headerStrings[2] = PackString(nativeName, wide);
    pack.headerStrings[3] = PackString(L"comment", wide);
    for (const auto& [key, text] : texts) {
        FlatEntry e;
        e.key = PackString(std::wstring(key.begin(), key.end()), wide);
        e.text = PackString(text, wide);
        pack.entries.push_back(e);
    }
    return pack;
}

Bytes ResourceString(const std::optional<std::wstring>& text) {
    Bytes out;
    if (!text) {
        PutU32(out, 0);
        return out;
    }
    PutU32(out, static_cast<uint32_t>(text->size() + 1));
    for (wchar_t c : *text) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

Bytes LangChunk(const std::wstring& tag, const std::wstring& nativeName) {
    return Chunk("lang", chk_test::Concat({ResourceString(tag), ResourceString(nativeName), ResourceString(L"")}));
}

Bytes ApidChunk(const std::wstring& first, const std::wstring& second) {
    return Chunk("apid", chk_test::Concat({ResourceString(first), ResourceString(second)}));
}

Bytes CmntChunk(const std::wstring& comment) {
    return Chunk("cmnt", ResourceString(comment));
}

Bytes DataChunk(const std::vector<ResourceEntry>& entries) {
    Bytes data;
    PutU32(data, static_cast<uint32_t>(entries.size()));
    uint32_t id = 100;
    for (const ResourceEntry& e : entries) {
        PutU32(data, id++);
        Append(data, ResourceString(e.key));
        Append(data, ResourceString(e.text));
        Append(data, ResourceString(std::nullopt));
        Append(data, ResourceString(L"note"));
    }
    return Chunk("data", data);
}

Bytes StmpChunk(const std::vector<ResourceEntry>& entries) {
    return Chunk("STMP", chk_test::Concat({LangChunk(L"xx", L"table"), Chunk("RSID", ResourceString(L"main")),
                                           DataChunk(entries)}));
}

Bytes ResourceFile(const std::vector<Bytes>& rootChunks) {
    Bytes root;
    for (const Bytes& c : rootChunks) Append(root, c);
    return chk_test::ChunkFileBytes("URESFILE", root);
}

Bytes MakeResourceFile(const std::wstring& tag, const std::wstring& nativeName,
                       const std::vector<std::pair<std::string, std::wstring>>& texts) {
    std::vector<ResourceEntry> entries;
    for (const auto& [key, text] : texts) entries.push_back({std::wstring(key.begin(), key.end()), text});
    return ResourceFile({LangChunk(tag, nativeName), ApidChunk(L"first", L"second"), CmntChunk(L"comment"),
                         StmpChunk(entries)});
}

void WriteFile(const std::wstring& path, const Bytes& bytes) {
    kest::win32::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot create a fixture file");
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (!ok || written != bytes.size()) throw std::runtime_error("cannot write a fixture file");
}

Bytes ReadFileBytes(const std::wstring& path) {
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) throw std::runtime_error("cannot open a fixture file");
    Bytes bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size())
        throw std::runtime_error("cannot read a fixture file");
    return bytes;
}

}  // namespace pack_test

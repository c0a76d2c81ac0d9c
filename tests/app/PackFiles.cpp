#include "tests/app/PackFiles.h"

#include <cstring>

namespace app_tests {

namespace {

using Bytes = std::vector<unsigned char>;

void PutU32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void PutI64(Bytes& out, int64_t value) {
    const auto v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

Bytes Chunk(const char* id, const Bytes& data) {
    Bytes out(id, id + 4);
    PutI64(out, static_cast<int64_t>(data.size()));
    Append(out, data);
    return out;
}

// Count of UTF-16 units with the terminator, then the units.
void PutResourceString(Bytes& out, const std::wstring& text) {
    PutU32(out, static_cast<uint32_t>(text.size() + 1));
    for (wchar_t c : text) {
        out.push_back(static_cast<unsigned char>(c & 0xFF));
        out.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    out.push_back(0);
    out.push_back(0);
}

// Byte count with the terminator, then the UTF-16 bytes.
void PutFlatString(Bytes& out, const std::wstring& text) {
    PutU32(out, static_cast<uint32_t>((text.size() + 1) * 2));
    for (wchar_t c : text) {
        out.push_back(static_cast<unsigned char>(c & 0xFF));
        out.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    out.push_back(0);
    out.push_back(0);
}

std::wstring Widen(const std::string& key) {
    return std::wstring(key.begin(), key.end());
}

}  // namespace

std::vector<unsigned char> ResourcePackBytes(const std::wstring& tag, const std::wstring& nativeName,
                                             const std::wstring& comment, const PackTexts& texts) {
    Bytes lang;
    PutResourceString(lang, tag);
    PutResourceString(lang, nativeName);
    PutResourceString(lang, L"");
    Bytes apid;
    PutResourceString(apid, L"OrdaviaStudio");
    PutResourceString(apid, L"test pack");
    Bytes cmnt;
    PutResourceString(cmnt, comment);
    Bytes data;
    PutU32(data, static_cast<uint32_t>(texts.size()));
    for (const auto& [key, text] : texts) {
        PutU32(data, 0);
        PutResourceString(data, Widen(key));
        PutResourceString(data, text);
        PutResourceString(data, L"");
        PutResourceString(data, L"");
    }
    Bytes root = Chunk("lang", lang);
    Append(root, Chunk("apid", apid));
    Append(root, Chunk("cmnt", cmnt));
    Append(root, Chunk("STMP", Chunk("data", data)));

    Bytes file{'U', 'R', 'E', 'S', 'F', 'I', 'L', 'E'};
    PutI64(file, static_cast<int64_t>(root.size()));
    Append(file, root);
    return file;
}

std::vector<unsigned char> FlatPackBytes(const std::wstring& nativeName, const std::wstring& comment,
                                         const PackTexts& texts) {
    Bytes header;
    PutFlatString(header, L"OrdaviaStudio");
    PutFlatString(header, L"test pack");
    PutFlatString(header, nativeName);
    PutFlatString(header, comment);
    Bytes file{'L', 'A', 'N', 'G', 'P', 'U', '1', '6'};
    PutU32(file, 0);  // version
    PutU32(file, 0);  // entry layout: every entry used
    PutU32(file, static_cast<uint32_t>(header.size()));
    Append(file, header);
    PutU32(file, static_cast<uint32_t>(texts.size()));
    for (const auto& [key, text] : texts) {
        PutFlatString(file, Widen(key));
        PutFlatString(file, text);
        PutFlatString(file, L"");
        PutFlatString(file, L"");
    }
    return file;
}

}  // namespace app_tests

// Resource files: a chunk file with the signature "URESFILE" whose string tables ("STMP") hold
// the texts. Every chunk the reader uses is read whole into memory after its declared size was
// checked against its parent chunk and the file, and every string's count against what is left
// of its chunk; a file that fails a check is refused.
#include "chk/ChunkFile.h"
#include "chk/KestFileStream.h"
#include "lang/LangPack.h"
#include "lang/PackText.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace {

constexpr chk::ChunkId kLang = chk::MakeChunkId("lang");
constexpr chk::ChunkId kApid = chk::MakeChunkId("apid");
constexpr chk::ChunkId kCmnt = chk::MakeChunkId("cmnt");
constexpr chk::ChunkId kStmp = chk::MakeChunkId("STMP");
constexpr chk::ChunkId kRsid = chk::MakeChunkId("RSID");
constexpr chk::ChunkId kData = chk::MakeChunkId("data");

struct FormatError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A string of the resource file inside a chunk's bytes: the units without the terminating one
// (which the reader forces to zero); absent when its count is 0.
struct ResourceString {
    const uint8_t* units = nullptr;
    size_t count = 0;  // without the terminator
    bool present = false;

    // The key as the map keeps it; plain ASCII, the usual case, goes straight across.
    void KeyInto(std::string& key, std::wstring& scratch) const {
        key.resize(count);
        for (size_t i = 0; i < count; ++i) {
            if (units[2 * i + 1] != 0 || units[2 * i] >= 0x80) {
                TextInto(scratch);
                key = KeyToUtf8(scratch.data(), scratch.size());
                return;
            }
            key[i] = static_cast<char>(units[2 * i]);
        }
    }

    void TextInto(std::wstring& text) const {
        text.resize(count);
        for (size_t i = 0; i < count; ++i) text[i] = static_cast<wchar_t>(units[2 * i] | units[2 * i + 1] << 8);
    }

    std::wstring Text() const {
        std::wstring text;
        TextInto(text);
        return text;
    }
};

class CChunkReader {
public:
    CChunkReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint32_t UInt32() {
        if (m_size - m_at < 4) throw FormatError("resource file: a number runs past its chunk");
        const uint8_t* p = m_data + m_at;
        m_at += 4;
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
    }

    ResourceString String() {
        const uint32_t n = UInt32();
        ResourceString s;
        if (n == 0) return s;
        if (n > (m_size - m_at) / 2) throw FormatError("resource file: a string runs past its chunk");
        s.units = m_data + m_at;
        s.count = n - 1;
        s.present = true;
        m_at += 2 * static_cast<size_t>(n);
        return s;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// The next chunk, checked to lie within the iterator: a declared size that runs past the parent
// (or is negative, which would walk backwards for ever) makes the file unreadable.
bool NextChunk(chk::CChunkIterator& iterator) {
    if (!iterator.Next()) return false;
    const int64_t size = iterator.GetCurrentSize();
    const int64_t room = iterator.GetSize() - iterator.GetCurrentOffset() - chk::kChunkHeaderSize;
    if (size < 0 || size > room) throw FormatError("resource file: a chunk runs past its parent");
    return true;
}

// The current chunk (checked by NextChunk), read whole.
std::vector<uint8_t> ReadCurrentChunk(chk::CChunkIterator& iterator) {
    const int64_t size = iterator.GetCurrentSize();
    chk::TRef<chk::CChunkStream> chunk(iterator.OpenChunkStream());
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (chunk->Read(bytes.data(), size) != size) throw FormatError("resource file: a chunk runs past the file");
    return bytes;
}

// One string table, chained by key hash. Entries point into the bytes of their "data" chunk,
// which the table keeps.
class CResourceTable {
public:
    struct Entry {
        ResourceString key, text;
        int32_t next;  // index of the next entry of the bucket, -1 at the end
    };

    CResourceTable() { Clear(); }

    void Clear() {
        m_entries.clear();
        m_buckets.assign(kInitialBuckets, -1);
        m_bytes.clear();
    }

    void Load(std::vector<uint8_t> bytes) {
        Clear();
        m_bytes = std::move(bytes);
        CChunkReader reader(m_bytes.data(), m_bytes.size());
        const uint32_t count = reader.UInt32();
        // Every entry takes at least 20 bytes: the chunk's size bounds what is reserved.
        m_entries.reserve(std::min<size_t>(count, m_bytes.size() / 20));
        // Every entry takes at least 20 bytes, so the count cannot make the walk outlast the chunk.
        for (uint32_t i = 0; i < count; ++i) {
            (void)reader.UInt32();
            const ResourceString key = reader.String();
            const ResourceString text = reader.String();
            (void)reader.String();
            (void)reader.String();
            Insert(key, text);
        }
    }

    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    static constexpr size_t kInitialBuckets = 1000;

    size_t BucketOf(const ResourceString& key) const {
        return static_cast<uint32_t>(ResourceKeyHash(key.units, key.count)) % m_buckets.size();
    }

    void Insert(const ResourceString& key, const ResourceString& text) {
        m_entries.push_back(Entry{key, text, -1});
        Link(m_entries.size() - 1);
        if (m_entries.size() * 10 > m_buckets.size() * 8) {
            m_buckets.assign(m_buckets.size() * 2, -1);
            for (size_t i = 0; i < m_entries.size(); ++i) Link(i);
        }
    }

    // New entries go to the front of their bucket.
    void Link(size_t index) {
        const size_t bucket = BucketOf(m_entries[index].key);
        m_entries[index].next = m_buckets[bucket];
        m_buckets[bucket] = static_cast<int32_t>(index);
    }

    std::vector<Entry> m_entries;  // in file order
    std::vector<int32_t> m_buckets;
    std::vector<uint8_t> m_bytes;
};

struct ResourceHeader {
    std::wstring tag, nativeName, firstDescription, secondDescription, comment;
};

// Walks the root until the id; false when it is not there.
bool FindInRoot(chk::CChunkIterator& root, chk::ChunkId id) {
    root.Reset();
    while (NextChunk(root))
        if (root.GetId() == id) return true;
    return false;
}

ResourceHeader ReadResourceHeader(chk::CChunkFile& file) {
    ResourceHeader header;
    // The language chunk comes first; only "RSID" chunks may stand before it.
    file.Reset();
    while (NextChunk(file)) {
        if (file.GetId() == kRsid) continue;
        if (file.GetId() == kLang) {
            const std::vector<uint8_t> bytes = ReadCurrentChunk(file);
            CChunkReader reader(bytes.data(), bytes.size());
            header.tag = reader.String().Text();
            header.nativeName = reader.String().Text();
        }
        break;
    }
    if (FindInRoot(file, kApid)) {
        const std::vector<uint8_t> bytes = ReadCurrentChunk(file);
        CChunkReader reader(bytes.data(), bytes.size());
        header.firstDescription = reader.String().Text();
        header.secondDescription = reader.String().Text();
    }
    if (FindInRoot(file, kCmnt)) {
        const std::vector<uint8_t> bytes = ReadCurrentChunk(file);
        CChunkReader reader(bytes.data(), bytes.size());
        header.comment = reader.String().Text();
    }
    file.Reset();
    return header;
}

struct OpenResourceFile {
    chk::TRef<chk::CKestFileStream> stream;
    chk::TRef<chk::CChunkFile> file;

    explicit OpenResourceFile(const std::wstring& path) : stream(chk::CKestFileStream::Open(path)) {
        file = chk::TRef<chk::CChunkFile>(chk::CChunkFile::Open(stream.Get()));
        if (std::memcmp(file->GetSignature(), "URESFILE", 8) != 0) throw FormatError("not a resource file");
        const int64_t room = stream->GetSize() - file->GetStart();
        if (file->GetSize() < 0 || file->GetSize() > room) throw FormatError("resource file: the root runs past the file");
    }
};

}  // namespace

int32_t ResourceKeyHash(const uint8_t* utf16le, size_t units) {
    uint32_t h = 0;
    for (size_t i = 0; i < units; ++i) {
        const uint32_t c = static_cast<uint32_t>(utf16le[2 * i] | utf16le[2 * i + 1] << 8);
        // The right shift keeps the sign, as on the signed value.
        const uint32_t shifted = static_cast<uint32_t>(static_cast<int32_t>(h) >> 2);
        h ^= (h << 5) + shifted + c;
    }
    return static_cast<int32_t>(h);
}

bool CLangPack2::ReadHeader(const std::wstring& path) {
    try {
        OpenResourceFile resource(path);
        ResourceHeader header = ReadResourceHeader(*resource.file);
        m_firstDescription = std::move(header.firstDescription);
        m_secondDescription = std::move(header.secondDescription);
        m_comment = std::move(header.comment);
        m_tag = LanguageTag(header.tag);
        m_nativeName = std::move(header.nativeName);
        m_filePath = path;
        return true;
    } catch (...) {
        return false;
    }
}

bool CLangPack2::LoadTexts(const std::wstring& path, bool clear) {
    if (clear) Clear();
    m_loaded = false;
    try {
        OpenResourceFile resource(path);
        chk::CChunkFile& file = *resource.file;
        ResourceHeader header = ReadResourceHeader(file);

        // Each table replaces the one before: with several, the last one's texts remain.
        CResourceTable table;
        while (NextChunk(file)) {
            if (file.GetId() != kStmp) continue;
            chk::TRef<chk::CChunkIterator> stmp(file.OpenChunkIterator());
            stmp->Reset();
            while (NextChunk(*stmp)) {
                if (stmp->GetId() != kData) continue;
                table.Load(ReadCurrentChunk(*stmp));
                break;
            }
        }

        m_firstDescription = std::move(header.firstDescription);
        m_secondDescription = std::move(header.secondDescription);
        m_comment = std::move(header.comment);
        m_tag = LanguageTag(header.tag);
        m_nativeName = std::move(header.nativeName);
        m_filePath = path;
        ReserveTexts(table.Entries().size());
        std::string key;
        std::wstring text, scratch;
        for (const CResourceTable::Entry& entry : table.Entries()) {
            if (!entry.text.present) continue;
            entry.key.KeyInto(key, scratch);
            entry.text.TextInto(text);
            StoreText(key, text);
        }
        m_loaded = true;
        return true;
    } catch (...) {
        return false;
    }
}

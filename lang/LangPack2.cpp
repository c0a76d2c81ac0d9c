// Resource files: a chunk file with the signature "URESFILE" whose string tables ("STMP") hold
// the texts. Every chunk the reader uses lies whole in memory (read, or in the mapped file) after
// its declared size was checked against its parent chunk, the file and the most a pack can be,
// and every string's count against what is left of its chunk; a file that fails a check is
// refused. A table's texts are used where they lie: the pack's text table keeps the bytes.
#include "chk/ChunkFile.h"
#include "lang/LangPack.h"
#include "lang/PackText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
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

    // The units before the first zero one. Every string ends there, as a text used where it lies
    // does: a tag or key with units after an embedded zero must match the one without them.
    size_t Length() const {
        size_t n = 0;
        while (n < count && (units[2 * n] | units[2 * n + 1]) != 0) ++n;
        return n;
    }

    std::wstring Text() const {
        const size_t length = Length();
        std::wstring text(length, L'\0');
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<wchar_t>(units[2 * i] | units[2 * i + 1] << 8);
        return text;
    }
};

// A chunk's bytes as UTF-16 units, so that its strings can be used where they lie: in the mapped
// file, or in a buffer the chunk was read into; owner keeps them.
struct ChunkBytes {
    TextUnit* units = nullptr;
    size_t size = 0;  // in bytes
    std::shared_ptr<void> owner;

    const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(units); }

    // The string as a terminated text in place. Every field of a chunk is a 4-byte number or a
    // number followed by whole units, so a string starts at an even offset of its chunk.
    const TextUnit* InPlace(const ResourceString& s) {
        TextUnit* text = units + (s.units - Data()) / 2;
        // Written only when needed: a write into the mapped file copies its page.
        if (text[s.count] != 0) text[s.count] = 0;
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

// The size of the current chunk (checked by NextChunk) that is to be taken whole: one larger than
// a pack can be is refused, wherever it lies.
int64_t WholeChunkSize(const chk::CChunkIterator& iterator) {
    const int64_t size = iterator.GetCurrentSize();
    if (size > kMaxPackBytes) throw FormatError("resource file: a chunk is larger than a pack can be");
    return size;
}

// The current chunk (checked by NextChunk), read whole.
ChunkBytes ReadCurrentChunk(chk::CChunkIterator& iterator) {
    const int64_t size = WholeChunkSize(iterator);
    chk::TRef<chk::CChunkStream> chunk(iterator.OpenChunkStream());
    std::unique_ptr<TextUnit[]> buffer = MakeUnitBuffer(size);
    if (!buffer) throw FormatError("resource file: a chunk is larger than a pack can be");
    if (chunk->Read(buffer.get(), size) != size) throw FormatError("resource file: a chunk runs past the file");
    TextUnit* units = buffer.get();
    return ChunkBytes{units, static_cast<size_t>(size), std::shared_ptr<void>(std::move(buffer))};
}

// The current chunk where it lies in the file's bytes in memory; read through the stream when it
// starts at an odd offset (its texts could not be used in place) or the bytes are not there.
ChunkBytes CurrentChunkIn(const PackBytes& file, chk::CChunkIterator& iterator) {
    const int64_t size = WholeChunkSize(iterator);
    const int64_t start = chk::TRef<chk::CChunkStream>(iterator.OpenChunkStream())->GetStart();
    if (!file.data || start % 2 != 0 || start < 0 || size > static_cast<int64_t>(file.size) - start)
        return ReadCurrentChunk(iterator);
    return ChunkBytes{reinterpret_cast<TextUnit*>(file.data + start), static_cast<size_t>(size), file.owner};
}

// One string table: every entry whose text is present, in file order, so that a later entry
// for the same key replaces an earlier one. The texts stay in the chunk's bytes, which the
// table keeps.
std::unique_ptr<LangTextTable> ReadStringTable(ChunkBytes bytes) {
    auto table = std::make_unique<LangTextTable>();
    CChunkReader reader(bytes.Data(), bytes.size);
    const uint32_t count = reader.UInt32();
    // Every entry takes at least 20 bytes, so the chunk's size bounds what is reserved, and the
    // count cannot make the walk outlast the chunk.
    table->Reserve(std::min<size_t>(count, bytes.size / 20));
    std::string key;
    for (uint32_t i = 0; i < count; ++i) {
        (void)reader.UInt32();
        const ResourceString keyString = reader.String();
        const ResourceString text = reader.String();
        (void)reader.String();
        (void)reader.String();
        if (!text.present) continue;
        Utf16KeyInto(key, keyString.units, keyString.Length());
        table->Put(key, bytes.InPlace(text));
    }
    table->Keep(std::move(bytes.owner));
    return table;
}

struct ResourceHeader {
    std::wstring tag, nativeName, firstDescription, secondDescription, comment;
};

// One walk over the root, which ends once the descriptive strings and the comment were found.
ResourceHeader ReadResourceHeader(chk::CChunkFile& file) {
    ResourceHeader header;
    bool first = true, haveApid = false, haveCmnt = false;
    file.Reset();
    while (!(haveApid && haveCmnt) && NextChunk(file)) {
        const chk::ChunkId id = file.GetId();
        // The language chunk comes first; only "RSID" chunks may stand before it.
        if (first && id != kRsid) {
            first = false;
            if (id == kLang) {
                const ChunkBytes bytes = ReadCurrentChunk(file);
                CChunkReader reader(bytes.Data(), bytes.size);
                header.tag = reader.String().Text();
                header.nativeName = reader.String().Text();
                continue;
            }
        }
        // The descriptive strings and the comment may stand anywhere; the first of each counts.
        if (id == kApid && !haveApid) {
            haveApid = true;
            const ChunkBytes bytes = ReadCurrentChunk(file);
            CChunkReader reader(bytes.Data(), bytes.size);
            header.firstDescription = reader.String().Text();
            header.secondDescription = reader.String().Text();
        } else if (id == kCmnt && !haveCmnt) {
            haveCmnt = true;
            const ChunkBytes bytes = ReadCurrentChunk(file);
            CChunkReader reader(bytes.Data(), bytes.size);
            header.comment = reader.String().Text();
        }
    }
    file.Reset();
    return header;
}

// The resource file's chunks over the stream, checked to be a resource file whose root lies
// within the stream.
chk::TRef<chk::CChunkFile> OpenResourceChunks(chk::IStream& stream) {
    stream.Seek(0);
    chk::TRef<chk::CChunkFile> file(chk::CChunkFile::Open(&stream));
    if (std::memcmp(file->GetSignature(), "URESFILE", 8) != 0) throw FormatError("not a resource file");
    const int64_t room = stream.GetSize() - file->GetStart();
    if (file->GetSize() < 0 || file->GetSize() > room) throw FormatError("resource file: the root runs past the file");
    return file;
}

// Takes the header's strings into the pack's fields.
struct HeaderFields {
    std::wstring &firstDescription, &secondDescription, &comment, &nativeName, &filePath;
    LanguageTag& tag;

    void Take(ResourceHeader header, const std::wstring& path) {
        firstDescription = std::move(header.firstDescription);
        secondDescription = std::move(header.secondDescription);
        comment = std::move(header.comment);
        tag = LanguageTag(header.tag);
        nativeName = std::move(header.nativeName);
        filePath = path;
    }
};

}  // namespace

bool CLangPack2::ReadHeaderFrom(const std::wstring& path, chk::IStream& stream) {
    try {
        chk::TRef<chk::CChunkFile> file = OpenResourceChunks(stream);
        HeaderFields{m_firstDescription, m_secondDescription, m_comment, m_nativeName, m_filePath, m_tag}.Take(
            ReadResourceHeader(*file), path);
        return true;
    } catch (...) {
        return false;
    }
}

bool CLangPack2::LoadTextsFrom(const std::wstring& path, chk::IStream& stream, const PackBytes& bytes, bool clear) {
    if (clear) Clear();
    m_loaded = false;
    try {
        chk::TRef<chk::CChunkFile> resource = OpenResourceChunks(stream);
        chk::CChunkFile& file = *resource;
        ResourceHeader header = ReadResourceHeader(file);

        // Each table replaces the one before: with several, the last one's texts remain.
        std::unique_ptr<LangTextTable> texts;
        while (NextChunk(file)) {
            if (file.GetId() != kStmp) continue;
            chk::TRef<chk::CChunkIterator> stmp(file.OpenChunkIterator());
            stmp->Reset();
            while (NextChunk(*stmp)) {
                if (stmp->GetId() != kData) continue;
                texts = ReadStringTable(CurrentChunkIn(bytes, *stmp));
                break;
            }
        }

        HeaderFields{m_firstDescription, m_secondDescription, m_comment, m_nativeName, m_filePath, m_tag}.Take(
            std::move(header), path);
        // Without clear the texts read before stay, unless this file has the same keys.
        if (m_texts)
            m_texts->PutAll(std::move(texts));
        else
            m_texts = std::move(texts);
        m_loaded = true;
        return true;
    } catch (...) {
        return false;
    }
}

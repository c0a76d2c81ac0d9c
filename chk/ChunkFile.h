// Chunk files: a tree of tagged, length-prefixed chunks in one random-access stream.
//
// File: 8-byte signature, 64-bit root data size, root data. Chunk: 4-byte id, 64-bit data size,
// data (raw bytes or child chunks, as the reader knows from the id). All little-endian.
//
//     CChunkFile* file = CChunkFile::Open(stream);        // count 1: the caller releases
//     file->Reset();
//     while (file->Next())
//         if (file->GetId() == MakeChunkId("STMP")) { CChunkIterator* table = file->OpenChunkIterator(); ... }
//
// Every chunk is a stream of its own: writing past its end, or inserting or removing space,
// moves the chunks behind it and resizes every chunk that contains it. Open objects keep each
// other consistent through the listener protocol below, and each chunk writes its new size into
// its header when its last reference goes.
#pragma once

#include "chk/Stream.h"

#include <cstdint>

namespace chk {

using ChunkId = uint32_t;

// The id of four ASCII characters in reading order ("lang" is the bytes 6C 61 6E 67).
constexpr ChunkId MakeChunkId(const char (&text)[5]) {
    return static_cast<ChunkId>(static_cast<uint8_t>(text[0])) |
           static_cast<ChunkId>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<ChunkId>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<ChunkId>(static_cast<uint8_t>(text[3])) << 24;
}

inline constexpr int64_t kChunkHeaderSize = 12;

// Told about space inserted into or removed from the underlying stream. position is absolute in
// that stream; source is the object that made the change, or null.
class IChunkSpaceListener : public virtual IInterface {
public:
    virtual void SpaceInserted(IChunkSpaceListener* source, int64_t position, int64_t count) = 0;
    virtual void SpaceRemoved(IChunkSpaceListener* source, int64_t position, int64_t count) = 0;
};

class CChunkStream;

// What a chunk's parent offers its open children.
class IChunkHolder : public virtual IInterface, public virtual IChunkSpaceListener {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;
    virtual void ChildClosed(CChunkStream* child) = 0;
};

// One chunk's data as a stream. Reads are not clipped at the chunk's end (only the position
// is), and sizes are trusted: readers of untrusted files check declared sizes themselves.
class CChunkStream : public IStream, public virtual IChunkSpaceListener {
public:
    void AddRef() override;
    void Release() override;
    int64_t GetPosition() override { return m_position; }
    int64_t GetSize() override { return m_size; }
    int64_t Seek(int64_t position) override;
    void Write(const void* buffer, int64_t count) override;
    int64_t Read(void* buffer, int64_t count) override;
    void InsertSpace(int64_t count) override;
    void RemoveSpace(int64_t count) override;

    void SpaceInserted(IChunkSpaceListener* source, int64_t position, int64_t count) override;
    void SpaceRemoved(IChunkSpaceListener* source, int64_t position, int64_t count) override;

    // Absolute offset of the data in the underlying stream.
    int64_t GetStart() const { return m_start; }
    // True once the chunk's area was removed from the file.
    bool IsDetached() const { return m_detached; }
    // Writes a changed size into the header now, so that a failure raises here; the last
    // Release does the same but cannot report a failure.
    void CommitSize();

protected:
    CChunkStream(IChunkHolder* parent, IStream* stream, int64_t start, int64_t size);
    ~CChunkStream() override;
    CChunkStream(const CChunkStream&) = delete;
    CChunkStream& operator=(const CChunkStream&) = delete;

    void ApplyInserted(int64_t position, int64_t count);
    void ApplyRemoved(int64_t position, int64_t count);
    IChunkHolder* Parent() const { return m_parent; }
    IStream* Underlying() const { return m_stream; }

private:
    friend class CChunkIterator;

    IChunkHolder* m_parent;  // referenced; null for the file
    IStream* m_stream;       // referenced
    int64_t m_start;
    int64_t m_size;
    int64_t m_position = 0;
    int64_t m_storedSize;
    long m_count = 1;
    CChunkStream* m_nextSibling = nullptr;
    CChunkStream* m_previousSibling = nullptr;
    bool m_detached = false;
};

// Walks the chunks inside its own data.
class CChunkIterator : public CChunkStream, public IChunkHolder {
public:
    void AddRef() override { CChunkStream::AddRef(); }
    void Release() override { CChunkStream::Release(); }

    // Back to before the first chunk.
    void Reset();
    // To the next chunk; false when no complete chunk header follows. A walk that ended on a
    // chunk whose size leads nowhere (negative, or past what an offset or the underlying
    // stream can address) stays ended
    // until Reset.
    bool Next();
    ChunkId GetId() const { return m_currentId; }
    // The current chunk's data size as its header (or its open, resized stream) gives it.
    int64_t GetCurrentSize() const { return m_currentSize; }
    // Offset of the current chunk's header within this iterator's data.
    int64_t GetCurrentOffset() const { return m_currentOffset; }
    bool IsCurrentValid() const { return m_currentValid; }
    // The current chunk as a new stream, or as an iterator over its children (count 1, the
    // caller releases). Without a current chunk they raise std::logic_error.
    CChunkStream* OpenChunkStream();
    CChunkIterator* OpenChunkIterator();

    void SpaceInserted(IChunkSpaceListener* source, int64_t position, int64_t count) override;
    void SpaceRemoved(IChunkSpaceListener* source, int64_t position, int64_t count) override;
    void ChildClosed(CChunkStream* child) override;

protected:
    CChunkIterator(IChunkHolder* parent, IStream* stream, int64_t start, int64_t size);
    ~CChunkIterator() override;

private:
    void Link(CChunkStream* child);

    CChunkStream* m_children = nullptr;  // newest first
    ChunkId m_currentId = 0;
    int64_t m_currentSize = 0;
    int64_t m_currentOffset = 0;
    bool m_currentValid = false;
    bool m_walkBroken = false;  // ended on a size that leads nowhere
    // When set, a child that ends exactly where space is inserted keeps its size.
    bool m_skipChildEndingAtInsertion = false;
};

// The root: the file's signature and its root data.
class CChunkFile : public CChunkIterator {
public:
    // Reads the 16-byte file header at the stream's position and returns the file (count 1).
    // The signature is not checked. A stream shorter than the header raises std::runtime_error.
    static CChunkFile* Open(IStream* stream);
    // Eight characters and a terminating zero.
    const char* GetSignature() const { return m_signature; }

private:
    CChunkFile(IStream* stream, int64_t start, int64_t size, const char* signature);

    char m_signature[9] = {};
};

// Holds one reference to a chunk-library object and releases it when it goes.
template <typename T>
class TRef {
public:
    TRef() noexcept = default;
    // Takes over the caller's reference (a freshly opened object).
    explicit TRef(T* p) noexcept : m_p(p) {}
    TRef(const TRef&) = delete;
    TRef& operator=(const TRef&) = delete;
    TRef(TRef&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    TRef& operator=(TRef&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }
    ~TRef() { Reset(); }
    void Reset() noexcept {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T& operator*() const noexcept { return *m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

}  // namespace chk

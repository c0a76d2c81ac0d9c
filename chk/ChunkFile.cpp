#include "chk/ChunkFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace chk {

namespace {

int64_t ReadInt64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return static_cast<int64_t>(v);
}

void StoreInt64(uint8_t* p, int64_t value) {
    auto v = static_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// start + offset when the underlying stream can address it. A chunk's declared size is
// trusted, so a position inside it can lie beyond any real stream.
bool Absolute(int64_t start, int64_t offset, int64_t& absolute) {
    if (offset < 0 || start < 0 || offset > std::numeric_limits<int64_t>::max() - start) return false;
    absolute = start + offset;
    return true;
}

}  // namespace

// ---- CChunkStream ----

CChunkStream::CChunkStream(IChunkHolder* parent, IStream* stream, int64_t start, int64_t size)
    : m_parent(parent), m_stream(stream), m_start(start), m_size(size), m_storedSize(size) {
    if (m_parent) m_parent->AddRef();
    m_stream->AddRef();
}

CChunkStream::~CChunkStream() = default;

void CChunkStream::AddRef() {
    ++m_count;
}

void CChunkStream::CommitSize() {
    if (m_size == m_storedSize || m_detached) return;
    uint8_t bytes[8];
    StoreInt64(bytes, m_size);
    m_stream->Seek(m_start - 8);
    m_stream->Write(bytes, 8);
    m_storedSize = m_size;
}

// The last release closes the chunk: its size goes into its header, its parent forgets it.
// Release cannot report a failure (it runs from owners' destructors); a writer that must know
// whether the size reached the file calls CommitSize first.
void CChunkStream::Release() {
    if (--m_count != 0) return;
    try {
        CommitSize();
    } catch (...) {
    }
    IChunkHolder* parent = m_parent;
    IStream* stream = m_stream;
    if (parent) parent->ChildClosed(this);
    delete this;
    if (parent) parent->Release();
    stream->Release();
}

int64_t CChunkStream::Seek(int64_t position) {
    m_position = position;
    return m_position;
}

int64_t CChunkStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    // Nothing lies where no stream can reach.
    int64_t at = 0;
    if (!Absolute(m_start, m_position, at)) return 0;
    m_stream->Seek(at);
    const int64_t got = m_stream->Read(buffer, count);
    m_position = m_position >= m_size || count >= m_size - m_position ? m_size : m_position + count;
    return got;
}

void CChunkStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return;
    if (m_position + count > m_size) {
        const int64_t grow = m_position + count - m_size;
        m_stream->Seek(m_start + m_size);
        m_stream->InsertSpace(grow);
        const int64_t at = m_start + m_size;
        m_size += grow;
        // The parent passes the notice on to this chunk's siblings and up to the file.
        if (m_parent) m_parent->SpaceInserted(this, at, grow);
    }
    m_stream->Seek(m_start + m_position);
    m_stream->Write(buffer, count);
    m_position += count;
}

void CChunkStream::InsertSpace(int64_t count) {
    if (count <= 0) return;
    m_stream->Seek(m_start + m_position);
    m_stream->InsertSpace(count);
    SpaceInserted(this, m_start + m_position, count);
}

void CChunkStream::RemoveSpace(int64_t count) {
    if (count <= 0) return;
    m_stream->Seek(m_start + m_position);
    m_stream->RemoveSpace(count);
    SpaceRemoved(this, m_start + m_position, count);
}

void CChunkStream::ApplyInserted(int64_t position, int64_t count) {
    if (position >= m_start) {
        if (position <= m_start + m_size) m_size += count;
    } else {
        m_start += count;
    }
}

void CChunkStream::ApplyRemoved(int64_t position, int64_t count) {
    if (position >= m_start) {
        if (position <= m_start + m_size) m_size -= count;
    } else if (position + count < m_start + m_size) {
        m_start -= count;
    } else {
        m_detached = true;
    }
}

void CChunkStream::SpaceInserted(IChunkSpaceListener* source, int64_t position, int64_t count) {
    ApplyInserted(position, count);
    if (source && m_parent) m_parent->SpaceInserted(this, position, count);
}

void CChunkStream::SpaceRemoved(IChunkSpaceListener* source, int64_t position, int64_t count) {
    ApplyRemoved(position, count);
    if (source && m_parent) m_parent->SpaceRemoved(this, position, count);
}

// ---- CChunkIterator ----

CChunkIterator::CChunkIterator(IChunkHolder* parent, IStream* stream, int64_t start, int64_t size)
    : CChunkStream(parent, stream, start, size) {}

CChunkIterator::~CChunkIterator() {
    // Children hold their parent, so none is open when the iterator goes.
}

void CChunkIterator::Reset() {
    Seek(0);
    m_currentOffset = 0;
    m_currentSize = 0;
    m_currentId = 0;
    m_currentValid = false;
    m_walkBroken = false;
}

namespace {

// The offset of the chunk behind the one at offset with the given data size; false when there
// is none to be found there: a negative size would walk back to this chunk for ever, and one so
// large that the next offset cannot be expressed points nowhere.
bool FollowingOffset(int64_t offset, int64_t size, int64_t& following) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    if (size < 0 || offset < 0 || offset > kMax - kChunkHeaderSize - size) return false;
    following = offset + kChunkHeaderSize + size;
    return true;
}

}  // namespace

bool CChunkIterator::Next() {
    // A walk that ran into a broken size has nowhere to go on from: it stays ended until Reset.
    if (m_walkBroken) return false;
    int64_t candidate = m_currentOffset;
    // A size that leads past what the underlying stream can address leads nowhere either.
    int64_t absolute = 0;
    if (m_currentValid &&
        (!FollowingOffset(m_currentOffset, m_currentSize, candidate) || !Absolute(GetStart(), candidate, absolute))) {
        m_walkBroken = true;
        m_currentId = 0;
        m_currentSize = 0;
        m_currentValid = false;
        return false;
    }
    Seek(candidate);
    uint8_t header[kChunkHeaderSize] = {};
    // A header cut short by the end of the underlying stream ends the walk like a missing one.
    if (GetSize() < kChunkHeaderSize || GetSize() - kChunkHeaderSize < GetPosition() ||
        Read(header, kChunkHeaderSize) != kChunkHeaderSize) {
        m_currentId = 0;
        m_currentSize = 0;
        m_currentValid = false;
        m_currentOffset = candidate;
        return false;
    }
    m_currentOffset = candidate;
    m_currentId = static_cast<ChunkId>(header[0]) | static_cast<ChunkId>(header[1]) << 8 |
                  static_cast<ChunkId>(header[2]) << 16 | static_cast<ChunkId>(header[3]) << 24;
    m_currentSize = ReadInt64(header + 4);
    // A child that was resized and is still open knows the true size.
    const int64_t dataStart = GetStart() + m_currentOffset + kChunkHeaderSize;
    for (CChunkStream* child = m_children; child; child = child->m_nextSibling) {
        if (child->GetStart() == dataStart) {
            m_currentSize = child->GetSize();
            break;
        }
    }
    m_currentValid = true;
    return true;
}

namespace {

// Creatable only here: the constructors are protected so that every object lives on the heap
// with the reference count that its last Release ends.
class CPlainChunk final : public CChunkStream {
public:
    CPlainChunk(IChunkHolder* parent, IStream* stream, int64_t start, int64_t size)
        : CChunkStream(parent, stream, start, size) {}
};

class CNestedChunk final : public CChunkIterator {
public:
    CNestedChunk(IChunkHolder* parent, IStream* stream, int64_t start, int64_t size)
        : CChunkIterator(parent, stream, start, size) {}
};

}  // namespace

void CChunkIterator::Link(CChunkStream* child) {
    child->m_nextSibling = m_children;
    child->m_previousSibling = nullptr;
    if (m_children) m_children->m_previousSibling = child;
    m_children = child;
}

CChunkStream* CChunkIterator::OpenChunkStream() {
    if (!m_currentValid) throw std::logic_error("chunk iterator: no current chunk");
    CChunkStream* child = new CPlainChunk(this, Underlying(), GetStart() + m_currentOffset + kChunkHeaderSize,
                                          m_currentSize);
    Link(child);
    return child;
}

CChunkIterator* CChunkIterator::OpenChunkIterator() {
    if (!m_currentValid) throw std::logic_error("chunk iterator: no current chunk");
    CChunkIterator* child = new CNestedChunk(this, Underlying(), GetStart() + m_currentOffset + kChunkHeaderSize,
                                             m_currentSize);
    Link(child);
    return child;
}

void CChunkIterator::ChildClosed(CChunkStream* child) {
    if (child->m_previousSibling)
        child->m_previousSibling->m_nextSibling = child->m_nextSibling;
    else if (m_children == child)
        m_children = child->m_nextSibling;
    if (child->m_nextSibling) child->m_nextSibling->m_previousSibling = child->m_previousSibling;
    child->m_nextSibling = child->m_previousSibling = nullptr;
}

// The current chunk's offset is relative to this iterator's data, so only space that lies
// inside that data can move or resize it; space before the iterator moves the iterator itself.
void CChunkIterator::SpaceInserted(IChunkSpaceListener* source, int64_t position, int64_t count) {
    const int64_t start = GetStart();
    ApplyInserted(position, count);
    if (position >= start) {
        const int64_t headerStart = start + m_currentOffset;
        const int64_t dataStart = headerStart + kChunkHeaderSize;
        if (m_currentValid) {
            if (position > headerStart && position >= dataStart && position <= dataStart + m_currentSize)
                m_currentSize += count;
            else if (position <= headerStart)
                m_currentOffset += count;
        } else if (position <= headerStart) {
            m_currentOffset += count;
        }
    }
    for (CChunkStream* child = m_children; child; child = child->m_nextSibling) {
        if (child == source) continue;
        if (m_skipChildEndingAtInsertion && child->GetStart() + child->GetSize() == position) continue;
        child->SpaceInserted(nullptr, position, count);
    }
    if (source && Parent()) Parent()->SpaceInserted(this, position, count);
}

void CChunkIterator::SpaceRemoved(IChunkSpaceListener* source, int64_t position, int64_t count) {
    const int64_t start = GetStart();
    ApplyRemoved(position, count);
    if (position >= start) {
        const int64_t headerStart = start + m_currentOffset;
        const int64_t dataStart = headerStart + kChunkHeaderSize;
        if (m_currentValid) {
            if (position < headerStart) {
                m_currentOffset -= count;
            } else if (position == headerStart) {
                m_currentValid = false;
                m_currentId = 0;
                m_currentSize = 0;
            } else if (position >= dataStart && position <= dataStart + m_currentSize) {
                m_currentSize -= count;
            }
        } else if (position <= headerStart) {
            m_currentOffset -= count;
        }
    }
    for (CChunkStream* child = m_children; child; child = child->m_nextSibling) {
        if (child == source) continue;
        child->SpaceRemoved(nullptr, position, count);
    }
    if (source && Parent()) Parent()->SpaceRemoved(this, position, count);
}

// ---- CChunkFile ----

CChunkFile::CChunkFile(IStream* stream, int64_t start, int64_t size, const char* signature)
    : CChunkIterator(nullptr, stream, start, size) {
    std::memcpy(m_signature, signature, 8);
    m_signature[8] = '\0';
}

CChunkFile* CChunkFile::Open(IStream* stream) {
    uint8_t header[16] = {};
    if (stream->Read(header, sizeof header) != static_cast<int64_t>(sizeof header))
        throw std::runtime_error("chunk file: shorter than its header");
    const int64_t dataStart = stream->GetPosition();
    return new CChunkFile(stream, dataStart, ReadInt64(header + 8), reinterpret_cast<const char*>(header));
}

}  // namespace chk

#include "chk/Stream.h"

#include <algorithm>
#include <stdexcept>

namespace chk {

void CBaseStream::AddRef() {
    ++m_count;
}

void CBaseStream::Release() {
    if (--m_count == 0) delete this;
}

uint8_t* CBaseStream::CopyBuffer() {
    if (!m_copyBuffer) {
        m_copyBuffer = std::make_unique<uint8_t[]>(static_cast<size_t>(kBlockSize));
        m_copyBufferLength = kBlockSize;
    }
    return m_copyBuffer.get();
}

void CBaseStream::MoveBlock(int64_t from, int64_t to, int64_t count) {
    uint8_t* buffer = CopyBuffer();
    Seek(from);
    if (Read(buffer, count) != count) throw std::runtime_error("chunk stream: short read while moving data");
    Seek(to);
    Write(buffer, count);
}

// The blocks go from the end towards the position, so that no byte is overwritten before it
// was copied.
void CBaseStream::InsertSpace(int64_t count) {
    if (count <= 0) return;
    const int64_t position = GetPosition();
    const int64_t end = GetSize();
    if (position > end) throw std::out_of_range("chunk stream: space inserted behind the end");
    const int64_t lastBlock = std::max(end - kBlockSize, position);
    if (lastBlock + count > end) SetSize(lastBlock + count);
    for (int64_t blockEnd = end; blockEnd > position;) {
        const int64_t blockStart = std::max(blockEnd - kBlockSize, position);
        MoveBlock(blockStart, blockStart + count, blockEnd - blockStart);
        blockEnd = blockStart;
    }
    Seek(position);
}

void CBaseStream::RemoveSpace(int64_t count) {
    if (count <= 0) return;
    const int64_t position = GetPosition();
    const int64_t end = GetSize();
    if (position > end) throw std::out_of_range("chunk stream: space removed behind the end");
    // Nothing lies behind the end to remove.
    count = std::min(count, end - position);
    if (count == 0) return;
    for (int64_t from = position + count; from < end;) {
        const int64_t n = std::min(kBlockSize, end - from);
        MoveBlock(from, from - count, n);
        from += n;
    }
    Truncate(end - count);
    Seek(position);
}

}  // namespace chk

// A chunk-library stream over bytes in memory, for the tests of the write path.
#pragma once

#include "chk/Stream.h"
#include "tests/chk/ChunkBytes.h"

#include <algorithm>
#include <stdexcept>

namespace chk_test {

class CMemoryStream final : public chk::CBaseStream {
public:
    static CMemoryStream* Create(Bytes bytes) { return new CMemoryStream(std::move(bytes)); }

    const Bytes& Data() const { return m_bytes; }
    int SetSizeCalls() const { return m_setSizeCalls; }

    int64_t GetPosition() override { return m_position; }
    int64_t GetSize() override { return static_cast<int64_t>(m_bytes.size()); }
    int64_t Seek(int64_t position) override {
        if (position < 0) throw std::out_of_range("memory stream: negative position");
        m_position = position;
        return m_position;
    }
    void Write(const void* buffer, int64_t count) override {
        const auto end = static_cast<size_t>(m_position + count);
        if (end > m_bytes.size()) m_bytes.resize(end);
        std::copy_n(static_cast<const uint8_t*>(buffer), count, m_bytes.begin() + m_position);
        m_position += count;
    }
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t available = std::max<int64_t>(0, GetSize() - m_position);
        const int64_t n = std::min(count, available);
        std::copy_n(m_bytes.begin() + m_position, n, static_cast<uint8_t*>(buffer));
        m_position += n;
        return n;
    }
    void Truncate(int64_t size) override { m_bytes.resize(static_cast<size_t>(size)); }
    void SetSize(int64_t size) override {
        ++m_setSizeCalls;
        if (size > GetSize()) m_bytes.resize(static_cast<size_t>(size));
    }

private:
    explicit CMemoryStream(Bytes bytes) : m_bytes(std::move(bytes)) {}

    Bytes m_bytes;
    int64_t m_position = 0;
    int m_setSizeCalls = 0;
};

}  // namespace chk_test

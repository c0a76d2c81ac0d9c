// A read-only chunk-library stream over the fuzzer's bytes.
#pragma once

#include "chk/Stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fuzz {

class CByteStream final : public chk::CBaseStream {
public:
    CByteStream(const uint8_t* data, size_t size) : m_data(data), m_size(static_cast<int64_t>(size)) {}

    int64_t GetPosition() override { return m_position; }
    int64_t GetSize() override { return m_size; }
    int64_t Seek(int64_t position) override {
        if (position < 0) throw std::out_of_range("byte stream: negative position");
        m_position = position;
        return m_position;
    }
    void Write(const void*, int64_t) override { throw std::logic_error("byte stream: read-only"); }
    int64_t Read(void* buffer, int64_t count) override {
        if (count < 0) throw std::invalid_argument("byte stream: negative count");
        const int64_t available = std::max<int64_t>(0, m_size - m_position);
        const int64_t n = std::min(count, available);
        if (n > 0) std::memcpy(buffer, m_data + m_position, static_cast<size_t>(n));
        m_position += n;
        return n;
    }
    void Truncate(int64_t) override { throw std::logic_error("byte stream: read-only"); }
    void SetSize(int64_t) override { throw std::logic_error("byte stream: read-only"); }

private:
    const uint8_t* m_data;
    int64_t m_size;
    int64_t m_position = 0;
};

}  // namespace fuzz

// A read-only seekable stream of the foundation library over the fuzzer's bytes, standing in for
// a disk stream: positions past the end are allowed (reads there give nothing), negative ones
// raise, as a file's do.
#pragma once

#include "kest/Error.h"
#include "kest/Stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace fuzz {

class CKestMemoryStream final : public kest::CObject, public kest::ISeekableInStream {
public:
    CKestMemoryStream(const uint8_t* data, size_t size) : m_data(data), m_size(static_cast<int64_t>(size)) {}

    int64_t GetPosition() override { return m_position; }
    int64_t GetSize() override { return m_size; }
    bool IsClosed() override { return false; }
    void Close() override {}
    kest::P<kest::IURI> GetURI() override { return nullptr; }

    void ReadFully(void* buffer, int32_t size) override {
        if (Read(buffer, size) != size) throw kest::CEndOfStreamError();
    }
    int32_t Read(void* buffer, int32_t size) override {
        if (size <= 0 || m_position >= m_size) return 0;
        const auto n = static_cast<int32_t>(std::min<int64_t>(size, m_size - m_position));
        std::memcpy(buffer, m_data + m_position, static_cast<size_t>(n));
        m_position += n;
        return n;
    }
    int64_t Skip(int64_t count) override {
        const int64_t n = std::max<int64_t>(0, std::min(count, m_size - m_position));
        m_position += n;
        return n;
    }
    bool IsAtEnd() override { return m_position >= m_size; }

    kest::P<kest::IStreamMarker> CreateMarker() override { return kest::New<CMarker>(m_position); }
    void ResetTo(kest::IStreamMarker* marker) override { SeekTo(static_cast<CMarker*>(marker)->position); }
    void SeekTo(int64_t position) override {
        if (position < 0) throw kest::CStreamError(kest::String("memory stream: negative position"), nullptr);
        m_position = position;
    }
    void SeekFromEnd(int64_t offset) override { SeekTo(m_size + offset); }
    void SeekBy(int64_t offset) override { SeekTo(m_position + offset); }

private:
    struct CMarker final : kest::CObject, kest::IStreamMarker {
        explicit CMarker(int64_t at) : position(at) {}
        int64_t position;
    };

    const uint8_t* m_data;
    int64_t m_size;
    int64_t m_position = 0;
};

}  // namespace fuzz

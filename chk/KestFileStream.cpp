#include "chk/KestFileStream.h"

#include "kest/win32/Paths.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

namespace chk {

namespace {

// The foundation's streams move at most 2 GiB in one call.
constexpr int64_t kMaxCall = std::numeric_limits<int32_t>::max();

}  // namespace

CKestFileStream::CKestFileStream(kest::IStreamBase* stream) : m_stream(stream) {
    if (!m_stream) throw std::invalid_argument("chunk file stream: no stream");
}

CKestFileStream* CKestFileStream::Open(const std::wstring& path) {
    // The same conversion the system services offer, without starting their message window.
    kest::P<kest::IURI> uri = kest::win32::PathToUri(kest::String::Copy(path.c_str()));
    kest::P<kest::ISeekableInStream> in = kest::GetStreamManager()->RequireSeekableInStream(uri.Get(), kest::kShareRead);
    return new CKestFileStream(in.Get());
}

CKestFileStream* CKestFileStream::Over(kest::IStreamBase* stream) {
    return new CKestFileStream(stream);
}

int64_t CKestFileStream::GetPosition() {
    return m_stream->GetPosition();
}

int64_t CKestFileStream::GetSize() {
    return m_stream->GetSize();
}

int64_t CKestFileStream::Seek(int64_t position) {
    kest::ISeekableStream* seekable = nullptr;
    if (auto* in = kest::Cast<kest::ISeekableInStream>(m_stream.Get()))
        seekable = in;
    else if (auto* io = kest::Cast<kest::ISeekableIOStream>(m_stream.Get()))
        seekable = io;
    else if (auto* out = kest::Cast<kest::ISeekableOutStream>(m_stream.Get()))
        seekable = out;
    if (!seekable) throw std::logic_error("chunk file stream: the stream cannot seek");
    seekable->SeekTo(position);
    return m_stream->GetPosition();
}

void CKestFileStream::Write(const void* buffer, int64_t count) {
    kest::IOutStream* out = kest::Cast<kest::IIOStream>(m_stream.Get());
    if (!out) out = kest::Cast<kest::IOutStream>(m_stream.Get());
    if (!out) throw std::logic_error("chunk file stream: the stream cannot be written");
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        const int64_t n = std::min(count, kMaxCall);
        out->Write(bytes, static_cast<int32_t>(n));
        bytes += n;
        count -= n;
    }
}

int64_t CKestFileStream::Read(void* buffer, int64_t count) {
    auto* in = kest::Cast<kest::IInStream>(m_stream.Get());
    if (!in) throw std::logic_error("chunk file stream: the stream cannot be read");
    auto* bytes = static_cast<uint8_t*>(buffer);
    int64_t total = 0;
    while (total < count) {
        const int32_t n = in->Read(bytes + total, static_cast<int32_t>(std::min(count - total, kMaxCall)));
        if (n <= 0) break;
        total += n;
    }
    return total;
}

void CKestFileStream::Truncate(int64_t) {
    throw std::logic_error("chunk file stream: a file stream cannot be truncated");
}

void CKestFileStream::SetSize(int64_t size) {
    const int64_t position = GetPosition();
    const int64_t current = GetSize();
    if (size > current) {
        const std::vector<uint8_t> zeros(static_cast<size_t>(std::min(size - current, kBlockSize)));
        Seek(current);
        for (int64_t left = size - current; left > 0;) {
            const int64_t n = std::min(left, static_cast<int64_t>(zeros.size()));
            Write(zeros.data(), n);
            left -= n;
        }
    }
    if (GetSize() != size) throw std::runtime_error("chunk file stream: the file did not reach its new size");
    Seek(position);
}

}  // namespace chk

// Walks a chunk file from arbitrary bytes: every chunk, its data (a bounded read) and, to a
// limited depth, its children read as chunks again.
#include "chk/ChunkFile.h"
#include "fuzz/MemoryStream.h"

#include <cstdint>
#include <exception>

namespace {

void Walk(chk::CChunkIterator& iterator, int depth) {
    iterator.Reset();
    int chunks = 0;
    while (iterator.Next() && ++chunks < 4096) {
        (void)iterator.GetId();
        (void)iterator.GetCurrentOffset();
        const int64_t size = iterator.GetCurrentSize();
        {
            chk::TRef<chk::CChunkStream> data(iterator.OpenChunkStream());
            uint8_t buffer[256];
            const int64_t want = size < 0 ? 0 : (size < 256 ? size : 256);
            data->Seek(0);
            data->Read(buffer, want);
        }
        if (depth < 6) {
            chk::TRef<chk::CChunkIterator> children(iterator.OpenChunkIterator());
            Walk(*children, depth + 1);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* stream = new fuzz::CByteStream(data, size);
    try {
        chk::TRef<chk::CChunkFile> file(chk::CChunkFile::Open(stream));
        (void)file->GetSignature();
        Walk(*file, 0);
    } catch (const std::exception&) {
        // A refused file is an answer, not a fault.
    }
    stream->Release();
    return 0;
}

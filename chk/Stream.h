// The chunk library's byte streams: random access, with space inserted or removed in place.
#pragma once

#include <cstdint>
#include <memory>

namespace chk {

class IInterface {
public:
    virtual ~IInterface() = default;
};

// A random-access byte stream. Objects start with one reference; the Release that drops the
// last one destroys the object. Positions, sizes and counts are signed 64-bit.
class IStream : public virtual IInterface {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;
    virtual int64_t GetPosition() = 0;
    virtual int64_t GetSize() = 0;
    // Absolute; returns the new position.
    virtual int64_t Seek(int64_t position) = 0;
    virtual void Write(const void* buffer, int64_t count) = 0;
    // Returns the number of bytes the stream gave, which is less than count at its end.
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Inserts count bytes at the current position, moving everything behind it to the end.
    virtual void InsertSpace(int64_t count) = 0;
    // Removes count bytes at the current position, moving everything behind them to the front.
    virtual void RemoveSpace(int64_t count) = 0;
};

// A stream that provides only the five primitives; the space operations are built on them by
// moving the bytes behind the position in blocks.
class CBaseStream : public IStream {
public:
    static constexpr int64_t kBlockSize = 65536;

    void AddRef() override;
    void Release() override;
    void InsertSpace(int64_t count) override;
    void RemoveSpace(int64_t count) override;

    // Cuts the stream to size bytes.
    virtual void Truncate(int64_t size) = 0;
    // Grows the stream to size bytes.
    virtual void SetSize(int64_t size) = 0;

protected:
    CBaseStream() = default;
    CBaseStream(const CBaseStream&) = delete;
    CBaseStream& operator=(const CBaseStream&) = delete;

private:
    uint8_t* CopyBuffer();
    void MoveBlock(int64_t from, int64_t to, int64_t count);

    long m_count = 1;
    std::unique_ptr<uint8_t[]> m_copyBuffer;  // allocated on the first move
    int64_t m_copyBufferLength = 0;
};

}  // namespace chk

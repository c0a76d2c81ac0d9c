// Streams of bytes, addressed by URIs and opened through the stream manager.
//
//     P<IInStream> in = GetStreamManager()->RequireInStream(uri, kShareRead);
//     in->ReadFully(header, sizeof(header));
#pragma once

#include "kest/Object.h"
#include "kest/URI.h"

#include <cstdint>

namespace kest {

// Sharing: what other openers may do with the file meanwhile.
inline constexpr int32_t kShareNone = 0;
inline constexpr int32_t kShareRead = 1;
inline constexpr int32_t kShareReadWrite = 2;  // and delete, where the system allows
// Creation.
inline constexpr int32_t kOpenExisting = 1;
inline constexpr int32_t kCreateAlways = 2;  // create or truncate
inline constexpr int32_t kOpenAlways = 3;    // open or create
// Access flags.
inline constexpr int32_t kAccessRead = 1;
inline constexpr int32_t kAccessWrite = 2;

class IStreamBase : public virtual IBase {
public:
    virtual int64_t GetPosition() = 0;
    virtual int64_t GetSize() = 0;
    virtual bool IsClosed() = 0;
    virtual void Close() = 0;
    virtual P<IURI> GetURI() = 0;
};

class IInStream : public virtual IStreamBase {
public:
    // Exactly size bytes, or CEndOfStreamError.
    virtual void ReadFully(void* buffer, int32_t size) = 0;
    // Up to size bytes; 0 at the end.
    virtual int32_t Read(void* buffer, int32_t size) = 0;
    // Moves forward by count bytes at most; returns how far it moved.
    virtual int64_t Skip(int64_t count) = 0;
    virtual bool IsAtEnd() = 0;
};

class IOutStream : public virtual IStreamBase {
public:
    virtual void Write(const void* buffer, int32_t size) = 0;
    virtual void Flush() = 0;
};

class IIOStream : public virtual IInStream, public virtual IOutStream {};

// An opaque remembered position of one stream.
class IStreamMarker : public virtual IBase {};

class IResetableStream : public virtual IStreamBase {
public:
    virtual P<IStreamMarker> CreateMarker() = 0;
    // Back to the marker's position; the marker must come from this stream.
    virtual void ResetTo(IStreamMarker* marker) = 0;
};

class ISeekableStream : public virtual IResetableStream {
public:
    virtual void SeekTo(int64_t position) = 0;
    virtual void SeekFromEnd(int64_t offset) = 0;
    virtual void SeekBy(int64_t offset) = 0;
};

class IResetableInStream : public virtual IInStream, public virtual IResetableStream {};
class ISeekableInStream : public virtual IResetableInStream, public virtual ISeekableStream {};
class IResetableOutStream : public virtual IOutStream, public virtual IResetableStream {};
class ISeekableOutStream : public virtual IResetableOutStream, public virtual ISeekableStream {};
class IResetableIOStream : public virtual IIOStream, public virtual IResetableInStream,
                           public virtual IResetableOutStream {};
class ISeekableIOStream : public virtual IResetableIOStream, public virtual ISeekableInStream,
                          public virtual ISeekableOutStream {};

// How a stream is opened: sharing, creation and access as above.
struct StreamOptions {
    int32_t sharing = kShareRead;
    int32_t creation = kOpenExisting;
    int32_t access = kAccessRead;
    bool deleteOnClose = false;
};

// Opens streams for the URIs it serves; every operation returns null for a URI it does not.
// The short forms take the usual creation and access of their kind: reading opens an existing
// file, writing creates or truncates one, reading and writing opens or creates.
class IStreamFactory : public virtual IBase {
public:
    virtual P<IInStream> OpenInStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IInStream> OpenInStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IResetableInStream> OpenResetableInStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IResetableInStream> OpenResetableInStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<ISeekableInStream> OpenSeekableInStream(IURI* uri, int32_t sharing) = 0;
    virtual P<ISeekableInStream> OpenSeekableInStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IOutStream> OpenOutStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IOutStream> OpenOutStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IResetableOutStream> OpenResetableOutStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IResetableOutStream> OpenResetableOutStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<ISeekableOutStream> OpenSeekableOutStream(IURI* uri, int32_t sharing) = 0;
    virtual P<ISeekableOutStream> OpenSeekableOutStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IIOStream> OpenIOStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IIOStream> OpenIOStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IResetableIOStream> OpenResetableIOStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IResetableIOStream> OpenResetableIOStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<ISeekableIOStream> OpenSeekableIOStream(IURI* uri, int32_t sharing) = 0;
    virtual P<ISeekableIOStream> OpenSeekableIOStream(IURI* uri, const StreamOptions& options) = 0;
};

// The kinds of stream, for factories that open them all the same way.
enum class StreamKind { In, ResetableIn, SeekableIn, Out, ResetableOut, SeekableOut, IO, ResetableIO, SeekableIO };

// Implements every operation of IStreamFactory through one: Open, which returns an object of
// (at least) the kind asked for, or null.
class CStreamFactory : public CObject, public virtual IStreamFactory {
public:
    P<IInStream> OpenInStream(IURI* uri, int32_t sharing) override;
    P<IInStream> OpenInStream(IURI* uri, const StreamOptions& options) override;
    P<IResetableInStream> OpenResetableInStream(IURI* uri, int32_t sharing) override;
    P<IResetableInStream> OpenResetableInStream(IURI* uri, const StreamOptions& options) override;
    P<ISeekableInStream> OpenSeekableInStream(IURI* uri, int32_t sharing) override;
    P<ISeekableInStream> OpenSeekableInStream(IURI* uri, const StreamOptions& options) override;
    P<IOutStream> OpenOutStream(IURI* uri, int32_t sharing) override;
    P<IOutStream> OpenOutStream(IURI* uri, const StreamOptions& options) override;
    P<IResetableOutStream> OpenResetableOutStream(IURI* uri, int32_t sharing) override;
    P<IResetableOutStream> OpenResetableOutStream(IURI* uri, const StreamOptions& options) override;
    P<ISeekableOutStream> OpenSeekableOutStream(IURI* uri, int32_t sharing) override;
    P<ISeekableOutStream> OpenSeekableOutStream(IURI* uri, const StreamOptions& options) override;
    P<IIOStream> OpenIOStream(IURI* uri, int32_t sharing) override;
    P<IIOStream> OpenIOStream(IURI* uri, const StreamOptions& options) override;
    P<IResetableIOStream> OpenResetableIOStream(IURI* uri, int32_t sharing) override;
    P<IResetableIOStream> OpenResetableIOStream(IURI* uri, const StreamOptions& options) override;
    P<ISeekableIOStream> OpenSeekableIOStream(IURI* uri, int32_t sharing) override;
    P<ISeekableIOStream> OpenSeekableIOStream(IURI* uri, const StreamOptions& options) override;

    // The creation and access a short form uses for its kind.
    static StreamOptions DefaultOptions(StreamKind kind, int32_t sharing);

protected:
    virtual P<IStreamBase> Open(StreamKind kind, IURI* uri, const StreamOptions& options) = 0;

private:
    template <typename I>
    P<I> OpenAs(StreamKind kind, IURI* uri, const StreamOptions& options);
};

// Asks its factories in the order they were registered; the first stream wins. The Require
// forms raise CFileNotFoundError for the URI where the Open forms return null.
class IStreamManager : public virtual IStreamFactory {
public:
    virtual void RegisterFactory(IStreamFactory* factory) = 0;
    virtual void UnregisterFactory(IStreamFactory* factory) = 0;

    virtual P<IInStream> RequireInStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IInStream> RequireInStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IResetableInStream> RequireResetableInStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IResetableInStream> RequireResetableInStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<ISeekableInStream> RequireSeekableInStream(IURI* uri, int32_t sharing) = 0;
    virtual P<ISeekableInStream> RequireSeekableInStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IOutStream> RequireOutStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IOutStream> RequireOutStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IResetableOutStream> RequireResetableOutStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IResetableOutStream> RequireResetableOutStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<ISeekableOutStream> RequireSeekableOutStream(IURI* uri, int32_t sharing) = 0;
    virtual P<ISeekableOutStream> RequireSeekableOutStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IIOStream> RequireIOStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IIOStream> RequireIOStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<IResetableIOStream> RequireResetableIOStream(IURI* uri, int32_t sharing) = 0;
    virtual P<IResetableIOStream> RequireResetableIOStream(IURI* uri, const StreamOptions& options) = 0;
    virtual P<ISeekableIOStream> RequireSeekableIOStream(IURI* uri, int32_t sharing) = 0;
    virtual P<ISeekableIOStream> RequireSeekableIOStream(IURI* uri, const StreamOptions& options) = 0;
};

// The library's stream manager, with the disk stream factory registered.
P<IStreamManager>& GetStreamManager();

}  // namespace kest

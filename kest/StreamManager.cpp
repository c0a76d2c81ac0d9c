#include "kest/StreamManager.h"

#include "kest/Error.h"

namespace kest {

// ------------------------------------------------------------------------------ CStreamFactory

StreamOptions CStreamFactory::DefaultOptions(StreamKind kind, int32_t sharing) {
    StreamOptions options;
    options.sharing = sharing;
    switch (kind) {
    case StreamKind::In:
    case StreamKind::ResetableIn:
    case StreamKind::SeekableIn:
        options.creation = kOpenExisting;
        options.access = kAccessRead;
        break;
    case StreamKind::Out:
    case StreamKind::ResetableOut:
    case StreamKind::SeekableOut:
        options.creation = kCreateAlways;
        options.access = kAccessWrite;
        break;
    case StreamKind::IO:
    case StreamKind::ResetableIO:
    case StreamKind::SeekableIO:
        options.creation = kOpenAlways;
        options.access = kAccessRead | kAccessWrite;
        break;
    }
    return options;
}

template <typename I>
P<I> CStreamFactory::OpenAs(StreamKind kind, IURI* uri, const StreamOptions& options) {
    return CastRequired<I>(Open(kind, uri, options));
}

#define KEST_STREAM_FACTORY_KIND(Interface, Name, Kind)                                          \
    P<Interface> CStreamFactory::Name(IURI* uri, int32_t sharing) {                             \
        return OpenAs<Interface>(StreamKind::Kind, uri, DefaultOptions(StreamKind::Kind, sharing)); \
    }                                                                                            \
    P<Interface> CStreamFactory::Name(IURI* uri, const StreamOptions& options) {                 \
        return OpenAs<Interface>(StreamKind::Kind, uri, options);                                \
    }
KEST_STREAM_FACTORY_KIND(IInStream, OpenInStream, In)
KEST_STREAM_FACTORY_KIND(IResetableInStream, OpenResetableInStream, ResetableIn)
KEST_STREAM_FACTORY_KIND(ISeekableInStream, OpenSeekableInStream, SeekableIn)
KEST_STREAM_FACTORY_KIND(IOutStream, OpenOutStream, Out)
KEST_STREAM_FACTORY_KIND(IResetableOutStream, OpenResetableOutStream, ResetableOut)
KEST_STREAM_FACTORY_KIND(ISeekableOutStream, OpenSeekableOutStream, SeekableOut)
KEST_STREAM_FACTORY_KIND(IIOStream, OpenIOStream, IO)
KEST_STREAM_FACTORY_KIND(IResetableIOStream, OpenResetableIOStream, ResetableIO)
KEST_STREAM_FACTORY_KIND(ISeekableIOStream, OpenSeekableIOStream, SeekableIO)
#undef KEST_STREAM_FACTORY_KIND

// ------------------------------------------------------------------------------ CStreamManager

namespace {

P<IStreamBase> OpenWith(IStreamFactory* factory, StreamKind kind, IURI* uri, const StreamOptions& options) {
    switch (kind) {
    case StreamKind::In: return factory->OpenInStream(uri, options);
    case StreamKind::ResetableIn: return factory->OpenResetableInStream(uri, options);
    case StreamKind::SeekableIn: return factory->OpenSeekableInStream(uri, options);
    case StreamKind::Out: return factory->OpenOutStream(uri, options);
    case StreamKind::ResetableOut: return factory->OpenResetableOutStream(uri, options);
    case StreamKind::SeekableOut: return factory->OpenSeekableOutStream(uri, options);
    case StreamKind::IO: return factory->OpenIOStream(uri, options);
    case StreamKind::ResetableIO: return factory->OpenResetableIOStream(uri, options);
    case StreamKind::SeekableIO: return factory->OpenSeekableIOStream(uri, options);
    }
    return nullptr;
}

template <typename I>
P<I> Required(P<I> stream, IURI* uri) {
    if (!stream) throw CFileNotFoundError(P<IURI>(uri));
    return stream;
}

}  // namespace

CStreamManager::CStreamManager() : m_mutex(GetMutexFactory().CreateMutex()) {}

void CStreamManager::RegisterFactory(IStreamFactory* factory) {
    if (!factory) throw CInvalidArgError(String("factory"), String("RegisterFactory"), this);
    CMutexLock lock(m_mutex.Get());
    m_factories.Add(P<IStreamFactory>(factory));
}

void CStreamManager::UnregisterFactory(IStreamFactory* factory) {
    CMutexLock lock(m_mutex.Get());
    int32_t k = m_factories.IndexOf(P<IStreamFactory>(factory));
    if (k >= 0) m_factories.Remove(k);
}

P<IStreamBase> CStreamManager::Open(StreamKind kind, IURI* uri, const StreamOptions& options) {
    CMutexLock lock(m_mutex.Get());
    for (int32_t k = 0; k < m_factories.Count(); ++k) {
        P<IStreamBase> stream = OpenWith(m_factories.Get(k).Get(), kind, uri, options);
        if (stream) return stream;
    }
    return nullptr;
}

#define KEST_STREAM_MANAGER_REQUIRE(Interface, Kind)                                            \
    P<Interface> CStreamManager::Require##Kind##Stream(IURI* uri, int32_t sharing) {            \
        return Required(Open##Kind##Stream(uri, sharing), uri);                                 \
    }                                                                                          \
    P<Interface> CStreamManager::Require##Kind##Stream(IURI* uri, const StreamOptions& options) { \
        return Required(Open##Kind##Stream(uri, options), uri);                                 \
    }
KEST_STREAM_MANAGER_REQUIRE(IInStream, In)
KEST_STREAM_MANAGER_REQUIRE(IResetableInStream, ResetableIn)
KEST_STREAM_MANAGER_REQUIRE(ISeekableInStream, SeekableIn)
KEST_STREAM_MANAGER_REQUIRE(IOutStream, Out)
KEST_STREAM_MANAGER_REQUIRE(IResetableOutStream, ResetableOut)
KEST_STREAM_MANAGER_REQUIRE(ISeekableOutStream, SeekableOut)
KEST_STREAM_MANAGER_REQUIRE(IIOStream, IO)
KEST_STREAM_MANAGER_REQUIRE(IResetableIOStream, ResetableIO)
KEST_STREAM_MANAGER_REQUIRE(ISeekableIOStream, SeekableIO)
#undef KEST_STREAM_MANAGER_REQUIRE

}  // namespace kest

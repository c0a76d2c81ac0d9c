// The stream manager: a list of factories asked in turn.
#pragma once

#include "kest/Containers.h"
#include "kest/Stream.h"
#include "kest/Thread.h"

namespace kest {

class CStreamManager : public CStreamFactory, public IStreamManager {
public:
    CStreamManager();

    void RegisterFactory(IStreamFactory* factory) override;
    void UnregisterFactory(IStreamFactory* factory) override;

    P<IInStream> RequireInStream(IURI* uri, int32_t sharing) override;
    P<IInStream> RequireInStream(IURI* uri, const StreamOptions& options) override;
    P<IResetableInStream> RequireResetableInStream(IURI* uri, int32_t sharing) override;
    P<IResetableInStream> RequireResetableInStream(IURI* uri, const StreamOptions& options) override;
    P<ISeekableInStream> RequireSeekableInStream(IURI* uri, int32_t sharing) override;
    P<ISeekableInStream> RequireSeekableInStream(IURI* uri, const StreamOptions& options) override;
    P<IOutStream> RequireOutStream(IURI* uri, int32_t sharing) override;
    P<IOutStream> RequireOutStream(IURI* uri, const StreamOptions& options) override;
    P<IResetableOutStream> RequireResetableOutStream(IURI* uri, int32_t sharing) override;
    P<IResetableOutStream> RequireResetableOutStream(IURI* uri, const StreamOptions& options) override;
    P<ISeekableOutStream> RequireSeekableOutStream(IURI* uri, int32_t sharing) override;
    P<ISeekableOutStream> RequireSeekableOutStream(IURI* uri, const StreamOptions& options) override;
    P<IIOStream> RequireIOStream(IURI* uri, int32_t sharing) override;
    P<IIOStream> RequireIOStream(IURI* uri, const StreamOptions& options) override;
    P<IResetableIOStream> RequireResetableIOStream(IURI* uri, int32_t sharing) override;
    P<IResetableIOStream> RequireResetableIOStream(IURI* uri, const StreamOptions& options) override;
    P<ISeekableIOStream> RequireSeekableIOStream(IURI* uri, int32_t sharing) override;
    P<ISeekableIOStream> RequireSeekableIOStream(IURI* uri, const StreamOptions& options) override;

protected:
    P<IStreamBase> Open(StreamKind kind, IURI* uri, const StreamOptions& options) override;

private:
    P<IMutex> m_mutex;
    TSimpleArray<P<IStreamFactory>> m_factories;
};

}  // namespace kest

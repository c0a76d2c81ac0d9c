#include "TempFolder.h"

#include "kest/Error.h"
#include "kest/Stream.h"
#include "kest/Thread.h"
#include "kest/StreamManager.h"
#include "kest/URI.h"
#include "kest/win32/DiskStream.h"
#include "kest/win32/Paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kest_test {

using namespace kest;
using namespace kest::win32;

String Text(const P<IURI>& uri) {
    String text;
    uri->ToString(text);
    return text;
}


// ---------------------------------------------------------------------------------------- URIs

TEST(URI, CompositionEscapesAndRemovesDotSegments) {
    struct Case {
        const char* scheme;
        const char* userInfo;
        const char* host;
        const char* port;
        const wchar_t* path;
        const char* query;
        const char* fragment;
        const char* text;
        const wchar_t* decodedPath;
    } cases[] = {
        {"file", nullptr, nullptr, nullptr, L"/a/b/../c", nullptr, nullptr, "file:/a/c", L"/a/c"},
        {"file", nullptr, "", nullptr, L"/C:/dir/a b.txt", nullptr, nullptr, "file:///C:/dir/a%20b.txt",
         L"/C:/dir/a b.txt"},
        {"http", "me:pw", "example.com", "8080", L"x/./y/.", "q=1 2", "top", "http://me:pw@example.com:8080/x/y/?q=1%202#top",
         L"/x/y/"},
        // An authority is always followed by a path, an empty one too.
        {"http", "a b", "h", nullptr, L"", nullptr, nullptr, "http://a%20b@h/", L"/"},
        {"http", nullptr, "h", "81", nullptr, "q", nullptr, "http://h:81/?q", L"/"},
        {nullptr, nullptr, nullptr, nullptr, L"../../x/../y", nullptr, nullptr, "../../y", L"../../y"},
        {"file", nullptr, nullptr, nullptr, L"/../a/./b/..", nullptr, nullptr, "file:/a/", L"/a/"},
        {"file", nullptr, "srv", nullptr, L"/share/100%\u00E9#?", nullptr, nullptr, "file://srv/share/100%25%C3%A9%23%3F",
         L"/share/100%\u00E9#?"},
    };
    for (const Case& c : cases) {
        P<CURI> uri = CURI::Create(String(c.scheme), String(c.userInfo), String(c.host), String(c.port),
                                   String(c.path), String(c.query), String(c.fragment));
        EXPECT_EQ(Text(uri), String(c.text)) << c.text;
        EXPECT_EQ(uri->GetPath(), String(c.decodedPath)) << c.text;
        // The text parses back to the same address.
        P<CURI> parsed = CURI::Parse(Text(uri));
        EXPECT_EQ(Text(parsed), String(c.text)) << c.text;
        EXPECT_EQ(parsed->GetPort(), uri->GetPort()) << c.text;
        EXPECT_EQ(parsed->GetHost(), uri->GetHost()) << c.text;
    }
}

TEST(URI, PortMustBeDigits) {
    for (const char* port : {"80a", "-1", "99999999999"}) {
        try {
            CURI::Create(String("http"), String::Null(), String("h"), String(port), String("/"));
            ADD_FAILURE() << port;
        } catch (const CParseError& e) {
            EXPECT_EQ(e.GetDescription(), String("Error parsing integer.")) << port;
        }
    }
    EXPECT_THROW(CURI::Parse(String("http://h:8x/")), CParseError);
    EXPECT_EQ(CURI::Parse(String("http://[::1]:81/"))->GetPort(), 81);
    EXPECT_EQ(CURI::Parse(String("http://[::1]/"))->GetHost(), String("[::1]"));
}

TEST(URI, ChildAndLocality) {
    P<IURI> folder = PathToUri(String("C:\\data\\"));
    P<CURI> child = CURI::Child(*folder, String("new file.txt"));
    EXPECT_EQ(Text(child), String("file:///C:/data/new%20file.txt"));
    EXPECT_EQ(Text(CURI::Child(*child, String("sub/"))), String("file:///C:/data/new%20file.txt/sub/"));
    EXPECT_TRUE(child->IsLocal());
    EXPECT_TRUE(CURI::Parse(String("FILE:/x"))->IsLocal());
    EXPECT_TRUE(CURI::Parse(String("rel/x"))->IsLocal());
    EXPECT_FALSE(CURI::Parse(String("http://h/x"))->IsLocal());
    // A drive letter is no scheme.
    EXPECT_TRUE(CURI::Parse(String("C:/x"))->GetScheme().IsNull());
}

// --------------------------------------------------------------------------------- Windows paths

String Repeat(char c, int n) { return String::Copy(std::string(size_t(n), c).c_str()); }

TEST(Paths, UriToPath) {
    String d239 = String("C:\\") + Repeat('a', 236);
    String d240 = String("C:\\") + Repeat('a', 237);
    String u240 = String("\\\\srv\\share\\") + Repeat('b', 228);
    struct Case {
        P<IURI> uri;
        bool isNT;
        String expected;
    } cases[] = {
        {PathToUri(d239), true, d239},
        {PathToUri(d240), true, String("\\\\?\\") + d240},
        {PathToUri(u240), true, String("\\\\?\\UNC\\") + u240.Substring(2)},
        {PathToUri(String("\\\\srv\\share\\a.txt")), true, String("\\\\srv\\share\\a.txt")},
        {PathToUri(String("rel\\x.txt")), true, String("rel\\x.txt")},
        {CURI::Parse(String("http://h/x")), true, String()},
        {nullptr, true, String()},
    };
    for (const Case& c : cases) EXPECT_EQ(UriToPath(c.uri.Get(), false), c.expected);
    EXPECT_EQ(UriToPath(CURI::Parse(String("http://h/x")).Get(), true), String("http://h/x"));

    struct Failing {
        String path;
        bool isNT;
    } failing[] = {
        {String("rel\\") + Repeat('c', 250), true},
        {d240, false},
    };
    for (const Failing& f : failing) {
        try {
            UriToPath(PathToUri(f.path).Get(), false, f.isNT);
            ADD_FAILURE() << "no error";
        } catch (const CError& e) {
            EXPECT_EQ(e.GetDescription(),
                      String("Error: Windows path is longer than MAX_PATH and the limit cannot be circumvented (path='") +
                          f.path + "').");
        }
    }
}

TEST(Paths, PathToUri) {
    struct Case {
        const char* path;
        const char* scheme;
        const char* host;
        const char* uriPath;
    } cases[] = {
        {"C:\\dir\\a.txt", "file", "", "/C:/dir/a.txt"},
        {"\\\\srv\\share\\a.txt", "file", "srv", "/share/a.txt"},
        {"\\\\?\\UNC\\srv\\share\\x", "file", "srv", "/share/x"},
        {"\\\\?\\C:\\x", "file", "", "/C:/x"},
        {"\\\\srv", "file", "srv", "/"},
        {"dir\\a.txt", nullptr, nullptr, "dir/a.txt"},
    };
    for (const Case& c : cases) {
        P<IURI> uri = PathToUri(String(c.path));
        EXPECT_EQ(uri->GetScheme(), String(c.scheme)) << c.path;
        EXPECT_EQ(uri->GetHost(), String(c.host)) << c.path;
        EXPECT_EQ(uri->GetPath(), String(c.uriPath)) << c.path;
    }
}

// ------------------------------------------------------------------------------------- streams

void WriteTestFile(const TempFolder& folder, const std::wstring& name, int size) {
    P<IOutStream> out = GetStreamManager()->RequireOutStream(folder.Uri(name).Get(), kShareNone);
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) bytes[size_t(i)] = (unsigned char)(i * 7);
    out->Write(bytes.data(), size);
}

TEST(DiskStream, ReadSkipMarkAndSeek) {
    TempFolder folder;
    WriteTestFile(folder, L"data.bin", 100);
    P<ISeekableInStream> in = GetStreamManager()->RequireSeekableInStream(folder.Uri(L"data.bin").Get(), kShareRead);
    EXPECT_EQ(in->GetSize(), 100);

    unsigned char first[20], again[20];
    in->SeekTo(30);
    P<IStreamMarker> marker = in->CreateMarker();
    in->ReadFully(first, 20);
    in->ResetTo(marker.Get());
    in->ReadFully(again, 20);
    EXPECT_EQ(std::memcmp(first, again, 20), 0);
    EXPECT_EQ(first[0], (unsigned char)(30 * 7));

    in->SeekFromEnd(-10);
    EXPECT_EQ(in->Skip(100), 10);
    EXPECT_TRUE(in->IsAtEnd());
    EXPECT_EQ(in->Skip(5), 0);
    EXPECT_EQ(in->Read(first, 20), 0);
    in->SeekBy(-5);
    EXPECT_THROW(in->ReadFully(first, 6), CEndOfStreamError);

    // A marker of another stream is refused.
    P<ISeekableInStream> other = GetStreamManager()->RequireSeekableInStream(folder.Uri(L"data.bin").Get(), kShareRead);
    EXPECT_THROW(in->ResetTo(other->CreateMarker().Get()), CInvalidArgError);

    in->Close();
    EXPECT_TRUE(in->IsClosed());
    try {
        in->Read(first, 1);
        ADD_FAILURE() << "read after close";
    } catch (const CStreamClosedError& e) {
        EXPECT_EQ(e.GetDescription(), String("The stream has been closed."));
    }
    EXPECT_THROW(in->GetPosition(), CStreamClosedError);
    EXPECT_THROW(in->ReadFully(first, 0), CStreamClosedError);  // even when nothing is asked for
}

TEST(DiskStream, OpenFailures) {
    TempFolder folder;
    try {
        GetStreamManager()->RequireInStream(folder.Uri(L"missing.bin").Get(), kShareRead);
        ADD_FAILURE() << "opened a missing file";
    } catch (const CFileNotFoundError& e) {
        // Named as the user knows the file: by its Windows path, not its URI.
        EXPECT_GE(e.GetDescription().Find(folder.PathString(L"missing.bin")), 0);
    }
    EXPECT_THROW(GetStreamManager()->RequireInStream(folder.Uri(L"no\\such\\dir\\x").Get(), kShareRead),
                 CFileNotFoundError);

    struct BadOptions {
        int32_t sharing, creation;
    } bad[] = {{3, 1}, {-1, 1}, {0, 0}, {0, 4}};
    for (const BadOptions& b : bad) {
        StreamOptions options;
        options.sharing = b.sharing;
        options.creation = b.creation;
        EXPECT_THROW(New<CDiskIOStream>(folder.Uri(L"x.bin").Get(), options), CInvalidArgError);
    }
    // The factory serves local files only; opening anything else directly is "not found".
    P<IURI> web = CURI::Parse(String("http://example.com/x"));
    EXPECT_TRUE(New<CDiskStreamFactory>()->OpenInStream(web.Get(), kShareRead).IsNull());
    EXPECT_THROW(New<CDiskIOStream>(web.Get(), StreamOptions()), CFileNotFoundError);
    EXPECT_THROW(New<CDiskIOStream>(nullptr, StreamOptions()), CFileNotFoundError);

    // Without sharing, a second opener is turned away with the system's reason.
    P<IOutStream> held = GetStreamManager()->RequireOutStream(folder.Uri(L"held.bin").Get(), kShareNone);
    EXPECT_THROW(GetStreamManager()->RequireInStream(folder.Uri(L"held.bin").Get(), kShareReadWrite), CError);
}

TEST(DiskStream, DeleteOnCloseAndReadWrite) {
    TempFolder folder;
    StreamOptions options = CStreamFactory::DefaultOptions(StreamKind::SeekableIO, kShareReadWrite);
    options.deleteOnClose = true;
    {
        P<ISeekableIOStream> io = GetStreamManager()->RequireSeekableIOStream(folder.Uri(L"temp.bin").Get(), options);
        io->Write("abcdef", 6);
        io->Flush();
        io->SeekTo(2);
        char two[2];
        io->ReadFully(two, 2);
        EXPECT_EQ(std::string(two, 2), "cd");
        EXPECT_EQ(io->GetPosition(), 4);
        EXPECT_TRUE(Exists(folder.Path() + L"temp.bin"));
    }
    EXPECT_FALSE(Exists(folder.Path() + L"temp.bin"));
}

// One stream, two writing threads: each write lands whole at the end the other left.
TEST(DiskStream, SharedBetweenThreads) {
    TempFolder folder;
    P<ISeekableIOStream> io = GetStreamManager()->RequireSeekableIOStream(folder.Uri(L"shared.bin").Get(), kShareNone);
    struct Writer : CObject, IRunnable {
        Writer(IOutStream* out, char fill) : m_out(out), m_fill(fill) {}
        void Run() override {
            char block[64];
            std::memset(block, m_fill, sizeof(block));
            for (int i = 0; i < 200; ++i) m_out->Write(block, sizeof(block));
        }
        IOutStream* m_out;
        char m_fill;
    };
    P<IThread> a = GetThreadManager()->CreateThread(New<Writer>(io.Get(), 'a').Get());
    P<IThread> b = GetThreadManager()->CreateThread(New<Writer>(io.Get(), 'b').Get());
    a->Join();
    b->Join();
    ASSERT_EQ(io->GetSize(), 2 * 200 * 64);
    io->SeekTo(0);
    char block[64];
    for (int i = 0; i < 400; ++i) {
        io->ReadFully(block, sizeof(block));
        ASSERT_EQ(std::string(block, sizeof(block)), std::string(sizeof(block), block[0])) << "block " << i;
    }
}

// A read that ends at the end of the file comes in two pieces; another thread that seeks the
// same stream back to its start must not slip its position in between.
struct Rewinder : CObject, IRunnable {
    explicit Rewinder(ISeekableInStream* in) : m_in(in) {}
    void Run() override {
        while (!m_stop) m_in->SeekTo(0);
    }
    ISeekableInStream* m_in;
    volatile bool m_stop = false;
};

TEST(DiskStream, ReadFullyIsOneOperation) {
    TempFolder folder;
    WriteTestFile(folder, L"pattern.bin", 1000);  // byte i holds i * 7
    P<ISeekableInStream> in = GetStreamManager()->RequireSeekableInStream(folder.Uri(L"pattern.bin").Get(), kShareRead);
    P<Rewinder> rewinder = New<Rewinder>(in.Get());
    P<IThread> thread = GetThreadManager()->CreateThread(rewinder.Get());
    int mixed = 0, whole = 0, ended = 0;
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 1500) {
        in->SeekTo(950);
        unsigned char block[100];
        try {
            in->ReadFully(block, sizeof(block));
        } catch (const CEndOfStreamError&) {
            ++ended;
            continue;
        }
        ++whole;
        for (size_t k = 1; k < sizeof(block); ++k) {
            if ((unsigned char)(block[k] - block[k - 1]) != 7) {
                ++mixed;
                break;
            }
        }
    }
    rewinder->m_stop = true;
    thread->Join();
    EXPECT_EQ(mixed, 0) << whole << " whole reads, " << ended << " that met the end";
}

// Every kind of stream, through the manager's four entries: open and require, each in the short
// form (sharing only) and the full form (options).
struct KindEntries {
    const char* name;
    StreamKind kind;
    P<IStreamBase> (*open)(IStreamManager&, IURI*, int32_t);
    P<IStreamBase> (*openFull)(IStreamManager&, IURI*, const StreamOptions&);
    P<IStreamBase> (*require)(IStreamManager&, IURI*, int32_t);
    P<IStreamBase> (*requireFull)(IStreamManager&, IURI*, const StreamOptions&);
};

#define KEST_TEST_KIND(Kind)                                                                                      \
    KindEntries {                                                                                                 \
        #Kind, StreamKind::Kind,                                                                                  \
            [](IStreamManager& m, IURI* u, int32_t s) -> P<IStreamBase> { return m.Open##Kind##Stream(u, s); },  \
            [](IStreamManager& m, IURI* u, const StreamOptions& o) -> P<IStreamBase> {                            \
                return m.Open##Kind##Stream(u, o);                                                                \
            },                                                                                                    \
            [](IStreamManager& m, IURI* u, int32_t s) -> P<IStreamBase> { return m.Require##Kind##Stream(u, s); }, \
            [](IStreamManager& m, IURI* u, const StreamOptions& o) -> P<IStreamBase> {                            \
                return m.Require##Kind##Stream(u, o);                                                             \
            }                                                                                                     \
    }
const KindEntries kKinds[] = {
    KEST_TEST_KIND(In),  KEST_TEST_KIND(ResetableIn),  KEST_TEST_KIND(SeekableIn),
    KEST_TEST_KIND(Out), KEST_TEST_KIND(ResetableOut), KEST_TEST_KIND(SeekableOut),
    KEST_TEST_KIND(IO),  KEST_TEST_KIND(ResetableIO),  KEST_TEST_KIND(SeekableIO),
};
#undef KEST_TEST_KIND

class CNullFactory : public CStreamFactory {
protected:
    P<IStreamBase> Open(StreamKind, IURI*, const StreamOptions&) override { return nullptr; }
};

TEST(StreamManager, WithoutAServingFactory) {
    P<CStreamManager> manager = New<CStreamManager>();
    manager->RegisterFactory(New<CNullFactory>().Get());
    P<IURI> uri = PathToUri(String("C:\\nothing.bin"));
    for (const KindEntries& k : kKinds) {
        SCOPED_TRACE(k.name);
        StreamOptions options = CStreamFactory::DefaultOptions(k.kind, kShareRead);
        EXPECT_TRUE(k.open(*manager, uri.Get(), kShareRead).IsNull());
        EXPECT_TRUE(k.openFull(*manager, uri.Get(), options).IsNull());
        for (bool full : {false, true}) {
            try {
                full ? k.requireFull(*manager, uri.Get(), options) : k.require(*manager, uri.Get(), kShareRead);
                ADD_FAILURE() << "no error, full form " << full;
            } catch (const CFileNotFoundError& e) {
                EXPECT_EQ(e.GetURI(), uri);
            }
        }
    }
}

// Through the disk factory every kind opens an existing file, and a file in a missing folder is
// not found whichever kind asks for it.
TEST(StreamManager, EveryKindFromDisk) {
    TempFolder folder;
    P<IURI> missing = folder.Uri(L"no folder\\x.bin");
    for (const KindEntries& k : kKinds) {
        SCOPED_TRACE(k.name);
        std::wstring name = std::wstring(L"kind_") + std::wstring(k.name, k.name + std::strlen(k.name)) + L".bin";
        P<IURI> uri = folder.Uri(name);
        GetStreamManager()->RequireOutStream(uri.Get(), kShareNone)->Write("0123456789", 10);
        StreamOptions options = CStreamFactory::DefaultOptions(k.kind, kShareReadWrite);
        for (bool full : {false, true}) {
            P<IStreamBase> stream = full ? k.requireFull(*GetStreamManager(), uri.Get(), options)
                                         : k.require(*GetStreamManager(), uri.Get(), kShareReadWrite);
            ASSERT_TRUE(stream);
            EXPECT_EQ(stream->GetPosition(), 0);
            stream->Close();
            EXPECT_THROW(full ? k.requireFull(*GetStreamManager(), missing.Get(), options)
                              : k.require(*GetStreamManager(), missing.Get(), kShareReadWrite),
                         CFileNotFoundError);
        }
    }
}

// A resettable stream from the manager goes back to its marker, for reading and for writing.
TEST(StreamManager, ResetableKindsReturnToTheirMarker) {
    TempFolder folder;
    P<IURI> uri = folder.Uri(L"marked.bin");
    {
        P<IResetableOutStream> out = GetStreamManager()->RequireResetableOutStream(uri.Get(), kShareNone);
        out->Write("abc", 3);
        P<IStreamMarker> marker = out->CreateMarker();
        out->Write("XYZ", 3);
        out->ResetTo(marker.Get());
        out->Write("def", 3);
    }
    P<IResetableInStream> in = GetStreamManager()->RequireResetableInStream(uri.Get(), kShareRead);
    EXPECT_EQ(in->GetSize(), 6);
    char first[4] = {}, again[4] = {};
    in->ReadFully(first, 1);
    P<IStreamMarker> marker = in->CreateMarker();
    in->ReadFully(first, 3);
    in->ResetTo(marker.Get());
    in->ReadFully(again, 3);
    EXPECT_EQ(std::string(first, 3), "bcd");
    EXPECT_EQ(std::string(again, 3), "bcd");
    in->Close();

    P<IResetableIOStream> io = GetStreamManager()->RequireResetableIOStream(uri.Get(), kShareNone);
    P<IStreamMarker> start = io->CreateMarker();
    io->Write("AB", 2);
    io->ResetTo(start.Get());
    char two[2];
    io->ReadFully(two, 2);
    EXPECT_EQ(std::string(two, 2), "AB");
    P<IIOStream> plain = GetStreamManager()->RequireIOStream(folder.Uri(L"plain.bin").Get(), kShareNone);
    plain->Write("q", 1);
    EXPECT_EQ(plain->GetSize(), 1);
}

}  // namespace kest_test

#include "chk/ChunkFile.h"
#include "chk/KestFileStream.h"
#include "kest/Error.h"
#include "tests/chk/ChunkBytes.h"
#include "tests/chk/MemoryStream.h"
#include "tests/kest/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <numeric>
#include <stdexcept>

using namespace chk_test;
using chk::TRef;

namespace {

std::string IdText(chk::ChunkId id) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) text[static_cast<size_t>(i)] = static_cast<char>(id >> (8 * i));
    return text;
}

struct Visit {
    std::string id;
    int64_t offset;
    int64_t size;
    bool operator==(const Visit&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Visit& v) {
    return os << v.id << "@" << v.offset << "+" << v.size;
}

std::vector<Visit> Walk(chk::CChunkIterator& iterator) {
    std::vector<Visit> visits;
    iterator.Reset();
    while (iterator.Next() && visits.size() < 100)
        visits.push_back({IdText(iterator.GetId()), iterator.GetCurrentOffset(), iterator.GetCurrentSize()});
    return visits;
}

struct Opened {
    TRef<CMemoryStream> stream;
    TRef<chk::CChunkFile> file;
    explicit Opened(Bytes bytes) : stream(CMemoryStream::Create(std::move(bytes))) {
        file = TRef<chk::CChunkFile>(chk::CChunkFile::Open(stream.Get()));
    }
};

}  // namespace

TEST(ChunkId, IsTheFourCharactersInReadingOrder) {
    EXPECT_EQ(0x676E616Cu, chk::MakeChunkId("lang"));
    Opened f(ChunkFileBytes("URESFILE", Chunk("lang", {})));
    ASSERT_TRUE(f.file->Next());
    EXPECT_EQ(chk::MakeChunkId("lang"), f.file->GetId());
    EXPECT_STREQ("URESFILE", f.file->GetSignature());
    EXPECT_EQ(16, f.file->GetStart());
}

struct WalkCase {
    const char* name;
    Bytes file;
    std::vector<Visit> visits;
};

class ChunkWalk : public testing::TestWithParam<WalkCase> {};

TEST_P(ChunkWalk, VisitsTheChunksInFileOrder) {
    Opened f(GetParam().file);
    EXPECT_EQ(GetParam().visits, Walk(*f.file));
    // A walk that ended stays ended: it neither visits a chunk again nor goes anywhere else.
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(f.file->Next()) << "call " << i << " after the end, at " << f.file->GetCurrentOffset();
        EXPECT_FALSE(f.file->IsCurrentValid());
    }
    // A second walk after Reset sees the same chunks again.
    EXPECT_EQ(GetParam().visits, Walk(*f.file));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ChunkWalk,
    testing::Values(
        WalkCase{"RootSizeZero", ChunkFileWithRootSize("URESFILE", Chunk("lang", Text("abc")), 0), {}},
        WalkCase{"RootShorterThanAHeader", ChunkFileBytes("URESFILE", Bytes(11, 'x')), {}},
        WalkCase{"EmptyChunkIsAChunk",
                 ChunkFileBytes("URESFILE", Concat({Chunk("aaaa", {}), Chunk("bbbb", Text("xyz"))})),
                 {{"aaaa", 0, 0}, {"bbbb", 12, 3}}},
        WalkCase{"RepeatedIdsAreBothVisited",
                 ChunkFileBytes("URESFILE", Concat({Chunk("STMP", Text("1")), Chunk("STMP", Text("22"))})),
                 {{"STMP", 0, 1}, {"STMP", 13, 2}}},
        WalkCase{"TrailingBytesShorterThanAHeaderAreIgnored",
                 ChunkFileBytes("URESFILE", Concat({Chunk("aaaa", Text("q")), Bytes(5, 0)})), {{"aaaa", 0, 1}}},
        // The root claims more than the file holds: the walk ends where the bytes end.
        WalkCase{"RootLongerThanTheFile", ChunkFileWithRootSize("URESFILE", Chunk("aaaa", Text("q")), 1000),
                 {{"aaaa", 0, 1}}},
        // Sizes are trusted: one that points past the end leaves no further chunk.
        WalkCase{"HugeSizeEndsTheWalk",
                 ChunkFileBytes("URESFILE", Concat({ChunkWithSize("aaaa", Text("q"), std::numeric_limits<int64_t>::max()),
                                                    Chunk("bbbb", {})})),
                 {{"aaaa", 0, std::numeric_limits<int64_t>::max()}}},
        // The next offset fits, but not once the root's own start is added: no stream reaches it.
        WalkCase{"SizeBeyondWhatTheStreamCanAddressEndsTheWalk",
                 ChunkFileWithRootSize("URESFILE",
                                       Concat({ChunkWithSize("aaaa", Text("q"), std::numeric_limits<int64_t>::max() - 20),
                                               Chunk("bbbb", {})}),
                                       std::numeric_limits<int64_t>::max()),
                 {{"aaaa", 0, std::numeric_limits<int64_t>::max() - 20}}},
        // A negative size would lead back to the same chunk: the walk ends instead.
        WalkCase{"NegativeSizeEndsTheWalk",
                 ChunkFileBytes("URESFILE", Concat({ChunkWithSize("aaaa", {}, -12), Chunk("bbbb", {})})),
                 {{"aaaa", 0, -12}}}),
    [](const testing::TestParamInfo<WalkCase>& info) { return std::string(info.param.name); });

TEST(ChunkFile, ResetGoesBackBeforeTheFirstChunk) {
    Opened f(ChunkFileBytes("URESFILE", Concat({Chunk("aaaa", Text("1")), Chunk("bbbb", Text("2"))})));
    ASSERT_TRUE(f.file->Next());
    ASSERT_TRUE(f.file->Next());
    EXPECT_FALSE(f.file->Next());
    EXPECT_FALSE(f.file->IsCurrentValid());
    f.file->Reset();
    ASSERT_TRUE(f.file->Next());
    EXPECT_EQ("aaaa", IdText(f.file->GetId()));
}

TEST(ChunkFile, AStreamShorterThanTheFileHeaderIsRefused) {
    TRef<CMemoryStream> stream(CMemoryStream::Create(Text("URESFILE\x01")));
    EXPECT_THROW(chk::CChunkFile::Open(stream.Get()), std::runtime_error);
}

TEST(ChunkFile, OpeningWithoutACurrentChunkIsAProgrammingError) {
    Opened f(ChunkFileBytes("URESFILE", {}));
    EXPECT_THROW(f.file->OpenChunkStream(), std::logic_error);
    EXPECT_THROW(f.file->OpenChunkIterator(), std::logic_error);
}

TEST(ChunkStream, ReadsItsDataAndItsChildren) {
    Opened f(ChunkFileBytes("URESFILE", Concat({Chunk("STMP", Concat({Chunk("lang", Text("de")), Chunk("data", Text("12345"))})),
                                               Chunk("cmnt", Text("after"))})));
    ASSERT_TRUE(f.file->Next());
    TRef<chk::CChunkIterator> table(f.file->OpenChunkIterator());
    EXPECT_EQ((std::vector<Visit>{{"lang", 0, 2}, {"data", 14, 5}}), Walk(*table));
    // Opening a child does not move the iterator.
    ASSERT_TRUE(f.file->Next());
    EXPECT_EQ("cmnt", IdText(f.file->GetId()));

    table->Reset();
    ASSERT_TRUE(table->Next());
    ASSERT_TRUE(table->Next());
    TRef<chk::CChunkStream> data(table->OpenChunkStream());
    char text[3] = {};
    EXPECT_EQ(3, data->Read(text, 3));
    EXPECT_EQ("123", std::string(text, 3));
    // Reads are not clipped at the chunk's end; the position stops there.
    char more[6] = {};
    EXPECT_EQ(6, data->Read(more, 6));
    EXPECT_EQ(std::string("45cmnt"), std::string(more, 6));
    EXPECT_EQ(5, data->GetPosition());
    // A position no stream can reach holds nothing.
    data->Seek(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(0, data->Read(more, 6));
}

// Root: AAAA { aaaa "abc", bbbb "de" }, CCCC "wxyz". Writing five bytes past the end of aaaa
// grows aaaa, AAAA and the root by five, moves bbbb and CCCC, and rewrites all three headers.
TEST(ChunkStream, WritingPastTheEndGrowsEveryParentAndMovesWhatLiesBehind) {
    Opened f(ChunkFileBytes(
        "URESFILE", Concat({Chunk("AAAA", Concat({Chunk("aaaa", Text("abc")), Chunk("bbbb", Text("de"))})),
                            Chunk("CCCC", Text("wxyz"))})));
    ASSERT_TRUE(f.file->Next());
    TRef<chk::CChunkIterator> outer(f.file->OpenChunkIterator());
    ASSERT_TRUE(f.file->Next());
    TRef<chk::CChunkStream> behind(f.file->OpenChunkStream());
    ASSERT_TRUE(outer->Next());
    TRef<chk::CChunkStream> grown(outer->OpenChunkStream());
    ASSERT_TRUE(outer->Next());
    TRef<chk::CChunkStream> sibling(outer->OpenChunkStream());

    const int64_t rootSize = f.file->GetSize(), outerSize = outer->GetSize();
    const int64_t siblingStart = sibling->GetStart(), behindStart = behind->GetStart();
    grown->Seek(3);
    grown->Write("XYZWV", 5);

    EXPECT_EQ(8, grown->GetSize());
    EXPECT_EQ(outerSize + 5, outer->GetSize());
    EXPECT_EQ(rootSize + 5, f.file->GetSize());
    EXPECT_EQ(siblingStart + 5, sibling->GetStart());
    EXPECT_EQ(behindStart + 5, behind->GetStart());
    // The iterator's current chunk moved with it; walking again sees the open child's true size.
    EXPECT_EQ((std::vector<Visit>{{"aaaa", 0, 8}, {"bbbb", 20, 2}}), Walk(*outer));

    // The moved streams still address their own bytes.
    sibling->Seek(0);
    sibling->Write("D", 1);
    behind->Seek(3);
    behind->Write("Z", 1);

    grown.Reset();
    sibling.Reset();
    behind.Reset();
    outer.Reset();
    f.file.Reset();
    EXPECT_EQ(ChunkFileBytes("URESFILE",
                             Concat({Chunk("AAAA", Concat({Chunk("aaaa", Text("abcXYZWV")), Chunk("bbbb", Text("De"))})),
                                     Chunk("CCCC", Text("wxyZ"))})),
              f.stream->Data());
}

// An iterator that lies behind a growing chunk moves as a whole: its current chunk keeps its
// offset inside the iterator, and the walk goes on from there.
TEST(ChunkStream, AnIteratorBehindAGrowingChunkKeepsItsWalk) {
    Opened f(ChunkFileBytes("URESFILE", Concat({Chunk("aaaa", Text("abc")),
                                               Chunk("BBBB", Concat({Chunk("cc01", Text("x")), Chunk("cc02", Text("yz"))}))})));
    ASSERT_TRUE(f.file->Next());
    TRef<chk::CChunkStream> grown(f.file->OpenChunkStream());
    ASSERT_TRUE(f.file->Next());
    TRef<chk::CChunkIterator> behind(f.file->OpenChunkIterator());
    ASSERT_TRUE(behind->Next());
    const int64_t start = behind->GetStart();

    grown->Seek(3);
    grown->Write("defg", 4);

    EXPECT_EQ(start + 4, behind->GetStart());
    EXPECT_EQ(0, behind->GetCurrentOffset());
    EXPECT_EQ(1, behind->GetCurrentSize());
    ASSERT_TRUE(behind->Next());
    EXPECT_EQ("cc02", IdText(behind->GetId()));
    TRef<chk::CChunkStream> second(behind->OpenChunkStream());
    char text[2] = {};
    EXPECT_EQ(2, second->Read(text, 2));
    EXPECT_EQ("yz", std::string(text, 2));
}

// The same tree, changed by inserting and removing space inside aaaa; a child that is closed
// after its parent was walked on still writes its size into its own header.
struct SpaceCase {
    const char* name;
    int64_t at;
    int64_t inserted;
    int64_t removed;
    const char* result;
};

class ChunkSpace : public testing::TestWithParam<SpaceCase> {};

TEST_P(ChunkSpace, ResizesTheChunkAndItsParents) {
    const SpaceCase& c = GetParam();
    Opened f(ChunkFileBytes(
        "URESFILE", Concat({Chunk("AAAA", Concat({Chunk("aaaa", Text("abcdef")), Chunk("bbbb", Text("gh"))})),
                            Chunk("CCCC", Text("ij"))})));
    ASSERT_TRUE(f.file->Next());
    TRef<chk::CChunkIterator> outer(f.file->OpenChunkIterator());
    ASSERT_TRUE(outer->Next());
    TRef<chk::CChunkStream> chunk(outer->OpenChunkStream());
    ASSERT_TRUE(outer->Next());
    ASSERT_TRUE(f.file->Next());
    chunk->Seek(c.at);
    if (c.inserted) {
        chunk->InsertSpace(c.inserted);
        chunk->Write(std::string(static_cast<size_t>(c.inserted), '_').data(), c.inserted);
    }
    if (c.removed) chunk->RemoveSpace(c.removed);
    // The walks of both iterators stay on chunks that moved.
    EXPECT_EQ("bbbb", IdText(outer->GetId()));
    EXPECT_EQ("CCCC", IdText(f.file->GetId()));
    f.file.Reset();
    outer.Reset();
    chunk.Reset();
    EXPECT_EQ(ChunkFileBytes("URESFILE",
                             Concat({Chunk("AAAA", Concat({Chunk("aaaa", Text(c.result)), Chunk("bbbb", Text("gh"))})),
                                     Chunk("CCCC", Text("ij"))})),
              f.stream->Data());
}

INSTANTIATE_TEST_SUITE_P(Changes, ChunkSpace,
                         testing::Values(SpaceCase{"InsertInTheMiddle", 2, 3, 0, "ab___cdef"},
                                         SpaceCase{"InsertAtTheEnd", 6, 2, 0, "abcdef__"},
                                         SpaceCase{"RemoveInTheMiddle", 1, 0, 3, "aef"},
                                         SpaceCase{"RemoveEverything", 0, 0, 6, ""}),
                         [](const testing::TestParamInfo<SpaceCase>& info) { return std::string(info.param.name); });

// Space moves in blocks of 64 KiB from the end (inserting) or the front (removing); sizes
// around the block size show a block copied over itself.
struct BlockCase {
    int64_t size;
    int64_t position;
    int64_t count;
};

class BaseStreamSpace : public testing::TestWithParam<BlockCase> {};

TEST_P(BaseStreamSpace, MovesTheBytesBehindThePosition) {
    const BlockCase& c = GetParam();
    Bytes original(static_cast<size_t>(c.size));
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 7 + i / 251);
    TRef<CMemoryStream> stream(CMemoryStream::Create(original));
    stream->Seek(c.position);
    stream->InsertSpace(c.count);
    EXPECT_EQ(c.position, stream->GetPosition());
    ASSERT_EQ(c.size + c.count, stream->GetSize());
    const Bytes& grown = stream->Data();
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + c.position, grown.begin()));
    EXPECT_TRUE(std::equal(original.begin() + c.position, original.end(), grown.begin() + c.position + c.count));
    stream->RemoveSpace(c.count);
    EXPECT_EQ(original, stream->Data());
}

INSTANTIATE_TEST_SUITE_P(Sizes, BaseStreamSpace,
                         testing::Values(BlockCase{10, 3, 4}, BlockCase{10, 10, 4}, BlockCase{200000, 10, 5},
                                         BlockCase{200000, 150000, 70000}, BlockCase{65536, 0, 65536},
                                         BlockCase{131073, 1, 1}));

TEST(BaseStream, RemovingMoreThanIsLeftRemovesTheRest) {
    TRef<CMemoryStream> stream(CMemoryStream::Create(Text("abcdef")));
    stream->Seek(4);
    stream->RemoveSpace(100);
    EXPECT_EQ(Text("abcd"), stream->Data());
}

TEST(KestFileStream, ReadsAFileAndRefusesToChangeIt) {
    kest_test::TempFolder temp;
    const std::wstring path = temp.Path() + L"pack.bin";
    const Bytes bytes = ChunkFileBytes("URESFILE", Chunk("cmnt", Text("hello")));
    {
        std::ofstream out(path.c_str(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    TRef<chk::CKestFileStream> stream(chk::CKestFileStream::Open(path));
    TRef<chk::CChunkFile> file(chk::CChunkFile::Open(stream.Get()));
    ASSERT_TRUE(file->Next());
    TRef<chk::CChunkStream> comment(file->OpenChunkStream());
    char text[5] = {};
    EXPECT_EQ(5, comment->Read(text, 5));
    EXPECT_EQ("hello", std::string(text, 5));
    EXPECT_EQ(static_cast<int64_t>(bytes.size()), stream->GetSize());
    EXPECT_THROW(stream->Write("x", 1), std::logic_error);
    EXPECT_THROW(stream->Truncate(3), std::logic_error);
    EXPECT_THROW(chk::CKestFileStream::Open(temp.Path() + L"missing.bin"), kest::CError);
}

TEST(KestFileStream, GrowsAWritableFileWithZeros) {
    kest_test::TempFolder temp;
    kest::P<kest::ISeekableIOStream> io =
        kest::GetStreamManager()->RequireSeekableIOStream(temp.Uri(L"grow.bin").Get(), kest::kShareRead);
    TRef<chk::CKestFileStream> stream(chk::CKestFileStream::Over(io.Get()));
    stream->Write("ab", 2);
    stream->Seek(1);
    stream->SetSize(70000);
    EXPECT_EQ(1, stream->GetPosition());
    EXPECT_EQ(70000, stream->GetSize());
    Bytes tail(3);
    stream->Seek(69997);
    EXPECT_EQ(3, stream->Read(tail.data(), 3));
    EXPECT_EQ(Bytes(3, 0), tail);
}

// A resource-file language pack ("URESFILE" chunk file): its header, then its string tables,
// with the file's bytes also in memory as the mapped file offers them (a copy here, since the
// reader writes terminators into it as into its copy-on-write view).
#include "fuzz/MemoryStream.h"
#include "fuzz/PackTexts.h"
#include "lang/LangPack.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;  // an empty file cannot be mapped
    // The copy is cut to what the file holds, so that a read past it is seen.
    auto mapped = std::make_unique<uint8_t[]>(size);
    std::memcpy(mapped.get(), data, size);
    std::shared_ptr<uint8_t[]> bytes(std::move(mapped));

    auto* stream = new fuzz::CByteStream(data, size);
    {
        CLangPack2 header(L"fuzz.brvLang");
        (void)header.ReadHeaderFrom(L"fuzz.brvLang", *stream);
        CLangPack2 pack(L"fuzz.brvLang");
        if (pack.LoadTextsFrom(L"fuzz.brvLang", *stream, PackBytes{bytes.get(), size, bytes}, true))
            fuzz::ReadEveryText(pack);
    }
    stream->Release();
    return 0;
}

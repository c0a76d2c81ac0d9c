// A flat language pack ("LANGPACK", "LANGPCK2", "LANGPU16") dropped into the language folder:
// its header, then its texts, read the way the pack manager reads them.
#include "fuzz/KestMemoryStream.h"
#include "fuzz/PackTexts.h"
#include "lang/LangPack.h"

#include <cstdint>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kest::P<fuzz::CKestMemoryStream> file = kest::New<fuzz::CKestMemoryStream>(data, size);
    CLangPack pack(L"fuzz.brvLang");
    uint32_t version = 0, layout = 0;
    try {
        if (pack.ReadHeader(*file, version, layout) && pack.LoadTexts(*file, true, layout)) fuzz::ReadEveryText(pack);
    } catch (const kest::CException&) {
        // The foundation's stream errors are the reader's to report; the manager catches them.
    }
    return 0;
}

// The registry-file confinement check over arbitrary bytes, fed in pieces of a size the first
// byte picks, and compared with the whole-file answer: how the file is cut must not matter.
#include "kapp/RegistryFileCheck.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::wstring key = L"HKEY_CURRENT_USER\\Software\\Ordavia\\Fuzz";
    const size_t piece = data[0] % 16 + 1;
    const uint8_t* bytes = data + 1;
    const size_t length = size - 1;

    kapp::CRegistryFileCheck check(key);
    for (size_t at = 0; at < length; at += piece) check.Feed(bytes + at, length - at < piece ? length - at : piece);
    const bool inPieces = check.Finish();
    const bool whole = kapp::IsRegistryFileConfined(std::string(reinterpret_cast<const char*>(bytes), length), key);
    if (inPieces != whole) std::abort();
    return 0;
}

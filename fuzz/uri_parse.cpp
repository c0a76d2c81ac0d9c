// Addresses from arbitrary UTF-8 text: parsing and every component of the result.
#include "kest/Error.h"
#include "kest/URI.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    try {
        const kest::String text = kest::String::FromUTF8(data, static_cast<int32_t>(size));
        kest::P<kest::CURI> uri = kest::CURI::Parse(text);
        if (!uri) return 0;
        (void)uri->GetScheme();
        (void)uri->GetUserInfo();
        (void)uri->GetHost();
        (void)uri->GetPort();
        (void)uri->GetRawPath();
        (void)uri->GetQuery();
        (void)uri->GetFragment();
        (void)uri->GetAuthority();
        (void)uri->GetPath();
        (void)uri->IsLocal();
        kest::String shown;
        uri->ToString(shown);
    } catch (const kest::CException&) {
        // A refused address is an answer, not a fault.
    }
    return 0;
}

// The formatter from an arbitrary format text and arguments: the bytes up to the first zero are
// the format (UTF-8), each following byte picks the next argument's type and the bytes after it
// give its value.
#include "kest/Error.h"
#include "kest/StringFormat.h"

#include <cstdint>
#include <cstring>

namespace {

template <typename T>
T Take(const uint8_t*& p, const uint8_t* end) {
    T value{};
    const size_t n = static_cast<size_t>(end - p) < sizeof(T) ? static_cast<size_t>(end - p) : sizeof(T);
    std::memcpy(&value, p, n);
    p += n;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const auto* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t formatLength = zero ? static_cast<size_t>(zero - data) : size;
    const uint8_t* p = zero ? zero + 1 : data + size;
    const uint8_t* end = data + size;
    try {
        kest::CStringFormat format(kest::String::FromUTF8(data, static_cast<int32_t>(formatLength)));
        for (int arguments = 0; p < end && arguments < 64; ++arguments) {
            switch (*p++ % 8) {
            case 0: format.Push(Take<int32_t>(p, end)); break;
            case 1: format.Push(Take<uint32_t>(p, end)); break;
            case 2: format.Push(Take<int64_t>(p, end)); break;
            case 3: format.Push(Take<uint64_t>(p, end)); break;
            case 4: format.Push(Take<double>(p, end)); break;
            case 5: format.Push(kest::Char{Take<uint32_t>(p, end) % 0x110000}); break;
            case 6: {
                const size_t n = static_cast<size_t>(end - p) < 16 ? static_cast<size_t>(end - p) : 16;
                format.Push(kest::String::FromUTF8(p, static_cast<int32_t>(n)));
                p += n;
                break;
            }
            default: {
                const size_t n = static_cast<size_t>(end - p) < 16 ? static_cast<size_t>(end - p) : 16;
                format.Push(kest::String::FromCodePage(reinterpret_cast<const char*>(p), static_cast<int32_t>(n)));
                p += n;
                break;
            }
            }
        }
        (void)format.Result();
    } catch (const kest::CException&) {
        // A bad field or a mismatched argument is refused: an answer, not a fault.
    }
    return 0;
}

// Times the string library against the Win32 functions that do the same work, on the same
// 16 MiB of mixed-script text, and prints each pair with the ratio ours / Win32.
#include "kest/CharEncoding.h"
#include "kest/String.h"
#include "kest/win32/Handles.h"
#include "tools/bench/Timing.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace kest;

namespace {

using bench::Best;
using bench::Report;

// x65599 hash of a counted UTF-16 string, as ntdll exports it.
struct CountedUnicode {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
using RtlHashFn = LONG(NTAPI*)(const CountedUnicode*, BOOLEAN, ULONG, ULONG*);

// Words of several scripts, picked by a fixed pseudo-random sequence.
std::string MakeText(size_t bytes) {
    static const char* const words[] = {
        "the", "disc", "burning", "Grüße", "café", "naïve", "Straße", "Ärger",         // Latin
        "привет", "диск", "запись", "файл",                                           // Cyrillic
        "γειά", "δίσκος", "εγγραφή",                                                   // Greek
        "光盘", "刻录", "文件", "数据", "音乐",                                           // CJK
        "مرحبا", "قرص",                                                               // Arabic
        "שלום", "דיסק",                                                               // Hebrew
        "ディスク", "書き込み",                                                         // Japanese
        "😀", "🎵", "𝄞",                                                              // beyond the BMP
        "data", "audio", "copy", "rip", "2010", "track", "session", "finalize",
    };
    std::string text;
    text.reserve(bytes + 64);
    uint32_t seed = 12345;
    while (text.size() < bytes) {
        seed = seed * 1103515245u + 12345u;
        text += words[(seed >> 16) % (sizeof(words) / sizeof(words[0]))];
        text += (seed & 0x700) == 0 ? ".\n" : " ";
    }
    // Cut at a character boundary.
    size_t end = bytes;
    while (end > 0 && (uint8_t(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

}  // namespace

int main() {
    const size_t kBytes = 16u << 20;
    std::string text = MakeText(kBytes);
    const int n = int(text.size());
    String utf8 = String::FromUTF8(text.data(), n);
    std::printf("%d bytes of UTF-8, %d code points\n\n", n, utf8.Length());
    int64_t sink = 0;

    // UTF-8 to UTF-16, both with their allocation.
    double ours = Best([&] { return int64_t(utf8.AsUTF16().ByteLength()); }, sink);
    double theirs = Best(
        [&] {
            int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
            std::wstring wide(size_t(units > 0 ? units : 0), L'\0');
            if (units > 0 && ::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, wide.data(), units) != units) {
                std::printf("MultiByteToWideChar failed\n");
            }
            return int64_t(wide.size());
        },
        sink);
    Report("String::AsUTF16 (UTF-8 source)", ours, "MultiByteToWideChar", theirs);

    // Counting: the size pass of the Win32 conversion does the same scan.
    ours = Best([&] { return int64_t(UTF8Encoding()->CountCharacters(text.data(), n, 0)); }, sink);
    theirs = Best([&] { return int64_t(::MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0)); }, sink);
    Report("UTF-8 CountCharacters", ours, "MultiByteToWideChar (size only)", theirs);

    String wide = utf8.AsUTF16();
    const wchar_t* units = wide.WideData();
    const int unitCount = wide.ByteLength() / 2;

    // Hashing the UTF-16 text; ntdll's hash takes at most 32767 characters at a time.
    kest::win32::UniqueModule ntdll(::LoadLibraryW(L"ntdll.dll"));
    auto rtlHash = ntdll ? reinterpret_cast<RtlHashFn>(
                               reinterpret_cast<void*>(::GetProcAddress(ntdll.get(), "RtlHashUnicodeString")))
                         : nullptr;
    ours = Best([&] { return int64_t(wide.HashCode()); }, sink);
    if (rtlHash) {
        theirs = Best(
            [&] {
                int64_t total = 0;
                for (int at = 0; at < unitCount; at += 32767) {
                    int len = unitCount - at < 32767 ? unitCount - at : 32767;
                    CountedUnicode s = {USHORT(len * 2), USHORT(len * 2), const_cast<PWSTR>(units + at)};
                    ULONG h = 0;
                    if (rtlHash(&s, FALSE, 0 /* x65599 */, &h) == 0) total += h;
                }
                return total;
            },
            sink);
        Report("String::HashCode (UTF-16)", ours, "RtlHashUnicodeString (x65599)", theirs);
    } else {
        std::printf("String::HashCode (UTF-16) %9.2f ms   (RtlHashUnicodeString not found)\n", ours);
    }

    // Comparison without case of two texts that differ only in the case of their ASCII letters,
    // so that both sides scan to the end.
    std::wstring flipped(units, size_t(unitCount));
    for (wchar_t& c : flipped) {
        if (c >= L'a' && c <= L'z') {
            c = wchar_t(c - 32);
        } else if (c >= L'A' && c <= L'Z') {
            c = wchar_t(c + 32);
        }
    }
    String other(flipped.c_str());
    int ourResult = 1, theirResult = 0;
    ours = Best([&] { return int64_t(ourResult = wide.CompareNoCase(other)); }, sink);
    theirs = Best(
        [&] {
            return int64_t(theirResult = ::CompareStringOrdinal(units, unitCount, flipped.c_str(),
                                                                int(flipped.size()), TRUE));
        },
        sink);
    Report("String::CompareNoCase (UTF-16)", ours, "CompareStringOrdinal (ignore case)", theirs);
    if (ourResult != 0 || theirResult != CSTR_EQUAL) {
        std::printf("unexpected comparison results: %d and %d\n", ourResult, theirResult);
    }

    std::printf("\n(checksum %lld)\n", static_cast<long long>(sink));
    return 0;
}

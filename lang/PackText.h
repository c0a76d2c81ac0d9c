// Text helpers shared by the pack readers.
#pragma once

#include "lang/LangTextTable.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A text key as the pack's table keeps it: UTF-8. The system's conversion (PackFiles.cpp).
std::string KeyToUtf8(const wchar_t* key, size_t length);

// An ANSI pack string in the system's code page, into text (a buffer the caller reuses); empty
// when it cannot be converted. The system's conversion (PackFiles.cpp).
void AnsiTextInto(std::wstring& text, const char* ansi, size_t length);

// The key of count UTF-16LE units, as UTF-8, into key (a buffer the caller reuses from entry to
// entry); plain ASCII, the usual case, goes straight across.
void Utf16KeyInto(std::string& key, const uint8_t* utf16le, size_t count);

// The most a pack reader takes into memory in one piece (a flat pack's body, a chunk read whole,
// a header string): far beyond any real pack, and within what a 32-bit process can allocate. A
// file that declares more is refused before anything is allocated, so that no size is ever cut
// to fit the address space.
inline constexpr int64_t kMaxPackBytes = int64_t{256} << 20;
static_assert(static_cast<uint64_t>(kMaxPackBytes) < SIZE_MAX / 2, "a pack buffer fits the address space");

// A buffer for count bytes of a pack file, held as UTF-16 units so that its texts can be used
// where they lie; one unit more than the bytes need, so that it is never empty. Null for a
// negative count or one beyond kMaxPackBytes.
std::unique_ptr<TextUnit[]> MakeUnitBuffer(int64_t bytes);

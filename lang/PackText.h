// Text helpers shared by the pack readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A text key as the pack's table keeps it: UTF-8.
std::string KeyToUtf8(const wchar_t* key, size_t length);

// The key of count UTF-16LE units, as UTF-8, into key (a buffer the caller reuses from entry to
// entry); plain ASCII, the usual case, goes straight across.
void Utf16KeyInto(std::string& key, const uint8_t* utf16le, size_t count);

// A buffer for count bytes of a pack file, held as UTF-16 units so that its texts can be used
// where they lie; one unit more than the bytes need, so that it is never empty.
std::unique_ptr<wchar_t[]> MakeUnitBuffer(size_t bytes);

// Text helpers shared by the pack readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A text key as the pack's map keeps it: UTF-8.
std::string KeyToUtf8(const wchar_t* key, size_t length);

// The resource file's hash of a key: for each UTF-16 unit c, h ^= (h << 5) + (h >> 2) + c, in
// signed 32-bit arithmetic with wrap-around and a sign-keeping right shift.
int32_t ResourceKeyHash(const uint8_t* utf16le, size_t units);

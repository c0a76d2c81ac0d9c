// Windows paths and file URIs, both ways, with the \\?\ forms for paths beyond MAX_PATH.
#pragma once

#include "kest/URI.h"

namespace kest::win32 {

// Paths from this length on take the long form (it leaves room for a file name appended later).
inline constexpr int32_t kLongPathThreshold = 240;

// The Windows path of a local URI (no scheme, or "file"): empty for no URI. A long path gets the
// \\?\ or \\?\UNC\ form on NT systems; a long relative path, or any long path elsewhere, raises
// CError. Other schemes give their own text when allowOtherSchemes is set, else the empty string.
String UriToPath(const IURI* uri, bool allowOtherSchemes, bool isNT = true);

// The file URI of a Windows path (the \\?\ forms included); a relative path gives a relative URI.
P<IURI> PathToUri(const String& path);

}  // namespace kest::win32

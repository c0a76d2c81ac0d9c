// Checks on paths that come out of a data store. A store is a file outside the program's
// control: a handler restores only what it owns, so every destination is checked against the
// registered folder or file before anything is written.
#pragma once

#include <string>

namespace kapp {

// The normalised full path of a path that could name an ordinary file: absolute (drive or UNC),
// with no "." or ".." segment, no device path (\\.\ or \\?\ other than the long form of a drive
// or UNC path), no alternate data stream, no wildcard or other character Windows refuses in
// names, no reserved device name (CON, NUL, COM1 and so on) and no segment that Windows would
// cut (trailing dots or blanks). Empty when the path is refused.
std::wstring NormalisedStorePath(const std::wstring& path);

// Whether path names something strictly inside folder; both are normalised first and compared
// segment by segment without regard to case.
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);

// Whether path names the same file as file.
bool IsSameFile(const std::wstring& path, const std::wstring& file);

// Whether name is one plain file name that can live in a folder of ours.
bool IsPlainFileName(const std::wstring& name);

// Whether two names are the same to the file system: ordinal, ignoring case the way Windows
// does. The checks above are plain text work; this comparison is the system's (FileNames.cpp).
bool SameFileName(const std::wstring& a, const std::wstring& b);

}  // namespace kapp

#include "kest/win32/Paths.h"

#include "kest/Error.h"
#include "kest/win32/Win32.h"

namespace kest::win32 {

String UriToPath(const IURI* uri, bool allowOtherSchemes, bool isNT) {
    if (!uri) return String();
    String text;
    uri->ToString(text);
    if (text.IsEmpty()) return String();
    if (!uri->IsLocal()) return allowOtherSchemes ? text : String();

    String path = uri->GetPath();
    if (path.IsNull()) path = String();
    if (path.StartsWith(String("/"))) path = path.Substring(1);
    String host = uri->GetHost();
    if (!host.IsNull() && !host.IsEmpty()) path = String("\\\\") + host + "\\" + path;
    path = path.Replace(String("/"), String("\\"));
    if (path.Length() < kLongPathThreshold) return path;

    if (isNT) {
        if (path.StartsWith(String("\\\\"))) return String("\\\\?\\UNC\\") + path.Substring(2);
        if (path.Length() >= 2 && path.CharAt(1) == ':') return String("\\\\?\\") + path;
    }
    throw CError(String("Error: Windows path is longer than MAX_PATH and the limit cannot be circumvented (path='") +
                 path + "').");
}

P<IURI> PathToUri(const String& input) {
    String path = input.IsNull() ? String() : input;
    if (path.StartsWith(String("\\\\?\\"))) {
        path = path.Substring(4);
        if (path.StartsWith(String("UNC\\"))) path = String("\\\\") + path.Substring(4);
    }
    path = path.Replace(String("\\"), String("/"));
    if (path.StartsWith(String("//"))) {
        int32_t slash = path.Find(CodePoint('/'), 2);
        String host = slash < 0 ? path.Substring(2) : path.Substring(2, slash);
        String rest = slash < 0 ? String() : path.Substring(slash + 1);
        return CURI::Create(String("file"), String::Null(), host, String::Null(), String("/") + rest);
    }
    if (path.Length() >= 2 && path.CharAt(1) == ':') {
        return CURI::Create(String("file"), String::Null(), String(), String::Null(), String("/") + path);
    }
    return CURI::Create(String::Null(), String::Null(), String::Null(), String::Null(), path);
}

}  // namespace kest::win32

namespace kest {

String SystemPathOf(const IURI* uri) noexcept {
    try {
        // The system's own version record, not the system service: an error may be built
        // before that service exists, or while it is being made.
        bool isNT = (::GetVersion() & 0x80000000u) == 0;
        String path = win32::UriToPath(uri, true, isNT);
        return path.IsNull() ? String() : path;
    } catch (...) {
        return String();
    }
}

}  // namespace kest

// Operating-system error codes turned into errors.
#include "kest/Error.h"

#include <windows.h>

#include <cstdio>

namespace kest {

namespace {

String SystemMessageText(DWORD code) {
    wchar_t text[2048];
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = ::FormatMessageW(flags, nullptr, code, LANG_USER_DEFAULT, text, DWORD(std::size(text)),
                               nullptr);
    // Systems without the message in the user's language still have it in another one.
    if (n == 0) n = ::FormatMessageW(flags, nullptr, code, 0, text, DWORD(std::size(text)), nullptr);
    if (n == 0) {
        char fallback[40];
        int len = std::snprintf(fallback, sizeof(fallback), "System error %lu.", static_cast<unsigned long>(code));
        return String::Copy(fallback, len > 0 ? len : 0);
    }
    if (n >= 2 && text[n - 2] == L'\r' && text[n - 1] == L'\n') {
        n -= 2;
    } else if (n >= 1 && text[n - 1] == L'\n') {
        n -= 1;
    }
    return String::Copy(text, int32_t(n));
}

}  // namespace

void RaiseSystemError(uint32_t code, const String& messageTemplate, const IBase* object) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        if (const IURI* uri = Cast<IURI>(object)) throw CFileNotFoundError(P<IURI>(const_cast<IURI*>(uri)));
        throw CFileNotFoundError();
    }
    String text = SystemMessageText(code);
    throw CError(messageTemplate.IsNull() ? text : messageTemplate.Replace(String("%ERRORDESC%"), text));
}

}  // namespace kest

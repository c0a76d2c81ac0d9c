// Online-services stand-in: the information-channel check and the update manager answer
// without going online, and link addresses are built on the maker's example domain.
#include <objbase.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct ProductInfo {
    std::string rootKey, userKey, product, version, edition, language;
};

struct InfoCheck {
    ProductInfo info;
    HWND parent = nullptr;
};

struct UpdateManager {
    ProductInfo info;
};

InfoCheck g_infoCheck;
std::vector<std::unique_ptr<UpdateManager>> g_updates;

std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}

std::string UrlEncode(const std::string& value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

InfoCheck* AsCheck(void* check) {
    return check == &g_infoCheck ? &g_infoCheck : nullptr;
}

UpdateManager* AsUpdate(void* update) {
    for (auto& u : g_updates)
        if (u.get() == update) return u.get();
    return nullptr;
}

}  // namespace

#define BINET_API extern "C" __declspec(dllexport)

// The real library may report a failed start-up of its own; BRV_INET_INIT=fail shows how a
// caller copes with that.
BINET_API BOOL WINAPI binet_Init(void) {
    wchar_t value[8] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"BRV_INET_INIT", value, 8);
    return n > 0 && n < 8 && ::lstrcmpiW(value, L"fail") == 0 ? FALSE : TRUE;
}

BINET_API void* WINAPI binet_InfoCheckCreate(void) {
    return &g_infoCheck;
}

BINET_API void WINAPI binet_InfoCheckSetRegistryKey(void* check, HKEY, const char* key) {
    if (InfoCheck* c = AsCheck(check)) c->info.rootKey = Text(key);
}

BINET_API void WINAPI binet_InfoCheckSetUserRegistryKey(void* check, HKEY, const char* key) {
    if (InfoCheck* c = AsCheck(check)) c->info.userKey = Text(key);
}

BINET_API void WINAPI binet_InfoCheckSetProduct(void* check, const char* productCode) {
    if (InfoCheck* c = AsCheck(check)) c->info.product = Text(productCode);
}

BINET_API void WINAPI binet_InfoCheckSetProductVersion(void* check, const char* version) {
    if (InfoCheck* c = AsCheck(check)) c->info.version = Text(version);
}

BINET_API void WINAPI binet_InfoCheckSetProductEdition(void* check, const char* edition) {
    if (InfoCheck* c = AsCheck(check)) c->info.edition = Text(edition);
}

BINET_API void WINAPI binet_InfoCheckSetProductLang(void* check, const char* language) {
    if (InfoCheck* c = AsCheck(check)) c->info.language = Text(language);
}

BINET_API void WINAPI binet_InfoCheckSetParentWindow(void* check, HWND parent) {
    if (InfoCheck* c = AsCheck(check)) c->parent = parent;
}

BINET_API const char* WINAPI binet_InfoCheckGetConfigureChannelsText(void*, int variant) {
    return variant == 0 ? "Configure information channels..." : "Information channels...";
}

BINET_API void WINAPI binet_InfoCheckDoConfig(void* check, HWND parent) {
    if (AsCheck(check))
        ::MessageBoxA(parent, "No information channels are available.", "Information channels",
                      MB_OK | MB_ICONINFORMATION);
}

BINET_API int WINAPI binet_InfoCheckStartAllAuto(void*) {
    return 0;
}

BINET_API void* WINAPI binet_UpdateManagerCreate(void) {
    g_updates.push_back(std::make_unique<UpdateManager>());
    return g_updates.back().get();
}

BINET_API void WINAPI binet_UpdateManagerSetRegistryKey(void* update, HKEY, const char* key) {
    if (UpdateManager* u = AsUpdate(update)) u->info.rootKey = Text(key);
}

BINET_API void WINAPI binet_UpdateManagerSetUserRegistryKey(void* update, HKEY, const char* key) {
    if (UpdateManager* u = AsUpdate(update)) u->info.userKey = Text(key);
}

BINET_API void WINAPI binet_UpdateManagerSetProduct(void* update, const char* productCode) {
    if (UpdateManager* u = AsUpdate(update)) u->info.product = Text(productCode);
}

BINET_API void WINAPI binet_UpdateManagerSetProductVersion(void* update, const char* version) {
    if (UpdateManager* u = AsUpdate(update)) u->info.version = Text(version);
}

BINET_API void WINAPI binet_UpdateManagerSetProductEdition(void* update, const char* edition) {
    if (UpdateManager* u = AsUpdate(update)) u->info.edition = Text(edition);
}

BINET_API void WINAPI binet_UpdateManagerSetProductLang(void* update, const char* language) {
    if (UpdateManager* u = AsUpdate(update)) u->info.language = Text(language);
}

BINET_API int WINAPI binet_UpdateManagerDoModalCheck(void* update, HWND parent, unsigned) {
    if (!AsUpdate(update)) return 0;
    ::MessageBoxA(parent, "Brenvalo Ordavia 2010 Advanced is up to date.", "Online update",
                  MB_OK | MB_ICONINFORMATION);
    return 0;
}

BINET_API void WINAPI binet_UpdateManagerDestroy(void* update) {
    for (auto it = g_updates.begin(); it != g_updates.end(); ++it) {
        if (it->get() == update) {
            g_updates.erase(it);
            return;
        }
    }
}

BINET_API char* WINAPI binet_MakeLinkTargetURL(const char* word, const char* productCode, const char* version,
                                               const char* edition, const char* language, const char* extra) {
    std::string url = "https://www.brenvalo.example/" + Text(word) + "?product=" + UrlEncode(Text(productCode)) +
                      "&version=" + UrlEncode(Text(version)) + "&edition=" + UrlEncode(Text(edition)) +
                      "&lang=" + UrlEncode(Text(language)) + "&" + Text(extra);
    auto* out = static_cast<char*>(::CoTaskMemAlloc(url.size() + 1));
    if (!out) return nullptr;
    memcpy(out, url.c_str(), url.size() + 1);
    return out;
}

// The online-services library, imported by name.
#pragma once

#include <windows.h>

extern "C" {
BOOL WINAPI binet_Init(void);
void* WINAPI binet_InfoCheckCreate(void);
void WINAPI binet_InfoCheckSetRegistryKey(void* check, HKEY root, const char* key);
void WINAPI binet_InfoCheckSetUserRegistryKey(void* check, HKEY root, const char* key);
void WINAPI binet_InfoCheckSetProduct(void* check, const char* productCode);
void WINAPI binet_InfoCheckSetProductVersion(void* check, const char* version);
void WINAPI binet_InfoCheckSetProductEdition(void* check, const char* edition);
void WINAPI binet_InfoCheckSetProductLang(void* check, const char* language);
void WINAPI binet_InfoCheckSetParentWindow(void* check, HWND parent);
const char* WINAPI binet_InfoCheckGetConfigureChannelsText(void* check, int variant);
void WINAPI binet_InfoCheckDoConfig(void* check, HWND parent);
int WINAPI binet_InfoCheckStartAllAuto(void* check);
void* WINAPI binet_UpdateManagerCreate(void);
void WINAPI binet_UpdateManagerSetRegistryKey(void* update, HKEY root, const char* key);
void WINAPI binet_UpdateManagerSetUserRegistryKey(void* update, HKEY root, const char* key);
void WINAPI binet_UpdateManagerSetProduct(void* update, const char* productCode);
void WINAPI binet_UpdateManagerSetProductVersion(void* update, const char* version);
void WINAPI binet_UpdateManagerSetProductEdition(void* update, const char* edition);
void WINAPI binet_UpdateManagerSetProductLang(void* update, const char* language);
int WINAPI binet_UpdateManagerDoModalCheck(void* update, HWND parent, unsigned flags);
void WINAPI binet_UpdateManagerDestroy(void* update);
char* WINAPI binet_MakeLinkTargetURL(const char* word, const char* productCode, const char* version,
                                     const char* edition, const char* language, const char* extra);
}

// The library's functions as the shell calls them: the imported ones, unless a test has put
// its own in to see what the shell asks for.
struct BinetFunctions {
    decltype(&binet_Init) init;
    decltype(&binet_InfoCheckCreate) infoCheckCreate;
    decltype(&binet_InfoCheckSetRegistryKey) infoCheckSetRegistryKey;
    decltype(&binet_InfoCheckSetUserRegistryKey) infoCheckSetUserRegistryKey;
    decltype(&binet_InfoCheckSetProduct) infoCheckSetProduct;
    decltype(&binet_InfoCheckSetProductVersion) infoCheckSetProductVersion;
    decltype(&binet_InfoCheckSetProductEdition) infoCheckSetProductEdition;
    decltype(&binet_InfoCheckSetProductLang) infoCheckSetProductLang;
    decltype(&binet_InfoCheckSetParentWindow) infoCheckSetParentWindow;
    decltype(&binet_InfoCheckGetConfigureChannelsText) infoCheckGetConfigureChannelsText;
    decltype(&binet_InfoCheckDoConfig) infoCheckDoConfig;
    decltype(&binet_InfoCheckStartAllAuto) infoCheckStartAllAuto;
    decltype(&binet_UpdateManagerCreate) updateManagerCreate;
    decltype(&binet_UpdateManagerSetRegistryKey) updateManagerSetRegistryKey;
    decltype(&binet_UpdateManagerSetUserRegistryKey) updateManagerSetUserRegistryKey;
    decltype(&binet_UpdateManagerSetProduct) updateManagerSetProduct;
    decltype(&binet_UpdateManagerSetProductVersion) updateManagerSetProductVersion;
    decltype(&binet_UpdateManagerSetProductEdition) updateManagerSetProductEdition;
    decltype(&binet_UpdateManagerSetProductLang) updateManagerSetProductLang;
    decltype(&binet_UpdateManagerDoModalCheck) updateManagerDoModalCheck;
    decltype(&binet_UpdateManagerDestroy) updateManagerDestroy;
    decltype(&binet_MakeLinkTargetURL) makeLinkTargetURL;
};

const BinetFunctions& OnlineServices();
// Puts another set of functions in; null restores the library's. Answers the previous set.
const BinetFunctions* SetOnlineServices(const BinetFunctions* functions);

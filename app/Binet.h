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

// Opens web addresses and documents with the system's default handler.
#pragma once

#include <windows.h>

#include <string>

// Tells the user when the address could not be opened.
void OpenInBrowser(const std::wstring& address);

// Tests replace the function that opens the address; null restores ShellExecuteW.
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                                LPCWSTR folder, INT show);
ShellExecuteFunction SetShellExecuteFunction(ShellExecuteFunction fn);

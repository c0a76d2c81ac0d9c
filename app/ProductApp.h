// The application base: the framework application plus the product-value readers and the
// module helpers that every program of the suite uses.
#pragma once

#include "app/Framework.h"

#include <string>

class CProductApp : public CFrameworkApp {
public:
    // The product's key below "SOFTWARE\", for example "maker\Product".
    explicit CProductApp(std::wstring productRegistryKey) : m_productRegistryKey(std::move(productRegistryKey)) {}

    // A REG_SZ value of SOFTWARE\<key>[\<section>], current user first, then the machine.
    std::wstring ReadProductString(const std::wstring& section, const std::wstring& entry,
                                   const std::wstring& defaultValue) const;
    // A REG_DWORD value of exactly 4 bytes, looked up the same way.
    int ReadProductInt(const std::wstring& section, const std::wstring& entry, int defaultValue) const;

    // Drive and folder of the running executable, ending in "\".
    std::wstring GetApplicationFolder() const;
    // LoadLibraryW; on failure, when asked, tells the user which library is missing.
    HMODULE LoadModuleWithMessage(const std::wstring& fileName, bool report) const;

private:
    std::wstring ProductKeyPath(const std::wstring& section) const;
    std::wstring m_productRegistryKey;
};

// One handler per registered item: a registry key with everything below it, a folder with
// everything below it, or one file. A handler writes its item into the archive being saved and
// describes it in the description, puts it back from an archive being read, and removes it from
// the host machine when its flags ask for that.
#pragma once

#include "kapp/ApplicationManager.h"
#include "kapp/ZipManagers.h"
#include "kest/Object.h"
#include "kest/String.h"
#include "kest/URI.h"

#include <wx/xml/xml.h>

#include <windows.h>

#include <cstdint>
#include <string>

namespace kapp {

class IDataStoreHandler {
public:
    virtual ~IDataStoreHandler() = default;
    // Writes the item into the archive and appends its element (named section) to parent.
    virtual void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) = 0;
    // Called once the archive that Save wrote into is safely in place.
    virtual void Saved() {}
    virtual void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) = 0;
    // Removes the item from the host machine when the flags ask for it; never raises. An item
    // that the last Save was to store and could not stays: it exists nowhere else.
    virtual void Clear() = 0;
    virtual const kest::String& Name() const = 0;
};

class CRegistrySectionHandler : public IDataStoreHandler {
public:
    // Raises CAppmanError 13 when the root name holds "/" or "\" or names no registry root.
    // The key path begins with "\".
    // The registry editor is found on the search path by its file name.
    CRegistrySectionHandler(const kest::String& name, const kest::String& rootName, const kest::String& keyPath,
                            int32_t flags, const std::wstring& editor = L"regedit.exe");

    void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) override;
    void Saved() override;
    void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) override;
    void Clear() override;
    const kest::String& Name() const override { return m_name; }

    // The key as the registry editor names it: root name followed by the key path.
    std::wstring KeyName() const;
    // Whether every key that a registry file writes or deletes lies in this handler's key. A
    // store is a file outside the program's control; its registry file is applied only then.
    bool IsFileConfined(const std::wstring& path) const;

private:
    void RemoveKey() noexcept;

    HKEY m_root;
    kest::String m_rootName;
    kest::String m_keyPath;
    kest::String m_name;
    int32_t m_flags;
    std::wstring m_editor;
    bool m_exported = false;    // the last Save stored the key
    bool m_keepOnHost = false;  // the last Save was to store the key and could not
};

class CFolderHandler : public IDataStoreHandler {
public:
    CFolderHandler(const kest::String& name, kest::IURI* folder, int32_t flags);

    void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) override;
    void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) override;
    void Clear() override;
    const kest::String& Name() const override { return m_name; }

private:
    kest::P<kest::IURI> m_folder;
    kest::String m_name;
    int32_t m_flags;
};

class CFileHandler : public IDataStoreHandler {
public:
    CFileHandler(const kest::String& name, kest::IURI* file, int32_t flags);

    void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) override;
    void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) override;
    void Clear() override;
    const kest::String& Name() const override { return m_name; }

private:
    kest::P<kest::IURI> m_file;
    int32_t m_flags;
    kest::String m_name;
};

// The full path of a program as SearchPathW finds it in the default order, or empty.
std::wstring FindOnSearchPath(const std::wstring& fileName);

// Starts the program with the parameter text and waits for it at most seconds. 0 when it was
// started, else the system's error code. The exit code is not examined.
uint32_t RunAndWait(const std::wstring& programPath, const std::wstring& parameters, uint32_t seconds);

// How long the registry editor may take for one item.
inline constexpr uint32_t kRegistryEditorSeconds = 30;

}  // namespace kapp

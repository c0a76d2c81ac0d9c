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
#include <vector>

namespace kapp {

class IDataStoreHandler {
public:
    virtual ~IDataStoreHandler() = default;
    // The store being replaced and this handler's element in it (either may be null), for the
    // next Save: what the handler cannot take from the host, or did not get back from that
    // store at Start, it carries over from there unchanged instead of losing it.
    virtual void SetPrevious(IDataLoadManager* load, const wxXmlNode* item) = 0;
    // Writes the item into the archive and appends its element (named section) to parent.
    virtual void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) = 0;
    // Whether the last Save had to leave something of the item out: it could not be read from
    // the host. What could be carried over from the previous store was.
    virtual bool SaveIncomplete() const = 0;
    // Called once the archive that Save wrote into is safely in place.
    virtual void Saved() {}
    virtual void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) = 0;
    // Removes the item from the host machine when the flags ask for it; never raises. An item
    // that the last Save was to store and could not stays: it exists nowhere else.
    virtual void Clear() = 0;
    virtual const kest::String& Name() const = 0;
};

// An item element's mark for an item (or part of one) that could not be stored and was left on
// the host: the next start does not clear it, or it would exist nowhere.
inline const wxChar kKeptOnHostAttribute[] = wxS("onhost");
// On a registry item: the outermost key above the section that was missing before the manager
// first restored the section (below the root's first level). A run that ended without its stop
// left those keys behind; the next one still knows that they are the manager's to remove.
inline const wxChar kCreatedAboveAttribute[] = wxS("createdabove");

// What the three handlers share: the previous store for carrying items over, and what the last
// Load could not put back.
class CStoreHandlerBase : public IDataStoreHandler {
public:
    void SetPrevious(IDataLoadManager* load, const wxXmlNode* item) override {
        m_previousLoad = load;
        m_previousItem = item;
    }
    bool SaveIncomplete() const override { return m_incomplete; }

protected:
    // Copies the previous store's entry into the new store under entryName, through a work
    // file; false when there is no previous store or it lacks the entry.
    bool CarryEntry(IDataSaveManager& save, const wxString& previousEntry, const kest::String& entryName);

    IDataLoadManager* m_previousLoad = nullptr;
    const wxXmlNode* m_previousItem = nullptr;
    bool m_incomplete = false;
};

class CRegistrySectionHandler : public CStoreHandlerBase {
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
    bool KeyExists() const;
    std::vector<std::wstring> Ancestors() const;
    void NoteMissingAncestors();
    void NoteCreatedAbove(const std::wstring& outermost);

    HKEY m_root;
    kest::String m_rootName;
    kest::String m_keyPath;
    kest::String m_name;
    int32_t m_flags;
    std::wstring m_editor;
    bool m_exported = false;     // the last Save stored the key
    bool m_keepOnHost = false;   // the last Save was to store the key and could not
    bool m_notRestored = false;  // the last Load did not put the key back
    bool m_ancestorsNoted = false;
    std::vector<std::wstring> m_missingAncestors;  // keys above the section, outermost first
};

class CFolderHandler : public CStoreHandlerBase {
public:
    CFolderHandler(const kest::String& name, kest::IURI* folder, int32_t flags);

    void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) override;
    void Saved() override;
    void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) override;
    void Clear() override;
    const kest::String& Name() const override { return m_name; }

private:
    kest::P<kest::IURI> m_folder;
    kest::String m_name;
    int32_t m_flags;
    bool m_keepOnHost = false;
    std::vector<std::wstring> m_notRestored;  // files the last Load did not put back
};

class CFileHandler : public CStoreHandlerBase {
public:
    CFileHandler(const kest::String& name, kest::IURI* file, int32_t flags);

    void Save(IDataSaveManager& save, wxXmlNode& parent, const wxString& section) override;
    void Saved() override;
    void Load(IDataLoadManager& load, const wxXmlNode& item, const wxString& section) override;
    void Clear() override;
    const kest::String& Name() const override { return m_name; }

private:
    kest::P<kest::IURI> m_file;
    int32_t m_flags;
    kest::String m_name;
    bool m_keepOnHost = false;
    bool m_notRestored = false;
};

// The full path of a program as SearchPathW finds it in the default order, or empty.
std::wstring FindOnSearchPath(const std::wstring& fileName);

// How a program run by RunProgram ended.
struct RunResult {
    uint32_t startError = 0;  // 0 when it was started, else the system's error code
    bool finished = false;    // it ended within the time; one that did not was ended
    uint32_t exitCode = 0;
    bool Succeeded() const { return startError == 0 && finished && exitCode == 0; }
};

// Starts the program with the parameter text and waits for it at most seconds; a program still
// running then is ended, so that it cannot go on working on files the caller has moved on from.
RunResult RunProgram(const std::wstring& programPath, const std::wstring& parameters, uint32_t seconds);

// The same, answering only whether it started: 0 when it was, else the system's error code.
uint32_t RunAndWait(const std::wstring& programPath, const std::wstring& parameters, uint32_t seconds);

// How long the registry editor may take for one item.
inline constexpr uint32_t kRegistryEditorSeconds = 30;

}  // namespace kapp

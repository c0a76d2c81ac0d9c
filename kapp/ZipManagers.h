// The data store's archive: a save manager that writes a new archive entry by entry, and a load
// manager that opens an existing one and hands out its entries. Both go through the scrambled
// file streams, and each keeps a private working folder that it removes when it goes.
//
//     CZipSaveManager save(storeUri);              // writes beside the store, not over it
//     save.AddFile(fileUri, true);
//     save.AddXmlDocument(description, String("@@portable@@_description.xml"));
//     save.Commit();                               // only now the store is replaced
//
//     CZipLoadManager load(storeUri);              // CAppmanError 17 when there is none
//     std::unique_ptr<wxXmlDocument> doc = load.LoadXmlDocument(String("@@portable@@_description.xml"));
//
// Entry names are given as native paths or plain names; both sides turn them into the archive's
// internal form (backslashes become "/", drive and leading separators are dropped), so they agree.
#pragma once

#include "kest/Object.h"
#include "kest/String.h"
#include "kest/URI.h"
#include "kapp/ZipReader.h"

#include <wx/wfstream.h>
#include <wx/xml/xml.h>
#include <wx/zipstrm.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kapp {

class IDataSaveManager {
public:
    virtual ~IDataSaveManager() = default;
    // Stores the file's bytes under its full native path (fullPath) or its plain name. False when
    // the file does not exist or cannot be opened; a failure while writing raises, because the
    // archive can no longer be finished.
    virtual bool AddFile(kest::IURI* file, bool fullPath) = 0;
    // Stores the file's bytes under the internal form of entryName; otherwise as AddFile.
    virtual bool AddFileAs(kest::IURI* file, const kest::String& entryName) = 0;
    // A new, not yet existing file in the working folder: folder + prefix + counter + suffix.
    virtual kest::P<kest::IURI> CreateWorkFile(const kest::String& prefix, const kest::String& suffix) = 0;
    // prefix + counter + suffix; the counter is shared with CreateWorkFile.
    virtual kest::String MakeEntryName(const kest::String& prefix, const kest::String& suffix) = 0;
    virtual bool AddXmlDocument(const wxXmlDocument& document, const kest::String& entryName) = 0;
    // Finishes the archive and puts it in place of the old one. Until then the old archive is
    // untouched; a manager destroyed without Commit leaves nothing behind.
    virtual void Commit() = 0;
};

class IDataLoadManager {
public:
    virtual ~IDataLoadManager() = default;
    virtual kest::P<kest::IURI> GetWorkFolder() = 0;
    // Writes the entry's bytes beside the target and then puts them in its place (its folders
    // are made as needed). False when the entry is missing or its data cannot be read: the
    // target is then as it was. Raises when the complete file cannot take the target's place.
    virtual bool ExtractFile(const kest::String& entryName, kest::IURI* target) = 0;
    // The same for a target given as a Windows path.
    virtual bool ExtractFileTo(const kest::String& entryName, const std::wstring& path) = 0;
    // The parsed document, or null when the entry is missing, too large or does not parse.
    virtual std::unique_ptr<wxXmlDocument> LoadXmlDocument(const kest::String& entryName) = 0;
};

// Opens the stream an archive is written through; tests put a failing one in.
using ArchiveStreamOpener = std::function<std::unique_ptr<wxOutputStream>(const wxString& path)>;

class CZipSaveManager : public IDataSaveManager {
public:
    // Writes into a new file beside the archive; the archive's folder is made when missing.
    explicit CZipSaveManager(kest::IURI* archive, ArchiveStreamOpener opener = {});
    ~CZipSaveManager() override;
    CZipSaveManager(const CZipSaveManager&) = delete;
    CZipSaveManager& operator=(const CZipSaveManager&) = delete;

    bool AddFile(kest::IURI* file, bool fullPath) override;
    bool AddFileAs(kest::IURI* file, const kest::String& entryName) override;
    kest::P<kest::IURI> CreateWorkFile(const kest::String& prefix, const kest::String& suffix) override;
    kest::String MakeEntryName(const kest::String& prefix, const kest::String& suffix) override;
    bool AddXmlDocument(const wxXmlDocument& document, const kest::String& entryName) override;
    void Commit() override;

    // The working folder, null until first needed.
    kest::P<kest::IURI> WorkFolder() const { return m_workFolder; }

private:
    [[noreturn]] void RaiseWriteError();
    void CheckWritten();
    void Discard() noexcept;

    std::wstring m_archivePath;
    std::wstring m_partialPath;  // the new archive until Commit
    std::unique_ptr<wxZipOutputStream> m_zip;  // owns the latch, which owns the file stream
    class CWriteLatch* m_latch = nullptr;       // owned through m_zip
    kest::P<kest::IURI> m_workFolder;
    int32_t m_counter = 0;
    bool m_committed = false;
};

class CZipLoadManager : public IDataLoadManager {
public:
    // Reads the archive's directory. Raises CAppmanError 17 when the archive does not exist and
    // the system's error when it cannot be opened (after a short wait while another program
    // holds it); an archive that cannot be read as a scrambled zip gives no entries.
    explicit CZipLoadManager(kest::IURI* archive);
    ~CZipLoadManager() override;
    CZipLoadManager(const CZipLoadManager&) = delete;
    CZipLoadManager& operator=(const CZipLoadManager&) = delete;

    kest::P<kest::IURI> GetWorkFolder() override;
    bool ExtractFile(const kest::String& entryName, kest::IURI* target) override;
    std::unique_ptr<wxXmlDocument> LoadXmlDocument(const kest::String& entryName) override;
    bool ExtractFileTo(const kest::String& entryName, const std::wstring& path) override;

    // Whether the whole directory was read without error.
    bool IsReadable() const;
    size_t EntryCount() const;
    bool HasEntry(const kest::String& entryName) const;

    using EntryInfo = ZipEntryInfo;
    // What the directory holds, in order of internal names (a name given twice shows once, the
    // later entry).
    std::vector<EntryInfo> Entries() const;
    // The working folder, null until first needed.
    kest::P<kest::IURI> WorkFolder() const { return m_workFolder; }

    // Limits a hostile archive: entries read from its directory, bytes of a description.
    static constexpr size_t kMaxEntries = CZipReader::kMaxEntries;
    static constexpr wxFileOffset kMaxDocumentSize = CZipReader::kMaxDocumentSize;

private:
    std::unique_ptr<CZipReader> m_reader;  // owns the scrambled file stream
    kest::P<kest::IURI> m_workFolder;
    std::wstring m_lastFolder;  // the folder of the last extraction, known to exist
};

// Puts source in place of target durably: flushed to the disk first, then moved over the target
// with write-through, retried for a short while when another program holds the target open.
// Raises CError on failure; the target is then unchanged.
void ReplaceFileDurably(const std::wstring& source, const std::wstring& target);

// Whether a system error code says that another program holds the file for the moment.
bool IsHeldByAnother(uint32_t code);
// Runs step (which reports failure with false and the thread's last error) again for a short
// while as long as another program holds the file; raises the last error when it gives up.
void RetryWhileHeld(const std::function<bool()>& step);

}  // namespace kapp

// Reading a data store archive from a plain (already unscrambled) stream: its directory, an
// entry's data and the description document. No file or system call happens here; the load
// manager (ZipManagers.cpp) opens the scrambled file and writes what is extracted.
//
//     CZipReader reader(std::make_unique<CCryptedInputFileStream>(path));
//     if (wxZipEntry* entry = reader.Find(String("regsection.1.reg"))) reader.CopyEntry(*entry, output);
#pragma once

#include "kest/String.h"

#include <wx/stream.h>
#include <wx/xml/xml.h>
#include <wx/zipstrm.h>

#include <map>
#include <memory>
#include <vector>

namespace kapp {

struct ZipEntryInfo {
    wxString name;               // internal form, as lookups take it
    wxFileOffset size;           // as the directory gives it, -1 when unknown
    wxFileOffset compressedSize;
    bool isDir;
};

class CZipReader {
public:
    // Limits a hostile archive: entries read from its directory, bytes of a description.
    static constexpr size_t kMaxEntries = 1000000;
    static constexpr wxFileOffset kMaxDocumentSize = 64 * 1024 * 1024;

    // Reads the directory of the archive in the stream, which the reader keeps. An archive that
    // cannot be read gives no entries, or those before the damage.
    explicit CZipReader(std::unique_ptr<wxInputStream> plain);
    ~CZipReader();
    CZipReader(const CZipReader&) = delete;
    CZipReader& operator=(const CZipReader&) = delete;

    // Whether the whole directory was read without error.
    bool IsReadable() const { return m_readable; }
    size_t EntryCount() const { return m_entries.size(); }
    // The entry of the name given as a native path or plain name, or null.
    wxZipEntry* Find(const kest::String& entryName) const;
    // What the directory holds, in order of internal names (a name given twice shows once, the
    // later entry).
    std::vector<ZipEntryInfo> Entries() const;

    // Writes the entry's data into output, never more than the directory promised. True when
    // all of it arrived, its CRC matched and output took every byte.
    bool CopyEntry(wxZipEntry& entry, wxOutputStream& output);
    // The parsed description document of the entry, or null when it is missing, a folder, too
    // large or does not parse.
    std::unique_ptr<wxXmlDocument> LoadXmlDocument(const kest::String& entryName);

private:
    std::unique_ptr<wxZipInputStream> m_zip;  // owns the plain stream
    std::map<wxString, std::unique_ptr<wxZipEntry>> m_entries;
    bool m_readable = false;
};

// The archive's internal form of an entry name given as a native path or plain name.
wxString InternalEntryName(const kest::String& name);

}  // namespace kapp

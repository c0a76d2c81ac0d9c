#include "kapp/ZipReader.h"

#include "kapp/Description.h"
#include "kapp/Text.h"

#include <wx/log.h>

namespace kapp {

namespace {

constexpr size_t kCopyBuffer = 64 * 1024;

// Stops a stream after a number of bytes, so that a hostile entry that inflates without end
// cannot fill the memory of whoever reads it.
class CLimitedInputStream : public wxFilterInputStream {
public:
    CLimitedInputStream(wxInputStream& stream, wxFileOffset limit) : wxFilterInputStream(stream), m_left(limit) {}
    bool Exceeded() const { return m_exceeded; }

protected:
    size_t OnSysRead(void* buffer, size_t size) override {
        if (m_left <= 0) {
            // One byte more than allowed means the entry is too large.
            char probe;
            if (m_parent_i_stream->Read(&probe, 1).LastRead() > 0) m_exceeded = true;
            m_lasterror = m_exceeded ? wxSTREAM_READ_ERROR : wxSTREAM_EOF;
            return 0;
        }
        if (wxFileOffset(size) > m_left) size = size_t(m_left);
        const size_t n = m_parent_i_stream->Read(buffer, size).LastRead();
        m_left -= wxFileOffset(n);
        if (n == 0) m_lasterror = m_parent_i_stream->GetLastError();
        return n;
    }

private:
    wxFileOffset m_left;
    bool m_exceeded = false;
};

}  // namespace

wxString InternalEntryName(const kest::String& name) {
    return wxZipEntry::GetInternalName(ToWx(FromStd(WithoutLongPrefix(ToStd(name)))), wxPATH_DOS);
}

CZipReader::CZipReader(std::unique_ptr<wxInputStream> plain) {
    wxLogNull quiet;
    // Names without the UTF-8 flag come from archives written elsewhere, in the local code page.
    m_zip = std::make_unique<wxZipInputStream>(plain.release(), wxConvLocal);
    while (m_entries.size() < kMaxEntries) {
        std::unique_ptr<wxZipEntry> entry(m_zip->GetNextEntry());
        if (!entry) break;
        const wxString name = entry->GetInternalName();
        m_entries[name] = std::move(entry);  // a later entry of the same name wins
    }
    m_readable = m_zip->GetLastError() == wxSTREAM_EOF;
}

CZipReader::~CZipReader() {
    m_entries.clear();
    wxLogNull quiet;
    m_zip.reset();
}

wxZipEntry* CZipReader::Find(const kest::String& entryName) const {
    const wxString name = InternalEntryName(entryName);
    if (name.empty()) return nullptr;
    auto it = m_entries.find(name);
    return it == m_entries.end() ? nullptr : it->second.get();
}

std::vector<ZipEntryInfo> CZipReader::Entries() const {
    std::vector<ZipEntryInfo> entries;
    entries.reserve(m_entries.size());
    for (const auto& [name, entry] : m_entries)
        entries.push_back({name, entry->GetSize(), entry->GetCompressedSize(), entry->IsDir()});
    return entries;
}

bool CZipReader::CopyEntry(wxZipEntry& entry, wxOutputStream& output) {
    wxLogNull quiet;
    if (!m_zip->OpenEntry(entry)) return false;
    // No more than the directory promised: a lying entry cannot fill the disk.
    const wxFileOffset limit = entry.GetSize() >= 0 ? entry.GetSize() : wxFileOffset(0);
    CLimitedInputStream input(*m_zip, limit);
    auto buffer = std::make_unique<char[]>(kCopyBuffer);
    bool ok = true;
    for (;;) {
        const size_t n = input.Read(buffer.get(), kCopyBuffer).LastRead();
        if (n == 0) break;
        if (output.Write(buffer.get(), n).LastWrite() != n) {
            ok = false;
            break;
        }
    }
    // The zip stream checks the data's CRC at the end of the entry.
    ok = ok && !input.Exceeded() && input.GetLastError() == wxSTREAM_EOF && m_zip->GetLastError() == wxSTREAM_EOF;
    m_zip->CloseEntry();
    return ok;
}

std::unique_ptr<wxXmlDocument> CZipReader::LoadXmlDocument(const kest::String& entryName) {
    wxZipEntry* entry = Find(entryName);
    if (!entry || entry->IsDir() || entry->GetSize() > kMaxDocumentSize) return nullptr;
    wxLogNull quiet;
    if (!m_zip->OpenEntry(*entry)) return nullptr;
    CLimitedInputStream input(*m_zip, kMaxDocumentSize);
    std::unique_ptr<wxXmlDocument> document = ReadDescription(input);
    const bool loaded = document && !input.Exceeded();
    m_zip->CloseEntry();
    return loaded ? std::move(document) : nullptr;
}

}  // namespace kapp

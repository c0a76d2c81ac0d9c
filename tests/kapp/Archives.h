// Archives composed by the tests: a description given as XML text and entries from files.
#pragma once

#include "Support.h"
#include "kapp/CryptedFileStream.h"
#include "kapp/Description.h"
#include "kapp/ZipManagers.h"

#include <wx/mstream.h>
#include <wx/xml/xml.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kapp_test {

inline std::unique_ptr<wxXmlDocument> ParseXml(const std::string& text) {
    wxMemoryInputStream in(text.data(), text.size());
    auto document = std::make_unique<wxXmlDocument>();
    EXPECT_TRUE(document->Load(in, wxString("UTF-8"), 0)) << text;
    return document;
}

struct ArchiveEntry {
    std::wstring name;   // as given to the save manager
    std::string bytes;
};

// Writes a scrambled archive with the entries and, when descriptionXml is not empty, the
// description. Entry contents go through files in scratch.
inline void WriteArchive(const std::wstring& archive, const std::string& descriptionXml,
                         const std::vector<ArchiveEntry>& entries) {
    TempFolder scratch(L"compose");
    kapp::CZipSaveManager save(Uri(archive).Get());
    int n = 0;
    for (const ArchiveEntry& entry : entries) {
        const std::wstring file = scratch / (L"e" + std::to_wstring(++n));
        WriteBytes(file, entry.bytes);
        ASSERT_TRUE(save.AddFileAs(Uri(file).Get(), kapp::FromStd(entry.name)));
    }
    if (!descriptionXml.empty()) {
        auto document = ParseXml(descriptionXml);
        ASSERT_TRUE(save.AddXmlDocument(*document, kest::String(kapp::kDescriptionEntry)));
    }
    save.Commit();
}

// Text for XML attributes from a path (no escaping needed for the paths the tests use).
inline std::string Attr(const std::wstring& text) {
    wxString wx(text);
    return std::string(wx.utf8_str());
}

// A store stream that fails after some bytes, as a full disk would.
class CFailingStream : public kapp::CCryptedOutputFileStream {
public:
    CFailingStream(const wxString& path, size_t budget) : CCryptedOutputFileStream(path), m_budget(budget) {}

protected:
    size_t WriteScrambled(const void* buffer, size_t size) override {
        if (size > m_budget) {
            m_budget = 0;  // a full disk stays full
            m_lasterror = wxSTREAM_WRITE_ERROR;
            return 0;
        }
        m_budget -= size;
        return CCryptedOutputFileStream::WriteScrambled(buffer, size);
    }

private:
    size_t m_budget;
};

// Bytes that do not compress.
inline std::string Noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    return bytes;
}

}  // namespace kapp_test

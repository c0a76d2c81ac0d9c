// The data store: a zip archive, which the target scrambles as the save manager's stream would
// (so that the fuzzer works on the zip's own bytes and its magic numbers) and writes to an
// in-memory file. The program's scrambled file stream reads it back, and the archive's
// directory, every entry's data and the description document are read as the load manager
// reads them.
#include "kapp/CryptedFileStream.h"
#include "fuzz/WxSetup.h"
#include "kapp/Description.h"
#include "kapp/ZipReader.h"

#include <wx/stream.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Discards what it is given, as a file would take it.
class CNullOutputStream final : public wxOutputStream {
protected:
    size_t OnSysWrite(const void*, size_t size) override { return size; }
};

// One in-memory file for the whole run, rewritten for every input.
const wxString& ArchivePath() {
    static const wxString path = [] {
        const int fd = ::memfd_create("zip_store", 0);
        if (fd < 0) std::abort();
        return wxString::Format("/proc/self/fd/%d", fd);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const wxString& path = ArchivePath();
    {
        std::vector<uint8_t> scrambled(data, data + size);
        kapp::ScrambleBuffer(scrambled.data(), scrambled.size(), 0);
        FILE* file = std::fopen(path.utf8_str(), "wb");
        if (!file || (size && std::fwrite(scrambled.data(), 1, size, file) != size) || std::fclose(file) != 0)
            std::abort();
    }
    auto stream = std::make_unique<kapp::CCryptedInputFileStream>(path);
    if (!stream->IsOk()) std::abort();
    kapp::CZipReader reader(std::move(stream));
    for (const kapp::ZipEntryInfo& info : reader.Entries()) {
        wxZipEntry* entry = reader.Find(kest::String::Copy(info.name.wc_str()));
        if (!entry) continue;
        if (info.isDir) continue;
        CNullOutputStream output;
        (void)reader.CopyEntry(*entry, output);
    }
    (void)reader.LoadXmlDocument(kest::String(kapp::kDescriptionEntry));
    return 0;
}

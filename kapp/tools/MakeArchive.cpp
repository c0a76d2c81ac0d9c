// Composes a scrambled data store archive: the description document and any files, each
// under the entry name given.
//
//     kapp_archive init.zip description.xml [entry=file ...]
#include "kapp/Description.h"
#include "kapp/Text.h"
#include "kapp/ZipManagers.h"
#include "kest/Error.h"
#include "kest/String.h"

#include <wx/init.h>
#include <wx/wfstream.h>
#include <wx/xml/xml.h>

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fputs("usage: kapp_archive <archive> <description.xml> [entry=file ...]\n", stderr);
        return 2;
    }
    wxInitializer wx;
    if (!wx.IsOk()) return 3;
    try {
        wxXmlDocument description;
        {
            wxFileInputStream in{wxString(argv[2])};
            if (!in.IsOk() || !description.Load(in, wxString("UTF-8"), 0) || !description.GetRoot()) {
                std::fputs("kapp_archive: the description cannot be read\n", stderr);
                return 1;
            }
        }
        wchar_t full[4096];
        if (!::GetFullPathNameW(argv[1], DWORD(std::size(full)), full, nullptr)) return 1;
        kapp::CZipSaveManager save(kapp::UriOf(full).Get());
        for (int i = 3; i < argc; ++i) {
            const std::wstring pair = argv[i];
            const size_t equals = pair.find(L'=');
            if (equals == std::wstring::npos) {
                std::fputs("kapp_archive: files are given as entry=file\n", stderr);
                return 2;
            }
            wchar_t file[4096];
            if (!::GetFullPathNameW(pair.substr(equals + 1).c_str(), DWORD(std::size(file)), file, nullptr) ||
                !save.AddFileAs(kapp::UriOf(file).Get(), kapp::FromStd(pair.substr(0, equals)))) {
                std::fprintf(stderr, "kapp_archive: cannot add %ls\n", pair.c_str());
                return 1;
            }
        }
        save.AddXmlDocument(description, kest::String(kapp::kDescriptionEntry));
        save.Commit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kapp_archive: %s\n", e.what());
        return 1;
    }
    return 0;
}

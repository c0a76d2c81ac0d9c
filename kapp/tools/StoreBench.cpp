// Times the data store against plain wxWidgets zip files and the scrambled streams against
// plain file streams, and prints each pair with the ratio ours / plain:
//
//   - a folder of 2 000 files, 200 MiB in all, saved and restored by the portable manager, and
//     the same files through a plain zip without scrambling;
//   - 64 MiB written and read through the scrambled streams and through plain file streams.
//
//     tools/wine-run.sh build64/bin/kapp_bench.exe [files] [MiB]
#include "kapp/CryptedFileStream.h"
#include "kapp/PortableAppManager.h"
#include "kapp/Text.h"
#include "kest/System.h"
#include "kest/win32/Handles.h"

#include <wx/dir.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

double Seconds(const std::function<void()>& work) {
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    work();
    ::QueryPerformanceCounter(&end);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// The best of some runs: the least disturbed by other work on the machine.
double Best(const std::function<void()>& prepare, const std::function<void()>& work, int runs = 3) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        prepare();
        best = std::min(best, Seconds(work));
    }
    return best;
}

void Report(const char* what, double ours, double plain) {
    std::printf("%-34s %9.3f s  plain %9.3f s  ratio %.3f\n", what, ours, plain, ours / plain);
}

// Text-like bytes that compress about as settings files and documents do.
std::string Content(size_t size, uint32_t seed) {
    static const char* const words[] = {"disc ", "burn ", "track ", "session=", "1\r\n", "audio ", "data ",
                                        "value ", "0x7F3A ", "name=", "C:\\Music\\", "true\r\n"};
    std::string bytes;
    bytes.reserve(size + 16);
    while (bytes.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        bytes += words[(seed >> 24) % std::size(words)];
        if ((seed & 0xF) == 0) bytes += char('A' + (seed >> 8) % 26);
    }
    bytes.resize(size);
    return bytes;
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
    kest::win32::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr)) {
        std::fprintf(stderr, "cannot write %ls\n", path.c_str());
        std::exit(1);
    }
}

void RemoveTree(const std::wstring& path) {
    kest::P<kest::IURI> uri = kapp::UriOf(path);
    auto& system = kest::GetSystem();
    if (system->PathExists(uri.Get())) system->DeleteFolderTree(uri.Get());
}

void PlainZipSave(const std::wstring& folder, const std::wstring& archive) {
    wxArrayString files;
    wxDir::GetAllFiles(wxString(folder), &files, wxString(), wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN);
    wxFileOutputStream file{wxString(archive)};
    wxZipOutputStream zip(file, -1, wxConvUTF8);
    std::vector<char> buffer(64 * 1024);
    for (const wxString& path : files) {
        wxFileInputStream in(path);
        zip.PutNextEntry(wxZipEntry::GetInternalName(path, wxPATH_DOS));
        for (;;) {
            const size_t n = in.Read(buffer.data(), buffer.size()).LastRead();
            if (n == 0) break;
            zip.Write(buffer.data(), n);
        }
        zip.CloseEntry();
    }
    zip.Close();
}

void PlainZipRestore(const std::wstring& archive, const std::wstring& drive) {
    wxFileInputStream file{wxString(archive)};
    wxZipInputStream zip(file);
    std::vector<char> buffer(64 * 1024);
    std::set<std::wstring> made;
    for (std::unique_ptr<wxZipEntry> entry(zip.GetNextEntry()); entry; entry.reset(zip.GetNextEntry())) {
        const std::wstring path = drive + L"\\" + entry->GetName(wxPATH_DOS).ToStdWstring();
        const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
        if (made.insert(parent).second) {
            kest::P<kest::IURI> parentUri = kapp::UriOf(parent + L"\\");
            if (!kest::GetSystem()->PathExists(parentUri.Get())) kest::GetSystem()->CreateFolder(parentUri.Get(), false);
        }
        wxFileOutputStream out{wxString(path)};
        for (;;) {
            const size_t n = zip.Read(buffer.data(), buffer.size()).LastRead();
            if (n == 0) break;
            out.Write(buffer.data(), n);
        }
    }
}

template <typename Out, typename In>
void StreamRoundTrip(const std::wstring& path, const std::string& data, double& writeTime, double& readTime) {
    const size_t piece = 32 * 1024;  // what the zip streams hand down
    writeTime = Best([] {}, [&] {
        Out out{wxString(path)};
        for (size_t done = 0; done < data.size(); done += piece) out.Write(data.data() + done, std::min(piece, data.size() - done));
    }, 7);
    std::vector<char> buffer(piece);
    readTime = Best([] {}, [&] {
        In in{wxString(path)};
        while (in.Read(buffer.data(), buffer.size()).LastRead() > 0) {
        }
    }, 7);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int fileCount = argc > 1 ? std::max(1, _wtoi(argv[1])) : 2000;
    const int mebibytes = argc > 2 ? std::max(1, _wtoi(argv[2])) : 200;
    wxInitializer wx;
    if (!wx.IsOk()) return 3;
    wxLogNull quiet;
    try {
        auto& system = kest::GetSystem();
        const std::wstring root = kapp::PathOf(system->CreateUniqueTempFolder(kest::String("kapp_bench_"), kest::String()).Get());
        const std::wstring source = root + L"source\\";
        const std::wstring app = root + L"app\\";
        std::printf("%d files, %d MiB, in %ls\n", fileCount, mebibytes, root.c_str());

        // The folder: files of varying size in 20 sub-folders.
        auto makeFiles = [&] {
            RemoveTree(source);
            ::CreateDirectoryW(source.c_str(), nullptr);
            const size_t average = size_t(mebibytes) * 1024 * 1024 / size_t(fileCount);
            const std::string pool = Content(2 * average + 4096, 12345);
            for (int i = 0; i < fileCount; ++i) {
                const std::wstring folder = source + L"sub" + std::to_wstring(i % 20) + L"\\";
                if (i < 20) ::CreateDirectoryW(folder.c_str(), nullptr);
                const size_t size = average / 2 + (size_t(i) * 7919u) % average;
                WriteFile(folder + L"file" + std::to_wstring(i) + L".dat", pool.substr(size_t(i) % 4096, size));
            }
        };
        ::CreateDirectoryW(app.c_str(), nullptr);
        makeFiles();

        const std::wstring store = app + L"datastore\\data.db";
        auto manager = [&] {
            auto m = std::make_unique<kapp::CPortableAppManager>(app, store, app + L"init.zip", [] { return true; });
            m->AddFolder(source.c_str(), kapp::SaveToStore | kapp::RestoreFromStore);
            return m;
        };
        const double ourSave = Best([&] { ::DeleteFileW(store.c_str()); }, [&] {
            auto m = manager();
            m->Start();  // no store yet: nothing to restore
            m->Stop();
        });
        const double ourRestore = Best([&] { RemoveTree(source); }, [&] {
            auto m = manager();
            m->Start();
            // Released started: nothing is written back, which is what the timing wants.
        });

        {
            // The restore must have put every file back, or its time means nothing.
            wxArrayString restored;
            wxDir::GetAllFiles(wxString(source), &restored, wxString(), wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN);
            if (restored.size() != size_t(fileCount)) {
                std::fprintf(stderr, "kapp_bench: %zu of %d files restored\n", restored.size(), fileCount);
                return 1;
            }
        }

        const std::wstring plain = root + L"plain.zip";
        const double plainSave = Best([&] { ::DeleteFileW(plain.c_str()); }, [&] { PlainZipSave(source, plain); });
        const double plainRestore = Best([&] { RemoveTree(source); }, [&] { PlainZipRestore(plain, source.substr(0, 2)); });

        Report("save (portable manager vs zip)", ourSave, plainSave);
        Report("restore (portable manager vs zip)", ourRestore, plainRestore);

        const std::string data = Content(64u * 1024 * 1024, 99);
        double scrambledWrite, scrambledRead, plainWrite, plainRead;
        StreamRoundTrip<kapp::CCryptedOutputFileStream, kapp::CCryptedInputFileStream>(root + L"s.bin", data, scrambledWrite, scrambledRead);
        StreamRoundTrip<wxFileOutputStream, wxFileInputStream>(root + L"p.bin", data, plainWrite, plainRead);
        Report("64 MiB write (scrambled vs plain)", scrambledWrite, plainWrite);
        Report("64 MiB read (scrambled vs plain)", scrambledRead, plainRead);

        RemoveTree(root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kapp_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}

// Language pack benchmark: a folder of 40 packs is scanned, one pack of 20 000 texts of each
// format is activated, and its texts are looked up; each figure beside the work it should
// approach (reading the same bytes raw, a std::unordered_map on the same keys). See README.md.
#include "kest/win32/Handles.h"
#include "tools/bench/Timing.h"
#include "lang/LangPackMan.h"
#include "tests/lang/PackWriter.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using bench::Best;
using bench::Report;

constexpr int kPacks = 40;
constexpr int kTexts = 20000;

// The file's bytes with one open and one read, as the packs' readers could at best.
int64_t ReadRaw(const std::wstring& path) {
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return -1;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return -1;
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return -1;
    return read + (bytes.empty() ? 0 : bytes[bytes.size() / 2]);
}

std::wstring TempFolder() {
    wchar_t base[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
    std::wstring folder = std::wstring(base, n) + L"lang_bench_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

int main() {
    std::vector<std::pair<std::string, std::wstring>> texts;
    for (int i = 0; i < kTexts; ++i)
        texts.push_back({std::string("CDialog").append(std::to_string(i % 97)).append(".Item").append(std::to_string(i)).append(".Caption"),
                         L"Translated text number " + std::to_wstring(i) + L" of the user interface"});
    const std::vector<std::pair<std::string, std::wstring>> few(texts.begin(), texts.begin() + 200);

    // Packs 0 and 1 carry all the texts, in either format; the others are small.
    const std::wstring folder = TempFolder();
    std::vector<std::wstring> files;
    for (int i = 0; i < kPacks; ++i) {
        const auto& content = i < 2 ? texts : few;
        const std::wstring path = folder + L"OrdaviaStudio_" + std::to_wstring(i) + L".brvLang";
        const std::wstring tag = L"x-bench" + std::to_wstring(i);
        pack_test::WriteFile(path, i % 2 == 0 ? pack_test::MakeResourceFile(tag, tag, content)
                                              : pack_test::FlatPackBytes(pack_test::MakeFlatPack("LANGPU16", tag, content)));
        files.push_back(path);
    }

    int64_t sink = 0;
    CLangPackMan manager;
    const double scan = Best([&] {
        manager.Scan(folder, L"OrdaviaStudio");
        return int64_t{manager.GetCount()};
    }, sink);
    const double rawAll = Best([&] {
        int64_t n = 0;
        for (const std::wstring& f : files) n += ReadRaw(f);
        return n;
    }, sink);
    std::printf("%d packs listed, %d texts in the large ones\n\n", manager.GetCount(), kTexts);
    Report("Scan of 40 packs", scan, "raw read of the 40 files", rawAll);

    for (const wchar_t* name : {L"OrdaviaStudio_0.brvLang", L"OrdaviaStudio_1.brvLang"}) {
        int index = -1;
        for (int i = 0; i < manager.GetCount(); ++i)
            if (manager.GetPath(i) == folder + name) index = i;
        const double activate = Best([&] {
            manager.Activate(index);
            return manager.GetActive() ? int64_t{1} : int64_t{0};
        }, sink);
        const double raw = Best([&] { return ReadRaw(folder + name); }, sink);
        const bool resource = manager.GetAt(index)->GetFormat() == 2;
        Report(resource ? "Activate (resource file)" : "Activate (flat pack)", activate, "raw read of its bytes", raw);
    }

    // Lookups in a shuffled order, against a map of the same keys and texts. The pack is loaded
    // once into a fresh manager and the map built right after it, so that neither has the
    // other's leftovers in between; the two loops take turns, so that the machine's load weighs
    // on both alike.
    CLangPackMan fresh;
    fresh.Scan(folder, L"OrdaviaStudio");
    for (int i = 0; i < fresh.GetCount(); ++i)
        if (fresh.GetPath(i) == files[0]) fresh.Activate(i);
    std::vector<std::string> keys;
    std::unordered_map<std::string, std::wstring> map;
    for (const auto& [key, text] : texts) {
        keys.push_back(key);
        map.emplace(key, text);
    }
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    double localize = 1e30, mapped = 1e30;
    for (int run = 0; run < 7; ++run) {
        localize = std::min(localize, Best([&] {
            int64_t n = 0;
            for (int round = 0; round < 10; ++round)
                for (const std::string& key : keys) n += static_cast<int64_t>(*fresh.Localize(key.c_str(), L"-"));
            return n;
        }, sink));
        mapped = std::min(mapped, Best([&] {
            int64_t n = 0;
            for (int round = 0; round < 10; ++round)
                for (const std::string& key : keys) {
                    auto it = map.find(key);
                    n += static_cast<int64_t>(it == map.end() ? L'-' : *it->second.c_str());
                }
            return n;
        }, sink));
    }
    Report("Localize x 200 000", localize, "std::unordered_map::find", mapped);

    for (const std::wstring& f : files) ::DeleteFileW(f.c_str());
    ::RemoveDirectoryW(folder.c_str());
    std::printf("\n(checksum %lld)\n", static_cast<long long>(sink));
    return 0;
}

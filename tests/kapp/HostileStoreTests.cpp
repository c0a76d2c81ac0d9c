// Stores made by a seeded generator to reach outside what the handlers own: destinations with
// "..", other drives, device names, streams, short names and a planted junction, and registry
// files of every encoding with keys elsewhere. Each goes through the portable manager's Start
// and Stop, run as an administrator; the file system around the registered items and the
// registry around the registered key are compared before and after, and every difference counts.
//
// make test runs a short seeded series; a longer one is
//     KAPP_HOSTILE_RUNS=200 KAPP_HOSTILE_SEED=7 tools/wine-run.sh build64/bin/kapp_tests.exe --gtest_filter='HostileStores.*'
#include "Archives.h"
#include "kapp/PortableAppManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>

namespace kapp_test {
namespace {

const int kAll = kapp::SaveToStore | kapp::RemoveFromHost | kapp::RestoreFromStore;

std::wstring Environment(const wchar_t* name) {
    wchar_t value[64] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, 64);
    return n > 0 && n < 64 ? std::wstring(value, n) : std::wstring();
}

// Every file below folder with its bytes, except below the skipped paths.
void Snapshot(const std::wstring& folder, const std::set<std::wstring>& skip, std::set<std::wstring>& out) {
    for (const std::wstring& name : List(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (skip.count(path)) continue;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            out.insert(path + L"\\");
            if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) Snapshot(path, skip, out);
        } else {
            const std::string bytes = ReadBytes(path);
            out.insert(path + L"=" + std::wstring(bytes.begin(), bytes.end()));
        }
    }
}

// Every key and value below the key, except below the skipped key.
void Snapshot(HKEY root, const std::wstring& key, const std::wstring& skip, std::set<std::wstring>& out) {
    if (key == skip) return;
    kest::win32::UniqueRegKey open;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, open.put()) != ERROR_SUCCESS) return;
    out.insert(key + L"\\");
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[1024];
        DWORD dataLength = sizeof data, type = 0;
        if (::RegEnumValueW(open.get(), i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        out.insert(key + L"|" + std::wstring(name, nameLength) + L"=" +
                   std::wstring(reinterpret_cast<const wchar_t*>(data), dataLength / sizeof(wchar_t)));
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (::RegEnumKeyExW(open.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(std::wstring(name, nameLength));
    }
    for (const std::wstring& child : children) Snapshot(root, key + L"\\" + child, skip, out);
}

size_t Differences(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
    size_t count = 0;
    for (const std::wstring& entry : before) count += !after.count(entry);
    for (const std::wstring& entry : after) count += !before.count(entry);
    return count;
}

void SetCanary(HKEY root, const std::wstring& key) {
    kest::win32::UniqueRegKey open;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, open.put(), nullptr));
    const wchar_t value[] = L"canary";
    ::RegSetValueExW(open.get(), L"Canary", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
}

std::string Encode(const std::wstring& text, int form) {
    std::string bytes;
    switch (form) {
        case 0:  // UTF-16 LE with its mark, as the editor writes
        case 1:  // without the mark
        case 2:  // big-endian with its mark
            if (form != 1) bytes = form == 0 ? "\xFF\xFE" : "\xFE\xFF";
            for (wchar_t c : text) {
                const char low = char(c & 0xFF), high = char(c >> 8);
                bytes += form == 2 ? std::string{high, low} : std::string{low, high};
            }
            return bytes;
        case 3:  // UTF-8 with a mark
            bytes = "\xEF\xBB\xBF";
            [[fallthrough]];
        default:  // 8-bit; form 5 hides a NUL byte before the first key
            for (wchar_t c : text) {
                if (form == 5 && c == L'[' && bytes.find('\0') == std::string::npos) bytes.push_back('\0');
                bytes.push_back(char(c));
            }
            return bytes;
    }
}

TEST(HostileStores, SeededStoresWriteNothingOutsideTheRegisteredItems) {
    const std::wstring runsText = Environment(L"KAPP_HOSTILE_RUNS"), seedText = Environment(L"KAPP_HOSTILE_SEED");
    const int runs = runsText.empty() ? 24 : std::max(1, int(std::wcstol(runsText.c_str(), nullptr, 10)));
    const unsigned seed = seedText.empty() ? 20261210u : unsigned(std::wcstoul(seedText.c_str(), nullptr, 10));
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return size_t(random() % n); };

    TempFolder root(L"hostile");
    const std::wstring app = root / L"app", reg = root / L"reg\\", own = root / L"own.txt";
    const std::wstring base = L"Software\\OrdaviaTests\\Hostile-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring ownKey = base + L"\\Own", otherKey = base + L"\\Other";
    const std::wstring ownName = L"HKEY_CURRENT_USER\\" + ownKey;
    SetCanary(HKEY_CURRENT_USER, otherKey);
    SetCanary(HKEY_LOCAL_MACHINE, base);
    WriteBytes(root / L"outside\\keep.txt", "outside");
    WriteBytes(root / L"regx\\keep.txt", "sibling");

    // Destinations that must never be written, and a few that may.
    const std::wstring rootPath = root.Path().substr(0, root.Path().size() - 1);
    const std::wstring hostile[] = {
        reg + L"..\\outside\\x.txt",      reg + L"sub\\..\\..\\outside\\y.txt", root / L"regx\\z.txt",
        L"Z:" + reg.substr(2) + L"w.txt",  reg + L"CON",                        reg + L"nul.txt",
        reg + L"COM1.log",                reg + L"a.txt:stream",                 reg + L"a.txt::$DATA",
        L"\\\\.\\" + reg + L"dev.txt",    L"\\\\?\\" + reg + L"..\\outside\\q.txt", reg + L"dots...",
        L"reg\\relative.txt",             root / L"OUTSID~1\\short.txt",        reg + L"link\\through.txt",
        root / L"own.txt",                reg,                                   L"\\\\?\\GLOBALROOT\\x.txt",
    };
    const std::wstring fine[] = {reg + L"good.txt", reg + L"sub\\deep\\good.txt", reg + L"GOOD~1.TXT"};
    const std::wstring keyPrefixes[] = {L"", L" ", L"\t", L"\f", L"\u00A0", L"\uFEFF", L"\u3000"};
    const std::wstring elsewhere[] = {L"HKEY_CURRENT_USER\\" + otherKey, L"HKEY_LOCAL_MACHINE\\" + base,
                                      ownName + L"X", L"HKEY_CURRENT_USER\\Software", L"HKEY_CLASSES_ROOT\\.hostile",
                                      L"HKEY_CURRENT_USER\\" + ownKey.substr(0, ownKey.size() - 1)};

    size_t total = 0, stores = 0, destinations = 0, keys = 0;
    for (int run = 0; run < runs; ++run) {
        SCOPED_TRACE("run " + std::to_string(run) + " of seed " + std::to_string(seed));
        TempFolder::RemoveTree(app);
        TempFolder::RemoveTree(reg);
        ::DeleteFileW(own.c_str());
        // Sometimes a junction out of the registered folder is waiting in it (where the file
        // system has them; elsewhere it is a plain folder).
        ::CreateDirectoryW(reg.c_str(), nullptr);
        if (pick(2)) ::CreateDirectoryW((reg + L"link").c_str(), nullptr);

        std::string xml = "<appmanager version=\"1\"><regentry_user type=\"1\" name=\"" + Attr(reg) + "\">";
        std::vector<ArchiveEntry> entries;
        for (size_t n = 1 + pick(6); n > 0; --n, ++destinations) {
            const std::wstring target = pick(4) ? hostile[pick(std::size(hostile))] : fine[pick(std::size(fine))];
            xml += "<regentry_user type=\"0\" available=\"true\" destination=\"" + Attr(target) + "\"/>";
            entries.push_back({target, "payload " + std::to_string(run)});
        }
        xml += "</regentry_user>";
        const std::wstring fileTarget = pick(3) ? hostile[pick(std::size(hostile))] : own;
        xml += "<regentry_user type=\"0\" name=\"" + Attr(own) + "\" available=\"true\" destination=\"" +
               Attr(fileTarget) + "\"/>";
        entries.push_back({fileTarget, "file payload"});
        std::wstring body = pick(5) ? L"Windows Registry Editor Version 5.00\r\n\r\n" : L"REGEDIT4\r\n\r\n";
        body += L"[" + ownName + L"]\r\n\"V\"=\"own\"\r\n";
        for (size_t n = pick(3); n > 0; --n, ++keys) {
            body += keyPrefixes[pick(std::size(keyPrefixes))] + L"[" + (pick(3) ? L"" : L"-") +
                    elsewhere[pick(std::size(elsewhere))] + L"]\r\n\"Evil\"=\"yes\"\r\n";
        }
        xml += "<regentry_user type=\"2\" name=\"" + Attr(ownName) + "\" destination=\"regsection.1.reg\"/></appmanager>";
        entries.push_back({L"regsection.1.reg", Encode(body, int(pick(6)))});
        WriteArchive(app + L"\\datastore\\data.db", xml, entries);
        ++stores;

        std::set<std::wstring> filesBefore, filesAfter, keysBefore, keysAfter;
        Snapshot(rootPath, {app, reg.substr(0, reg.size() - 1), own}, filesBefore);
        Snapshot(HKEY_CURRENT_USER, base, ownKey, keysBefore);
        Snapshot(HKEY_LOCAL_MACHINE, base, L"", keysBefore);
        Snapshot(HKEY_CURRENT_USER, L"Software\\Elsewhere", L"", keysBefore);
        Snapshot(HKEY_CLASSES_ROOT, L".hostile", L"", keysBefore);
        {
            kapp::CPortableAppManager manager(app, app + L"\\datastore\\data.db", app + L"\\init.zip");
            manager.AddFolder(reg.c_str(), kAll);
            manager.AddFile(own.c_str(), kAll);
            manager.AddRegistrySection(L"HKEY_CURRENT_USER", ownKey.c_str(), kAll);
            try {
                manager.Start();
                manager.Stop();
            } catch (const std::exception& e) {
                ADD_FAILURE() << "the manager gave up: " << e.what();
            }
        }
        Snapshot(rootPath, {app, reg.substr(0, reg.size() - 1), own}, filesAfter);
        Snapshot(HKEY_CURRENT_USER, base, ownKey, keysAfter);
        Snapshot(HKEY_LOCAL_MACHINE, base, L"", keysAfter);
        Snapshot(HKEY_CURRENT_USER, L"Software\\Elsewhere", L"", keysAfter);
        Snapshot(HKEY_CLASSES_ROOT, L".hostile", L"", keysAfter);
        size_t changes = Differences(filesBefore, filesAfter) + Differences(keysBefore, keysAfter);
        for (const std::wstring& target : hostile)
            if (target.compare(0, 2, L"Z:") == 0 && Exists(target)) ++changes;
        EXPECT_EQ(0u, changes) << Narrow(std::wstring(body.begin(), body.end()));
        total += changes;
    }
    ::RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, base.c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, base.c_str());
    std::printf("[ hostile ] %zu stores (seed %u): %zu destinations, %zu foreign key lines, %zu writes or registry "
                "changes outside the registered items\n",
                stores, seed, destinations, keys, total);
}

}  // namespace
}  // namespace kapp_test

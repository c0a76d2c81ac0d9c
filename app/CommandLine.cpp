#include "app/CommandLine.h"

#include "app/PyrlanApp.h"

#include "kest/win32/Handles.h"

#include <windows.h>

bool CPathnameListFile::Load(const std::wstring& path) {
    m_items.clear();
    kest::win32::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        size.QuadPart > static_cast<LONGLONG>(kMaxFileBytes))
        return false;
    const DWORD length = static_cast<DWORD>(size.QuadPart);
    std::vector<unsigned char> bytes(static_cast<size_t>(length) + 2, 0);
    DWORD read = 0;
    if (length > 0 && (!::ReadFile(file.get(), bytes.data(), length, &read, nullptr) || read != length)) return false;
    Parse(bytes.data(), length);
    return true;
}

int DefaultLaunchMode(const wchar_t* productVariant) {
    if (::lstrcmpiW(productVariant, L"BLAZEN_AUDIOCD") == 0) return 0;
    if (::lstrcmpiW(productVariant, L"BLAZEN_RESTOREBACKUP") == 0) return 16;
    return 1;
}

namespace {

// Switches are ASCII; folding only ASCII letters keeps "-AUDIOCD" a switch under every locale.
bool IsSwitch(const std::wstring& token, const wchar_t* name) {
    auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    size_t i = 0;
    for (; i < token.size() && name[i]; ++i)
        if (fold(token[i]) != fold(name[i])) return false;
    return i == token.size() && name[i] == L'\0';
}

// The disc's root folder as the target of every data item. Its bytes read as "\" both as a
// UTF-16 and as a narrow string.
const wchar_t kDiscRoot[] = L"\\";

}  // namespace

void CPyrlanApp::ParseLaunchRequest() {
    ReleaseLaunchItems();
    m_openPath.reset();
    m_openRequest = OpenRequest{};
    m_presetDrive.clear();
    m_presetDriveA.Set(m_presetDrive);

    BlazenHostRecord& r = m_hostRecord;
    r.launchFlag = 0;
    r.launchItems = nullptr;
    r.autoplayDrive = nullptr;

    const CCommandLineTokens tokens(m_commandLine);
    const std::wstring& a = tokens.Token(0);
    const std::wstring& b = tokens.Token(1);
    if (b.empty()) return;

    if (IsSwitch(a, L"-autoplay")) {
        for (size_t i = 1; i < tokens.TokenCount(); ++i) {
            const std::wstring& token = tokens.Token(i);
            if (IsSwitch(token, L"-selectdrive")) {
                if (i + 1 >= tokens.TokenCount()) break;
                m_presetDrive = tokens.Token(++i);
            } else if (IsSwitch(token, L"-copy")) {
                r.launchMode = 3;
                r.launchFlag = 1;
            } else if (IsSwitch(token, L"-rip")) {
                r.launchMode = 17;
                r.launchFlag = 1;
            }
        }
        if (!m_presetDrive.empty()) r.autoplayDrive = HostText(m_presetDrive, m_presetDriveA);
        return;
    }

    if (IsSwitch(a, L"-open")) {
        m_openPath = HostHeapText(b, m_isNT);
        m_openRequest = OpenRequest{0, m_openPath.get()};
        r.launchMode = 11;
        r.launchFlag = 1;
        r.launchItems = &m_openRequest;
        return;
    }

    CPathnameListFile list;
    if (!list.Load(b)) return;
    const size_t count = list.Count();

    if (IsSwitch(a, L"-audiocd")) {
        m_launchArray = HostHeapAlloc(count * sizeof(BlazenText));
        auto* tracks = static_cast<BlazenText*>(m_launchArray.get());
        m_launchTexts.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            m_launchTexts.push_back(HostHeapText(list.Item(i), m_isNT));
            tracks[i] = m_launchTexts.back().get();
        }
        m_audioTracks = AudioTrackList{0, static_cast<uint32_t>(count), tracks};
        r.launchMode = 0;
        r.launchFlag = 1;
        r.launchItems = &m_audioTracks;
    } else if (IsSwitch(a, L"-datacd")) {
        m_launchArray = HostHeapAlloc(count * sizeof(DataItem));
        auto* items = static_cast<DataItem*>(m_launchArray.get());
        uint32_t used = 0;
        m_launchTexts.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            const std::wstring& item = list.Item(i);
            const DWORD attributes = ::GetFileAttributesW(item.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES) continue;  // gone since the list was written
            const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            // A folder is handed over as its "\*.*" pattern, also when it already ends in a
            // separator (a drive root gives "C:\\*.*"): the file system reads the doubled
            // separator as one, and the engine may look for the whole four-character ending.
            const std::wstring path = folder ? item + L"\\*.*" : item;
            m_launchTexts.push_back(HostHeapText(path, m_isNT));
            items[used++] = DataItem{folder ? 3u : 0u, m_launchTexts.back().get(), kDiscRoot};
        }
        m_dataItems = DataItemList{0, 0, used, items};
        r.launchMode = 1;
        r.launchFlag = 2;
        r.launchItems = &m_dataItems;
    } else {
        // Read like a list, but no task takes it: it stays where it is.
        return;
    }

    // The list was written for this one start and the task now holds its contents. A list that
    // cannot be removed is only left behind; the task runs all the same.
    static_cast<void>(::DeleteFileW(b.c_str()));
}

void CPyrlanApp::ReleaseLaunchItems() {
    // The headers stay members of the application; they are emptied so that nothing points at
    // the freed blocks.
    m_audioTracks = AudioTrackList{};
    m_dataItems = DataItemList{};
    m_launchTexts.clear();
    m_launchArray.reset();
}

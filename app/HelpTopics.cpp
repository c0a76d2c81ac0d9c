#include "app/HelpTopics.h"

#include "app/PyrlanApp.h"

#include <windows.h>

namespace {

struct HelpTopic {
    int32_t pageId;
    const wchar_t* file;
};

// Page identifiers of the engine's wizard pages and their topics, in the engine's row order.
// 120300 and 120400 appear twice: the ripping pages came first, the DVD-video pages later
// reused their numbers.
const HelpTopic kHelpTopics[] = {
    {0, L"proginf.htm"},
    {600, L"Whatwouldyouliketodo.htm"},
    {10640, L"ba_playlists.htm"},
    {300, L"bd_writeoptions.htm"},
    {10650, L"ba_writeoptions.htm"},
    {10700, L"cd_writeoptions.htm"},
    {400, L"bd_writestatus.htm"},
    {10660, L"ba_writestatus.htm"},
    {10750, L"cd_writestatus.htm"},
    {500, L"bd_AddFilesandFolders.htm"},
    {10690, L"cd_selectdrive.htm"},
    {10710, L"cd_readingsource.htm"},
    {20640, L"img_selectimage.htm"},
    {20650, L"img_writeoptions.htm"},
    {20660, L"img_writestatus.htm"},
    {30635, L"di_selectdrive.htm"},
    {30650, L"di_options.htm"},
    {30710, L"di_status.htm"},
    {90640, L"vcd_movielist.htm"},
    {90700, L"vcd_writeoptions.htm"},
    {90750, L"vcd_writestatus.htm"},
    {91640, L"svcd_movielist.htm"},
    {91700, L"svcd_writeoptions.htm"},
    {91750, L"svcd_writestatus.htm"},
    {40500, L"movcd_AddFilesandFolders.htm"},
    {50500, L"muscd_AddFilesandFolders.htm"},
    {60500, L"mp3cd_AddFilesandFolders.htm"},
    {70710, L"erasecd_status.htm"},
    {40635, L"erasecd_selectdrive.htm"},
    {40300, L"movcd_writeoptions.htm"},
    {60300, L"mp3cd_writeoptions.htm"},
    {50300, L"muscd_writeoptions.htm"},
    {40400, L"movcd_writestatus.htm"},
    {60400, L"mp3cd_writestatus.htm"},
    {50400, L"muscd_writestatus.htm"},
    {80600, L"ci_selectproject.htm"},
    {80650, L"ci_options.htm"},
    {10635, L"bd_selectdrive.htm"},
    {61500, L"wmacd_AddFilesandFolders.htm"},
    {61300, L"wmacd_writeoptions.htm"},
    {61400, L"wmacd_writestatus.htm"},
    {70500, L"videots_selectfolder.htm"},
    {70300, L"videots_writeoptions.htm"},
    {70400, L"videots_writestatus.htm"},
    {100160, L"backup_project.htm"},
    {100270, L"backup_options.htm"},
    {100300, L"backup_writeoptions.htm"},
    {100400, L"backup_writestatus.htm"},
    {110150, L"restore_selectsource.htm"},
    {110250, L"restore_options.htm"},
    {110400, L"restore_writestatus.htm"},
    {120635, L"rip_selectsource.htm"},
    {120740, L"rip_selecttracks.htm"},
    {120300, L"rip_options.htm"},
    {120400, L"rip_ripstatus.htm"},
    {10670, L"ba_writeimagestatus.htm"},
    {670, L"bd_writeimagestatus.htm"},
    {90670, L"vcd_writeimagestatus.htm"},
    {91670, L"svcd_writeimagestatus.htm"},
    {40670, L"movcd_writeimagestatus.htm"},
    {60670, L"mp3cd_writeimagestatus.htm"},
    {50670, L"muscd_writeimagestatus.htm"},
    {61670, L"wmacd_writeimagestatus.htm"},
    {70670, L"videots_writeimagestatus.htm"},
    {120400, L"dvdvideo_writestatus.htm"},
    {130400, L"modcopy_writestatus.htm"},
    {120670, L"dvdvideo_writeimagestatus.htm"},
    {130300, L"modcopy_writeoptions.htm"},
    {120300, L"dvdvideo_writeoptions.htm"},
    {130410, L"modcopy_cachingstatus.htm"},
    {120640, L"dvdvideo_movielist.htm"},
    {120645, L"dvdvideo_preview.htm"},
    {120700, L"movie_format_options.htm"},
    {140400, L"expertdata_writestatus.htm"},
    {140670, L"expertdata_writeimagestatus.htm"},
    {140300, L"expertdata_writeoptions.htm"},
    {140275, L"expertdata_settings.htm"},
    {140276, L"expertdata_settings_boot.htm"},
    {140500, L"expertdata_AddFilesandFolders.htm"},
    {130500, L"modcopy_AddFilesandFolders.htm"},
    {62500, L"multiformatcd_AddFilesandFolders.htm"},
    {62300, L"multiformatcd_writeoptions.htm"},
    {62400, L"multiformatcd_writestatus.htm"},
    {62670, L"multiformatcd_writeimagestatus.htm"},
    {62700, L"multiformatcd_chooseformat.htm"},
};
static_assert(std::size(kHelpTopics) == 85, "the engine expects 85 help topics");

std::wstring BaseName(const std::wstring& path) {
    std::wstring name = path;
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return name;
}

}  // namespace

// A folder is no help file: an empty "DefaultHelpFile" setting or language name would
// otherwise name the "lang" folder itself or one beside the files.
bool IsHelpFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring HelpFileBesidePack(const std::wstring& folder, const std::wstring& packFilePath) {
    return folder + L"lang\\" + BaseName(packFilePath) + L".chm";
}

std::wstring FindHelpFile(const HelpFileChoice& c) {
    const std::wstring lang = c.folder + L"lang\\";
    const bool packActive = !c.packFilePath.empty();
    const std::wstring first =
        packActive ? HelpFileBesidePack(c.folder, c.packFilePath) : lang + c.languageName + L".chm";
    if (IsHelpFile(first)) return first;

    const std::wstring named = lang + c.productId + L"-";
    std::wstring candidates[5];
    size_t n = 0;
    candidates[n++] = named + c.languageName + L".chm";
    if (packActive && c.nativeName) candidates[n++] = named + *c.nativeName + L".chm";
    candidates[n++] = named + c.defaultLangId + L".chm";
    candidates[n++] = lang + c.defaultHelpFile;
    candidates[n++] = lang + L"english.chm";
    for (size_t i = 0; i < n; ++i)
        if (IsHelpFile(candidates[i])) return candidates[i];
    return std::wstring();
}

void CPyrlanApp::ChooseHelpFile() {
    HelpFileChoice choice;
    choice.folder = m_appFolder;
    choice.productId = m_productId;
    choice.packFilePath = m_langPackPath;
    choice.languageName = m_languageName;
    if (const CLangPack* pack = m_langPackMan.GetActive()) choice.nativeName = pack->GetNativeName();
    choice.defaultLangId = m_defaultLangId;
    choice.defaultHelpFile = ReadProductString(L"", L"DefaultHelpFile", m_productId + L"-en-us.chm");
    m_helpFile = FindHelpFile(choice);
}

void CPyrlanApp::SetHelpTopic(size_t index, int32_t pageId, const wchar_t* topicFile) {
    if (index >= m_helpRows.size()) return;
    m_helpTexts.push_back(HostHeapText(m_helpFile + L"::/" + topicFile, m_isNT));
    m_helpRows[index] = HelpTopicRow{0, pageId, m_helpTexts.back().get()};
}

void CPyrlanApp::FillHelpTopics() {
    m_helpTable = HelpTopicTable{};
    m_helpRows.fill(HelpTopicRow{});
    m_helpTexts.clear();
    m_helpTable.version = 2;
    m_helpTable.rows = m_helpRows.data();
    for (size_t i = 0; i < std::size(kHelpTopics); ++i) SetHelpTopic(i, kHelpTopics[i].pageId, kHelpTopics[i].file);
    m_helpTable.rowCount = static_cast<uint32_t>(std::size(kHelpTopics));
    m_helpTexts.push_back(HostHeapText(m_helpFile, m_isNT));
    m_helpTable.helpFile = m_helpTexts.back().get();
    m_helpFileA.Set(m_helpFile);
}

// The flat record the shell hands to the burning engine, and the lists it points to. The
// engine is built separately: every offset and width here is part of the contract, so both
// layouts are pinned down by static assertions.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// The product is a 32-bit program; the same interface is also built as a 64-bit edition in
// which texts, pointers, handles, the root key and the callbacks are pointer-sized and every
// other field stays 32 bits, laid out with the compiler's natural alignment.
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8, "the engine interface is 32-bit or 64-bit");
inline constexpr bool kBlazen64 = sizeof(void*) == 8;

extern "C" {

struct BlazenResults {
    int32_t succeeded;  // non-zero when the engine ended successfully; the rest is the engine's
};

typedef int(WINAPI* BlazenMenuSetupFn)(HMENU menuBar);
typedef int(WINAPI* BlazenMenuCommandFn)(UINT id, UINT unused);
typedef void(WINAPI* BlazenMainWindowReadyFn)(UINT unused);

typedef int(WINAPI* StartBlazenFn)(struct BlazenHostRecord* record, BlazenResults** results);
typedef void(WINAPI* FreeBlazenResultsFn)(BlazenResults* results);
typedef HWND(WINAPI* GetODMainWindowFn)(void);

// Texts are UTF-16 on NT-family systems and ANSI code page otherwise (except where noted).
typedef const void* BlazenText;

struct HelpTopicRow {
    uint32_t zero;
    int32_t pageId;
    BlazenText text;  // help file + "::/" + topic file
};

struct HelpTopicTable {
    uint32_t version;  // 2
    uint32_t rowCount;
    HelpTopicRow* rows;  // room for 300 rows, zero beyond the used ones
    uint32_t zero;
    BlazenText helpFile;
};

struct AudioTrackList {  // launch mode 0
    uint32_t zero;
    uint32_t count;
    BlazenText* items;
};

struct DataItem {
    uint32_t kind;  // 0 a file, 3 a folder
    BlazenText path;
    BlazenText target;  // "\" in both encodings
};

struct DataItemList {  // launch mode 1
    uint32_t zero0;
    uint32_t zero1;
    uint32_t count;
    DataItem* items;
};

struct OpenRequest {  // launch mode 11
    uint32_t zero;
    BlazenText path;
};

struct BlazenHostRecord {
    uint32_t head;                          // 0x000: 22
    BlazenText registryPath;                // 0x004
    HKEY registryRoot;                      // 0x008
    BlazenText languageName;                // 0x00C
    HICON largeIcon;                        // 0x010
    HICON smallIcon;                        // 0x014
    HINSTANCE instance;                     // 0x018
    BlazenText displayName;                 // 0x01C
    BlazenText aboutText;                   // 0x020
    uint32_t reserved024;                   // 0x024
    BlazenMenuCommandFn menuCommand;        // 0x028
    BlazenMenuSetupFn menuSetup;            // 0x02C
    uint32_t config030;                     // 0x030
    int32_t launchMode;                     // 0x034
    int32_t launchFlag;                     // 0x038
    const void* launchItems;                // 0x03C
    HelpTopicTable* helpTopics;             // 0x040
    uint32_t reserved044;                   // 0x044
    BlazenText languagePackPath;            // 0x048
    uint32_t reserved04C[8];                // 0x04C-0x068
    BlazenText reportTitle;                 // 0x06C
    BlazenText reportAddress;               // 0x070
    BlazenText reportContentType;           // 0x074
    uint32_t reserved078[3];                // 0x078-0x080
    uint32_t config084;                     // 0x084
    uint32_t config088;                     // 0x088
    uint32_t config08C;                     // 0x08C
    BlazenText version;                     // 0x090
    uint32_t config094;                     // 0x094
    uint32_t reserved098;                   // 0x098
    uint32_t config09C;                     // 0x09C
    uint32_t reserved0A0[2];                // 0x0A0, 0x0A4
    BlazenText productCode;                 // 0x0A8
    BlazenText edition;                     // 0x0AC
    uint32_t reserved0B0;                   // 0x0B0
    uint32_t config0B4;                     // 0x0B4
    uint32_t config0B8;                     // 0x0B8
    uint32_t config0BC;                     // 0x0BC
    uint32_t config0C0;                     // 0x0C0
    uint32_t config0C4;                     // 0x0C4
    uint32_t config0C8;                     // 0x0C8
    uint32_t config0CC;                     // 0x0CC
    uint32_t config0D0;                     // 0x0D0
    const LOGFONTW* font;                   // 0x0D4
    uint32_t config0D8;                     // 0x0D8
    const wchar_t* supportMail;             // 0x0DC: UTF-16 on every system
    uint32_t config0E0;                     // 0x0E0
    BlazenMainWindowReadyFn mainWindowReady;  // 0x0E4
    BlazenText autoplayDrive;               // 0x0E8
    uint32_t config0EC;                     // 0x0EC
    BlazenText reportTaskDescription;       // 0x0F0
    BlazenText reportExplanation;           // 0x0F4
    uint32_t reserved0F8;                   // 0x0F8
    BlazenText reportTransform;             // 0x0FC
    uint32_t config100;                     // 0x100
    uint32_t reserved104[3];                // 0x104-0x10C
    const wchar_t* upgradeName;             // 0x110: UTF-16, NT-family only
    uint32_t reserved114;                   // 0x114
    BlazenText productId;                   // 0x118
    BlazenText fullVersion;                 // 0x11C
    void* applicationManager;               // 0x120
};

}  // extern "C"

// Each field's place in the 32-bit product and in the 64-bit edition.
#define BLAZEN_ASSERT_OFFSET(type, field, offset32, offset64)                        \
    static_assert(offsetof(type, field) == (kBlazen64 ? (offset64) : (offset32)),    \
                  #type "." #field " must be at " #offset32 " (32-bit) or " #offset64 " (64-bit)")

static_assert(sizeof(BlazenHostRecord) == (kBlazen64 ? 456 : 292),
              "the host record is 73 fields: 292 bytes in the 32-bit product, 456 in the 64-bit edition");
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, head, 0x000, 0x000);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, registryPath, 0x004, 0x008);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, registryRoot, 0x008, 0x010);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, languageName, 0x00C, 0x018);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, largeIcon, 0x010, 0x020);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, smallIcon, 0x014, 0x028);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, instance, 0x018, 0x030);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, displayName, 0x01C, 0x038);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, aboutText, 0x020, 0x040);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved024, 0x024, 0x048);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, menuCommand, 0x028, 0x050);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, menuSetup, 0x02C, 0x058);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config030, 0x030, 0x060);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, launchMode, 0x034, 0x064);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, launchFlag, 0x038, 0x068);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, launchItems, 0x03C, 0x070);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, helpTopics, 0x040, 0x078);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved044, 0x044, 0x080);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, languagePackPath, 0x048, 0x088);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved04C, 0x04C, 0x090);
static_assert(sizeof(BlazenHostRecord::reserved04C) == 8 * 4);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reportTitle, 0x06C, 0x0B0);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reportAddress, 0x070, 0x0B8);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reportContentType, 0x074, 0x0C0);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved078, 0x078, 0x0C8);
static_assert(sizeof(BlazenHostRecord::reserved078) == 3 * 4);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config084, 0x084, 0x0D4);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config088, 0x088, 0x0D8);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config08C, 0x08C, 0x0DC);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, version, 0x090, 0x0E0);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config094, 0x094, 0x0E8);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved098, 0x098, 0x0EC);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config09C, 0x09C, 0x0F0);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved0A0, 0x0A0, 0x0F4);
static_assert(sizeof(BlazenHostRecord::reserved0A0) == 2 * 4);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, productCode, 0x0A8, 0x100);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, edition, 0x0AC, 0x108);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved0B0, 0x0B0, 0x110);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0B4, 0x0B4, 0x114);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0B8, 0x0B8, 0x118);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0BC, 0x0BC, 0x11C);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0C0, 0x0C0, 0x120);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0C4, 0x0C4, 0x124);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0C8, 0x0C8, 0x128);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0CC, 0x0CC, 0x12C);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0D0, 0x0D0, 0x130);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, font, 0x0D4, 0x138);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0D8, 0x0D8, 0x140);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, supportMail, 0x0DC, 0x148);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0E0, 0x0E0, 0x150);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, mainWindowReady, 0x0E4, 0x158);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, autoplayDrive, 0x0E8, 0x160);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config0EC, 0x0EC, 0x168);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reportTaskDescription, 0x0F0, 0x170);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reportExplanation, 0x0F4, 0x178);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved0F8, 0x0F8, 0x180);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reportTransform, 0x0FC, 0x188);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, config100, 0x100, 0x190);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved104, 0x104, 0x194);
static_assert(sizeof(BlazenHostRecord::reserved104) == 3 * 4);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, upgradeName, 0x110, 0x1A0);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, reserved114, 0x114, 0x1A8);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, productId, 0x118, 0x1B0);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, fullVersion, 0x11C, 0x1B8);
BLAZEN_ASSERT_OFFSET(BlazenHostRecord, applicationManager, 0x120, 0x1C0);

static_assert(sizeof(HelpTopicTable) == (kBlazen64 ? 32 : 20));
BLAZEN_ASSERT_OFFSET(HelpTopicTable, version, 0x00, 0x00);
BLAZEN_ASSERT_OFFSET(HelpTopicTable, rowCount, 0x04, 0x04);
BLAZEN_ASSERT_OFFSET(HelpTopicTable, rows, 0x08, 0x08);
BLAZEN_ASSERT_OFFSET(HelpTopicTable, zero, 0x0C, 0x10);
BLAZEN_ASSERT_OFFSET(HelpTopicTable, helpFile, 0x10, 0x18);
static_assert(sizeof(HelpTopicRow) == (kBlazen64 ? 16 : 12));
BLAZEN_ASSERT_OFFSET(HelpTopicRow, zero, 0x00, 0x00);
BLAZEN_ASSERT_OFFSET(HelpTopicRow, pageId, 0x04, 0x04);
BLAZEN_ASSERT_OFFSET(HelpTopicRow, text, 0x08, 0x08);
static_assert(sizeof(AudioTrackList) == (kBlazen64 ? 16 : 12));
BLAZEN_ASSERT_OFFSET(AudioTrackList, zero, 0x00, 0x00);
BLAZEN_ASSERT_OFFSET(AudioTrackList, count, 0x04, 0x04);
BLAZEN_ASSERT_OFFSET(AudioTrackList, items, 0x08, 0x08);
static_assert(sizeof(DataItemList) == (kBlazen64 ? 24 : 16));
BLAZEN_ASSERT_OFFSET(DataItemList, zero0, 0x00, 0x00);
BLAZEN_ASSERT_OFFSET(DataItemList, zero1, 0x04, 0x04);
BLAZEN_ASSERT_OFFSET(DataItemList, count, 0x08, 0x08);
BLAZEN_ASSERT_OFFSET(DataItemList, items, 0x0C, 0x10);
static_assert(sizeof(DataItem) == (kBlazen64 ? 24 : 12));
BLAZEN_ASSERT_OFFSET(DataItem, kind, 0x00, 0x00);
BLAZEN_ASSERT_OFFSET(DataItem, path, 0x04, 0x08);
BLAZEN_ASSERT_OFFSET(DataItem, target, 0x08, 0x10);
static_assert(sizeof(OpenRequest) == (kBlazen64 ? 16 : 8));
BLAZEN_ASSERT_OFFSET(OpenRequest, zero, 0x00, 0x00);
BLAZEN_ASSERT_OFFSET(OpenRequest, path, 0x04, 0x08);

// The font travels as the system's own structure; the engine reads it field by field.
static_assert(sizeof(LOGFONTW) == 92);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfHeight, 0, 0);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfWidth, 4, 4);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfEscapement, 8, 8);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfOrientation, 12, 12);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfWeight, 16, 16);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfItalic, 20, 20);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfUnderline, 21, 21);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfStrikeOut, 22, 22);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfCharSet, 23, 23);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfOutPrecision, 24, 24);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfClipPrecision, 25, 25);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfQuality, 26, 26);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfPitchAndFamily, 27, 27);
BLAZEN_ASSERT_OFFSET(LOGFONTW, lfFaceName, 28, 28);
static_assert(sizeof(LOGFONTW::lfFaceName) == 32 * sizeof(wchar_t));

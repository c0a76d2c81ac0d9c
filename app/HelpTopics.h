// Which compiled help file the program uses, chosen once at start-up.
#pragma once

#include <optional>
#include <string>

struct HelpFileChoice {
    std::wstring folder;        // the program folder, ending in "\"
    std::wstring productId;     // prefix of the product's help file names
    std::wstring packFilePath;  // the active language pack's file, empty when none is active
    std::wstring languageName;  // the active pack's language code, else the language request
    std::optional<std::wstring> nativeName;  // the active pack's native language name, when it has one
    std::wstring defaultLangId;              // the "DefaultLangID" setting or its default
    std::wstring defaultHelpFile;            // the "DefaultHelpFile" setting or its default
};

// The help file beside the language pack (or named after the request), else the first
// existing of the fallbacks; empty when there is none at all.
std::wstring FindHelpFile(const HelpFileChoice& choice);

// The file of the help file beside a language pack: the pack's base name with ".chm".
std::wstring HelpFileBesidePack(const std::wstring& folder, const std::wstring& packFilePath);

// An existing file, never a folder: the one test every help file candidate has to pass, at
// start-up as in the fallbacks.
bool IsHelpFile(const std::wstring& path);

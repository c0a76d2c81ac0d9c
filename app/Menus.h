// The shell's entries in the engine's menu bar and the online services behind them.
#pragma once

#include <string>

// Menu command identifiers the engine passes back to the shell.
enum MenuCommand : unsigned {
    kCmdLanguages = 2000,
    kCmdChannels = 2100,
    kCmdRecommend = 2002,
    kCmdMyAccount = 2015,
    kCmdSpecialOffers = 2003,
    kCmdNewsletter = 2004,
    kCmdHomepage = 2010,
    kCmdProducts = 2005,
    kCmdSupport = 107,
    kCmdBuyRecordables = 32795,
    kCmdOnlineUpdate = 2006,
    kCmdUpgrade = 2009,
    kCmdProblemReport = 1040,
    kCmdTranslation = 2017,
};

// Every byte except A-Z, a-z, 0-9, "-", "." and "_" becomes "%" and two lower-case hex digits.
std::string UrlEncode(const std::string& bytes);
// The extra argument of every link address: "syslang=" and the system language tag, its
// UTF-8 bytes encoded.
std::string SystemLanguageExtra(const std::wstring& systemLanguageTag);

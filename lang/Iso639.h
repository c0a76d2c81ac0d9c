// English names of languages by their ISO 639 codes, for the language dialog.
#pragma once

#include <span>
#include <string>

struct Iso639Language {
    const char* codes;         // three-letter codes, alternatives joined by "/" (alb/sqi)
    const char* code2;         // two-letter code, or empty
    const wchar_t* englishName;
};

// Every language, ordered by its first three-letter code.
std::span<const Iso639Language> Iso639Languages();

// The English name of a two-letter (ISO 639-1) or three-letter (ISO 639-2, either
// alternative) code, compared without case; empty for any other code or one not listed.
std::wstring EnglishLanguageName(const std::string& code);

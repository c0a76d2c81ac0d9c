// Which installed pack answers a language request: plain text work over the packs' tags and
// native names, apart from the manager's file and system calls.
#pragma once

#include "lang/LangPack.h"

#include <memory>
#include <string>
#include <vector>

// A request is a tag when its first "-" stands at index 1, 2 or 3, or when it is at most three
// characters long; a tag request is answered exactly, then by a more general, then by a more
// specific pack tag. Otherwise it names a language: the first pack whose native name holds it,
// in any case. -1 when no pack answers.
int FindPackByRequest(const std::vector<std::unique_ptr<CLangPack>>& packs, const std::wstring& request);

// The request, else the system language's tag, else "en", else "english"; -1 when none is there.
int ChoosePack(const std::vector<std::unique_ptr<CLangPack>>& packs, const std::wstring& request,
               const std::wstring& systemTag);

// The text in lower case as the system folds it (LangPackMan.cpp).
std::wstring LoweredText(std::wstring text);

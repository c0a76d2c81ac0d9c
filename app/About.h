// The about text's own placeholders, replaced in the program's language; the engine's
// "%APPNAME%" and "%APPVER%" stay for it to fill.
#pragma once

#include <string>

std::wstring ExpandAboutText(std::wstring text);

// Looking up the library's user-visible texts by key.
#pragma once

#include "kest/String.h"

namespace kest {

// The text for a key, or defaultText when no translation is installed. Keys are narrow ASCII
// literals ("kest.CNoSuchObjectError.desc"); defaults are the English texts.
String LookupLocalizedText(const String& key, const String& defaultText);

}  // namespace kest

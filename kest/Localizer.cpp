#include "kest/Localizer.h"

namespace kest {

// Nothing installs translations yet, so every lookup gives the English default.
String LookupLocalizedText(const String&, const String& defaultText) { return defaultText; }

}  // namespace kest

// Resource addresses for files and folders.
#pragma once

#include "kest/Object.h"

namespace kest {

// A parsed resource address. Its ToString gives the address's full text; the components and
// their accessors come with the stream library.
class IURI : public virtual IBase {};

}  // namespace kest

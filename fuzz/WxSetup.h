// wxWidgets started once for the whole fuzz run, with its log silenced: a damaged archive or
// document makes the library log, and the program reads both with logging off too.
#pragma once

#include <wx/init.h>
#include <wx/log.h>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Cleaned up at exit, before the leak check looks.
    static wxInitializer initializer;
    if (!initializer.IsOk()) std::abort();
    wxLog::EnableLogging(false);
    return 0;
}

// The program loads a few system libraries on the first call of one of their functions
// (cmake/delayload lists them). The linker's stubs hand that first call to the delay-load
// helper, which is ours: it loads the library from the system folder, finds the function and
// puts it into the stub's slot, so that later calls go straight to it.
//
// When the library or the function cannot be found, the slot gets a stand-in of the
// function's own signature that fails the way the function itself reports a failure
// (ShellExecuteW answers an error code, InitCommonControlsEx FALSE, ...), so every caller
// takes the path it already has for a failed call. A name without a stand-in shows what is
// missing and ends the program: nothing ever jumps to an empty address.
#pragma once

#include <windows.h>

#include <delayimp.h>

#include <string_view>

namespace delayed_imports {

// Resolves one slot of a delayed import table of the module this code is linked into and
// answers what now stands in the slot.
FARPROC Resolve(const ImgDelayDescr* descriptor, FARPROC* slot);

// The stand-in for a function that cannot be loaded; null for a name the program never
// delays.
FARPROC StandIn(std::string_view function);

// Every function name the program may delay, with its stand-in.
struct StandInEntry {
    const char* name;
    FARPROC function;
};
const StandInEntry* StandIns(size_t& count);

}  // namespace delayed_imports

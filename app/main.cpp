// The one application object, constructed before WinMain runs; its constructor keeps a
// second instance from starting.
#include "app/PyrlanApp.h"

CPyrlanApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#if defined(ORDAVIA_PORTABLE_EDITION)
    theApp.m_portableEdition = true;
#endif
    return theApp.Run(instance);
}

// The one application object, constructed before WinMain runs; its constructor keeps a
// second instance from starting.
#include "app/PyrlanApp.h"

CPyrlanApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return theApp.Run(instance);
}

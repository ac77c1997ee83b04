// Releasing every handle as astrel.dll unloads. At FreeLibrary every handle
// is released, closing its port. At the process's exit nothing is torn
// down: the system has ended every other thread already, perhaps inside a
// call that holds its handle's lock, and it takes back every port and
// connection itself.
#include <windows.h>

#include "CAstrelDLLApp.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
    // `reserved` is null for FreeLibrary, non-null when the process exits.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) TheApp().ReleaseAll();
    return TRUE;
}

/*
 * A host as Visual Studio builds one: compiled for the MSVC ABI and linked
 * against astrel.lib by an MSVC-compatible linker, with no C runtime at all,
 * so astrel.lib alone resolves the library's functions. Exits with 0 when the
 * calls through the imports work.
 */
#include "Astrel.h"

int mainCRTStartup(void) {
    char maker[64];
    const uint32_t h = Astrel();
    const int ok = h < 10 && GetMakerListFirst(maker) == 1 && GetUseMakerType((int32_t)h) == 0;
    ReleaseAstrel((int32_t)h);
    return ok ? 0 : 1;
}

/*
 * A Windows host that loads astrel.dll at run time and finds each function it
 * uses by its export ordinal, the way hosts built against the DLL's ordinal
 * table bind to it. It opens a QT2 stage on a COM port, moves it, waits until
 * it rests, reads the position back, closes the port and unloads the DLL.
 *   ordinal_host [COM port number 1..10, default 1]
 * Exits with 0 when the stage came to rest where it was sent.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

/* The functions used here, with their ordinals in astrel.dll. */
enum {
    kAstrel = 9,
    kReleaseAstrel = 10,
    kSetUseStageName = 11,
    kSetUseMakerType = 13,
    kOpenComPort = 17,
    kCloseComPort = 18,
    kGetStageStatus = 19,
    kGetStagePosition = 23,
    kMoveABS = 25,
    kSetCommunicationParams = 40,
};

typedef uint32_t (*AstrelFn)(void);
typedef void (*ReleaseAstrelFn)(int32_t);
typedef void (*SetUseStageNameFn)(int32_t, const char*);
typedef void (*SetUseMakerTypeFn)(int32_t, int16_t);
typedef int32_t (*HandleFn)(int32_t);
typedef int32_t (*GetStagePositionFn)(int32_t, int32_t*, int32_t*, int32_t*);
typedef int32_t (*MoveABSFn)(int32_t, int32_t, int32_t, int32_t);
typedef int32_t (*SetCommunicationParamsFn)(int32_t, uint16_t, uint16_t, uint16_t, uint16_t,
                                            uint16_t, uint16_t, uint16_t);
typedef void (*AnyFn)(void);

static HMODULE dll;

/* The function at `ordinal`; ends the program when the DLL has none there. */
static AnyFn by_ordinal(WORD ordinal) {
    FARPROC function = GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
    if (function == NULL) {
        fprintf(stderr, "astrel.dll has no function at ordinal %u\n", (unsigned)ordinal);
        exit(1);
    }
    return (AnyFn)function;
}

int main(int argc, char** argv) {
    const int com = argc > 1 ? atoi(argv[1]) : 1;
    if (com < 1 || com > 10) {
        fprintf(stderr, "usage: ordinal_host [COM port number 1..10]\n");
        return 2;
    }
    dll = LoadLibraryA("astrel.dll");
    if (dll == NULL) {
        fprintf(stderr, "cannot load astrel.dll (error %lu)\n", GetLastError());
        return 1;
    }
    const AstrelFn Astrel = (AstrelFn)by_ordinal(kAstrel);
    const ReleaseAstrelFn ReleaseAstrel = (ReleaseAstrelFn)by_ordinal(kReleaseAstrel);
    const SetUseStageNameFn SetUseStageName = (SetUseStageNameFn)by_ordinal(kSetUseStageName);
    const SetUseMakerTypeFn SetUseMakerType = (SetUseMakerTypeFn)by_ordinal(kSetUseMakerType);
    const HandleFn OpenComPort = (HandleFn)by_ordinal(kOpenComPort);
    const HandleFn CloseComPort = (HandleFn)by_ordinal(kCloseComPort);
    const HandleFn GetStageStatus = (HandleFn)by_ordinal(kGetStageStatus);
    const GetStagePositionFn GetStagePosition = (GetStagePositionFn)by_ordinal(kGetStagePosition);
    const MoveABSFn MoveABS = (MoveABSFn)by_ordinal(kMoveABS);
    const SetCommunicationParamsFn SetCommunicationParams =
        (SetCommunicationParamsFn)by_ordinal(kSetCommunicationParams);

    int ok = 0;
    const int32_t h = (int32_t)Astrel();
    SetUseMakerType(h, 0); /* QT */
    SetUseStageName(h, "QT2");
    /* COM<com> with the driver's line settings. */
    SetCommunicationParams(h, (uint16_t)(com - 1), 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    if (OpenComPort(h) != 1) {
        fprintf(stderr, "cannot open the stage on COM%d\n", com);
    } else if (MoveABS(h, 500, -300, 0) != 1) {
        fprintf(stderr, "the move was not sent\n");
    } else {
        /* Poll until the stage rests, for at most 5 s. */
        int32_t status = 1;
        for (int i = 0; i < 250 && status == 1; ++i) {
            status = GetStageStatus(h);
            if (status == 1) Sleep(20);
        }
        int32_t x = 0, y = 0, z = 0;
        const int32_t read = GetStagePosition(h, &x, &y, &z);
        printf("COM%d: status %d, position %d, %d\n", com, (int)status, (int)x, (int)y);
        ok = status == 0 && read == 1 && x == 500 && y == -300;
        CloseComPort(h);
    }
    ReleaseAstrel(h);
    FreeLibrary(dll);
    return ok ? 0 : 1;
}

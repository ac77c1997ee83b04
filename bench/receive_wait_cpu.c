/*
 * How much processor time a reply wait costs. Opens a stage handle on a
 * pseudo-terminal whose other end never answers, calls ReceiveStageData with
 * a 2000 ms time-out, and prints the wall time and the user and system
 * processor time of that one call. A wait that blocks costs a few
 * milliseconds at most; one that polls costs about the whole wall time.
 */
#define _DEFAULT_SOURCE
#include <pty.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include "Astrel.h"

static double seconds_of(struct timeval t) {
    return (double)t.tv_sec + (double)t.tv_usec / 1e6;
}

static double monotonic_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(void) {
    int controller = -1, stage_side = -1;
    char path[256] = {0};
    if (openpty(&controller, &stage_side, path, NULL, NULL) != 0) {
        perror("openpty");
        return 1;
    }
    setenv("ASTREL_COM1", path, 1); /* port index 0 is COM1 */

    const int32_t handle = (int32_t)Astrel();
    SetUseMakerType(handle, 0);
    SetUseStageName(handle, "QT3");
    const CommunicationParam param = {0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 2000};
    SetCommunicationParam(handle, &param);
    if (OpenComPort(handle) != 1) {
        fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }

    char reply[64] = {0};
    int32_t status = -1;
    struct rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    const double start = monotonic_seconds();
    const int32_t result = ReceiveStageData(handle, reply, (int32_t)sizeof reply, &status);
    const double wall = monotonic_seconds() - start;
    getrusage(RUSAGE_SELF, &after);

    const double user = seconds_of(after.ru_utime) - seconds_of(before.ru_utime);
    const double system = seconds_of(after.ru_stime) - seconds_of(before.ru_stime);
    printf("ReceiveStageData -> %d, status %d (time-out 2000 ms, no reply)\n", result, status);
    printf("wall %.1f ms, cpu %.1f ms (user %.1f ms, system %.1f ms)\n", wall * 1e3,
           (user + system) * 1e3, user * 1e3, system * 1e3);

    CloseComPort(handle);
    ReleaseAstrel(handle);
    close(controller);
    close(stage_side);
    return result == 0 && status == 1 ? 0 : 1;
}

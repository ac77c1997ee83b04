/*
 * A small host program: it opens a stage handle on a pseudo-terminal it
 * creates, sends a raw status query through SendStageData, lets a scripted
 * controller at the other end answer, reads the answer with ReceiveStageData
 * and prints what happened.
 */
#define _DEFAULT_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "Astrel.h"

/* The scripted controller: reads one command line and answers it. */
static void answer_one_command(int controller) {
    char command[128] = {0};
    size_t length = 0;
    struct pollfd p = {controller, POLLIN, 0};
    while (length < sizeof command - 1 && poll(&p, 1, 1000) > 0) {
        ssize_t n = read(controller, command + length, sizeof command - 1 - length);
        if (n <= 0) break;
        length += (size_t)n;
        if (memchr(command, '\n', length) != NULL) break;
    }
    command[strcspn(command, "\r\n")] = '\0';
    printf("controller received: \"%s\"\n", command);
    const char* reply = strcmp(command, "Q:A0B0C0") == 0 ? "1200,-500D,0\r\n" : "ERR\r\n";
    printf("controller answers:  \"%.*s\"\n", (int)strcspn(reply, "\r\n"), reply);
    if (write(controller, reply, strlen(reply)) < 0) perror("write");
}

int main(void) {
    int controller = -1, stage_side = -1;
    char path[256] = {0};
    if (openpty(&controller, &stage_side, path, NULL, NULL) != 0) {
        perror("openpty");
        return 1;
    }
    setenv("ASTREL_COM1", path, 1); /* port index 0 is COM1 */
    printf("pseudo-terminal: %s\n", path);

    uint32_t handle = Astrel();
    SetUseMakerType((int32_t)handle, 0);
    SetUseStageName((int32_t)handle, "QT3");
    /* Port 0, the driver's line defaults, 1 s time-out. */
    CommunicationParam param = {0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 1000};
    SetCommunicationParam((int32_t)handle, &param);
    int32_t opened = OpenComPort((int32_t)handle);
    printf("OpenComPort(%u) -> %d\n", handle, opened);
    if (opened != 1) return 1;

    int32_t sent = SendStageData((int32_t)handle, "Q:A0B0C0");
    printf("SendStageData(\"Q:A0B0C0\") -> %d\n", sent);
    answer_one_command(controller);

    char reply[64] = {0};
    int32_t status = -1;
    int32_t received = ReceiveStageData((int32_t)handle, reply, (int32_t)sizeof reply, &status);
    printf("ReceiveStageData -> %d, status %d, reply \"%s\"\n", received, status, reply);

    CloseComPort((int32_t)handle);
    ReleaseAstrel((int32_t)handle);
    close(controller);
    close(stage_side);
    return received == 1 && strcmp(reply, "1200,-500D,0") == 0 ? 0 : 1;
}

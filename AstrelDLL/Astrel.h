/*
 * libastrel: drive motorised one- to three-axis stages over RS-232.
 *
 * A host takes a stage handle (Astrel), chooses the maker type and the stage
 * model, sets the serial parameters, opens the port, then moves the stage and
 * reads its position and status. Positions and distances are signed 32-bit
 * counts in the controller's own unit, multiplied only by the per-axis sign
 * the host chooses. Text is 8-bit: maker names are code page 932 bytes.
 *
 * Results are 1 for success and 0 for failure unless a function says
 * otherwise; functions that forward to the stage driver pass its result on
 * unchanged. No function keeps a pointer after it returns. The library takes
 * no locks: call it from one thread at a time.
 */
#ifndef ASTREL_H
#define ASTREL_H

#include <stdint.h>

#if defined(_WIN32)
#define ASTREL_API __declspec(dllexport)
#else
#define ASTREL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Serial parameters of one handle: 18 bytes, little-endian, no padding.
 * A 16-bit field of 0xFFFF asks for the driver's default; TimeOut of 0 or
 * less asks for 5000 ms. Codes: BaudRate 0..14 = 110, 300, 600, 1200, 2400,
 * 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000;
 * Parity 0 none, 1 even, 2 odd, 3 mark, 4 space; DataBits 0 seven, 1 eight;
 * StopBits 0 one, 1 one and a half, 2 two; FlowControl 0 none, 1 XON/XOFF,
 * 2 hardware handshake, 3 RTS/CTS; Delimiter 0 CR LF, 1 CR, 2 LF. */
#pragma pack(push, 1)
typedef struct CommunicationParam {
    uint16_t Port; /* 0..9: COM1..COM10 (device from ASTREL_COM<n>, else /dev/ttyS<n-1>) */
    uint16_t BaudRate;
    uint16_t Parity;
    uint16_t DataBits;
    uint16_t StopBits;
    uint16_t FlowControl;
    uint16_t Delimiter;
    int32_t TimeOut; /* reply time-out in milliseconds */
} CommunicationParam;
#pragma pack(pop)

/* ---- Handles and configuration ---------------------------------------- */

/* A new stage handle 0..9 (the lowest free one); 0xFFFFFFFF when all ten are taken. */
ASTREL_API uint32_t Astrel(void);
/* Releases the handle, closing its port. An invalid handle is ignored. */
ASTREL_API void ReleaseAstrel(int32_t handle);
/* Maker type: 0 QT, 1 Prior, 2 Suruga, 3 Sigma, 4 Hirox, 6 CP-310. Takes effect at OpenComPort. */
ASTREL_API void SetUseMakerType(int32_t handle, int16_t makerType);
/* The stored maker type; -1 for an invalid handle. */
ASTREL_API int16_t GetUseMakerType(int32_t handle);
/* Stage model name (NULL stores an empty name); reselects the model of an open stage. */
ASTREL_API void SetUseStageName(int32_t handle, const char* name);
/* A copy of the stored name, to be released with FreeStageName; NULL for an invalid handle. */
ASTREL_API char* GetUseStageName(int32_t handle);
/* Releases a name returned by GetUseStageName; NULL is allowed. */
ASTREL_API void FreeStageName(char* name);
/* Stores the 18 bytes of *param; used at the next OpenComPort. 0 for a bad handle or NULL. */
ASTREL_API int32_t SetCommunicationParam(int32_t handle, const CommunicationParam* param);
/* The same from seven fields, with TimeOut set to the default (5000 ms). */
ASTREL_API int32_t SetCommunicationParams(int32_t handle, uint16_t port, uint16_t baudRate,
                                          uint16_t parity, uint16_t dataBits, uint16_t stopBits,
                                          uint16_t flowControl, uint16_t delimiter);
/* Copies the stored parameters (default markers included) to *param. */
ASTREL_API int32_t GetCommunicationParam(int32_t handle, CommunicationParam* param);
/* Creates the maker's driver if needed, selects the model and opens the port: 1 open, 0 not. */
ASTREL_API int32_t OpenComPort(int32_t handle);
/* Closes the port (1 also when it was not open); 0 for a bad handle or no driver. */
ASTREL_API int32_t CloseComPort(int32_t handle);
/* Runs the controller's initialisation; the driver's result, 0 without a driver. */
ASTREL_API int32_t InitializeStage(int32_t handle);
/* Writes `text` and the line delimiter: 1 written, 0 not. */
ASTREL_API int32_t SendStageData(int32_t handle, const char* text);
/* Reads one reply line into buffer (size bytes, terminator included) within the time-out.
 * 1 when a line ended; *status (may be NULL) 1 nothing more waiting, 2 more input waiting,
 * 0 final query failed. 0 with *status 1 time-out, 2 device failure, 0 bad arguments.
 * An empty or overlong reply leaves buffer unchanged. */
ASTREL_API int32_t ReceiveStageData(int32_t handle, char* buffer, int32_t size, int32_t* status);

#ifdef __cplusplus
}
#endif

#endif /* ASTREL_H */

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
 * unchanged. No function keeps a pointer after it returns.
 *
 * Threads: every function may be called from any thread at any time.
 *  - Calls on different handles run at the same time without waiting for
 *    each other; the handle table and the catalogue lists (First/Next) are
 *    guarded, and a Next call continues from the last First or Next call of
 *    any thread.
 *  - Calls on one handle take turns: one exchange at a time on its port, so
 *    commands never interleave and a reply always reaches the call that
 *    asked for it. A call waits while another thread's call on the same
 *    handle is in progress. SendStageData and ReceiveStageData are two
 *    calls: another thread's call on the handle may come between them (and
 *    drop the reply), so a host that uses them shares the handle with no
 *    other thread meanwhile.
 *  - ReleaseAstrel and CloseComPort on a handle another thread is using wait
 *    for that call to finish; a call that comes after ReleaseAstrel finds no
 *    stage and gives its no-stage result.
 *  - StopMove, StopNow and StopJOG never wait behind a reply: a call on the
 *    same handle that is waiting for one is cut short and gives its result
 *    for no usable reply (GetStageStatus 6, other functions 0), sending
 *    nothing more; then the stop is written at once, before any other call
 *    waiting for the handle.
 *
 * A result never claims more than the library knows:
 *  - A controller that does not answer within the time-out, or answers
 *    something unusable (a missing field, text where a number belongs, an
 *    empty line), is "no usable reply": GetStageStatus gives 6, every other
 *    function gives its failure result (0) and writes none of your outputs.
 *    It is never reported as "at rest" or with made-up numbers.
 *  - A command that could not be written gives 0, as does a controller's
 *    refusal of a command.
 *  - A function that names one axis (a speed, a direction, a limit test)
 *    for an axis the stage model does not have gives 0 and sends nothing.
 *  - An operation the stage's controller does not have returns 1 and sends
 *    nothing (for example RemoteStage on a controller without a remote
 *    mode).
 */
#ifndef ASTREL_H
#define ASTREL_H

#include <stdint.h>

/* On Windows the functions are exported from astrel.dll while the library is
 * built and imported by a host that includes this header. */
#if defined(_WIN32) && defined(ASTREL_BUILDING_LIBRARY)
#define ASTREL_API __declspec(dllexport)
#elif defined(_WIN32)
#define ASTREL_API __declspec(dllimport)
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
    /* 0..9: COM1..COM10. Windows opens \\.\COM<n>; Linux the device named by
     * the variable ASTREL_COM<n> (a device path, or socket://HOST:PORT for a
     * network serial server), else /dev/ttyS<n-1>. */
    uint16_t Port;
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
/* The device the handle's port opens from the next OpenComPort on: a device
 * path (Windows: \\.\COMn), or socket://HOST:PORT for a network serial
 * server. It takes the place of what the Port index names (ASTREL_COM<n> or
 * the default), so Port need not be set; a host with several threads sets
 * each handle's device here instead of changing its environment. NULL or ""
 * goes back to the Port index. 1 stored; 0 for a bad handle. */
ASTREL_API int32_t SetPortDevice(int32_t handle, const char* path);
/* The device the handle's port opens (the one set, else the one its Port
 * index names; empty for none) into buffer (size bytes, terminator included):
 * 1 copied; 0 for a bad handle, a NULL buffer or one too small (untouched). */
ASTREL_API int32_t GetPortDevice(int32_t handle, char* buffer, int32_t size);
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

/* ---- Catalogue ---------------------------------------------------------- */
/* Text goes into the caller's buffer with its terminator; 64 bytes always
 * suffice. A NULL buffer gives 0. Maker names are code page 932 bytes. */

/* The first maker name (index = maker type 0); 1 written, 0 not. */
ASTREL_API int32_t GetMakerListFirst(char* buffer);
/* The next maker name; 0 past the fifth. */
ASTREL_API int32_t GetMakerListNext(char* buffer);
/* The maker's first stage model and its axis count (axisCount may be NULL);
 * 0 when the maker has no list (maker types 5 and 6 included). */
ASTREL_API int32_t GetStageListFirst(int16_t makerType, int32_t* axisCount, char* buffer);
/* The next stage model; 0 past the last. The stage, speed-unit and
 * acceleration-unit lists share one cursor: any First restarts all three. */
ASTREL_API int32_t GetStageListNext(int32_t* axisCount, char* buffer);
/* The maker's first speed unit name (for example "pps"). */
ASTREL_API int32_t GetSpeedUnitListFirst(int16_t makerType, char* buffer);
/* The next speed unit name; 0 past the last. */
ASTREL_API int32_t GetSpeedUnitListNext(char* buffer);
/* The maker's first acceleration unit name (for example "msec"). */
ASTREL_API int32_t GetAcclUnitListFirst(int16_t makerType, char* buffer);
/* The next acceleration unit name; 0 past the last. */
ASTREL_API int32_t GetAcclUnitListNext(char* buffer);
/* Function property `property` of a maker's model (model may be NULL) into *value:
 * 1 known, 0 unknown maker, model or property (value untouched). */
ASTREL_API int32_t GetDeviceFunctionProperty(int16_t makerType, const char* model, int32_t property,
                                             uint32_t* value);
/* The same for the opened stage of a handle; 0 for a bad handle or no driver. */
ASTREL_API int32_t GetStageFunctionProperty(int32_t handle, int32_t property, uint32_t* value);

/* ---- Status ------------------------------------------------------------- */
/* Every stage function below returns its "no stage" value (0 unless stated)
 * for an invalid handle or one that has not been opened. */

/* 0 at rest, 1 moving, 4 stopped at a limit, 6 no usable reply from the
 * controller, 7 controller error, unknown state or no stage; 2, 3, 5 are
 * maker-specific. With several axes the controller's own order decides. */
ASTREL_API int32_t GetStageStatus(int32_t handle);
/* Switches the controller to remote (mode non-zero) or local (0) operation. */
ASTREL_API int32_t RemoteStage(int32_t handle, int32_t mode);
/* 1 while any axis moves. 0 at rest, and also when the controller could not
 * be asked (so that a polling loop ends): IsStageRunningEx tells the two apart. */
ASTREL_API int32_t IsStageRunning(int32_t handle);
/* 1 with *running set (1 any axis moving, 0 at rest); 0, *running untouched,
 * when the controller could not be asked or gave no usable reply. */
ASTREL_API int32_t IsStageRunningEx(int32_t handle, int32_t* running);
/* Non-zero when the axis (0 X, 1 Y, 2 Z, 0xFFFF any) stopped at a limit;
 * 0 also when the controller gave no usable reply. */
ASTREL_API int32_t IsStopByLimit(int32_t handle, uint16_t axis);
/* 1 with *atLimit set (1 the axis, or any axis for 0xFFFF, stopped at a
 * limit; 0 not); 0, *atLimit untouched, when the controller could not be
 * asked or gave no usable reply, or the stage has no such axis. A controller
 * that cannot tell limits answers 1 with *atLimit 0. */
ASTREL_API int32_t IsStopByLimitEx(int32_t handle, uint16_t axis, int32_t* atLimit);
/* Position in controller counts, times the axis signs; NULL outputs are skipped.
 * 1 read; 0 when the controller gave no usable reply, outputs untouched. */
ASTREL_API int32_t GetStagePosition(int32_t handle, int32_t* x, int32_t* y, int32_t* z);

/* ---- Motion ------------------------------------------------------------- */
/* Coordinates are controller counts, multiplied by the axis signs on the way
 * to the driver. Commands return once written; poll IsStageRunning. */

/* Gives the current position the coordinates x, y, z. */
ASTREL_API int32_t SetStagePosition(int32_t handle, int32_t x, int32_t y, int32_t z);
/* Makes the current position the origin (0, 0, 0). */
ASTREL_API int32_t SetOriginNowPos(int32_t handle);
/* Moves to the absolute position x, y, z. */
ASTREL_API int32_t MoveABS(int32_t handle, int32_t x, int32_t y, int32_t z);
/* Moves by the distances x, y, z. */
ASTREL_API int32_t MoveREL(int32_t handle, int32_t x, int32_t y, int32_t z);
/* Jogs each axis: 0 holds it, 1 plus direction, -1 minus direction. */
ASTREL_API int32_t MoveJOG(int32_t handle, int16_t x, int16_t y, int16_t z);
/* Decelerating stop. */
ASTREL_API int32_t StopMove(int32_t handle);
/* Ends a jog (the same decelerating stop as StopMove). */
ASTREL_API int32_t StopJOG(int32_t handle);
/* Immediate stop. */
ASTREL_API int32_t StopNow(int32_t handle);
/* Returns to the mechanical origin. */
ASTREL_API int32_t MoveOriginPosition(int32_t handle);
/* Speeds of one axis (0 X, 1 Y, 2 Z): start and maximum speed in the maker's
 * speed unit, acceleration time in its acceleration unit. */
ASTREL_API int32_t SetMoveSpeeds(int32_t handle, uint16_t axis, int32_t startSpeed,
                                 int32_t maxSpeed, int32_t accelTime);
/* Reverses (direction -1) or restores (1) the controller's direction of an axis (0 X, 1 Y, 2 Z). */
ASTREL_API int32_t CP310SetStageDirection(int32_t handle, int32_t axis, int32_t direction);
/* The same as CP310SetStageDirection, for every maker. */
ASTREL_API int32_t StgSetStageDirection(int32_t handle, int32_t axis, int32_t direction);
/* The sign (+1 or -1; other values count as +1) of an axis (0 X, 1 Y, 2 Z) at this
 * interface. Works before the port is opened; 0 for a bad handle or axis. */
ASTREL_API int32_t SetAxisSign(int32_t handle, int32_t axis, int16_t sign);

/* ---- Maker-specific ----------------------------------------------------- */
/* On a stage of another maker these return 1 and do nothing. */

/* QT stages: controller axis (0..3 = A..D, 0xFFFF none or automatic) of X, Y, Z. */
ASTREL_API int32_t SetAxisNum(int32_t handle, uint16_t x, uint16_t y, uint16_t z);
/* Sigma stages: sets up the trigger output from two controller values. */
ASTREL_API int32_t SetTrigger(int32_t handle, int16_t first, int32_t second);
/* Sigma stages: fires the trigger output once. */
ASTREL_API int32_t OnceTrigger(int32_t handle);
/* Sigma stages: stops the trigger output. */
ASTREL_API int32_t StopTrigger(int32_t handle);
/* Sigma stages: the trigger range into *lower and *upper. */
ASTREL_API int32_t GetTriggerRange(int32_t handle, int32_t* lower, int32_t* upper);

/* ---- Why a call failed -------------------------------------------------- */
/* Each thread has its own last error, as it has its own system error: a
 * function of a stage handle that fails sets it (from its failure result:
 * 0, or 6 from GetStageStatus; a bad handle included; ReleaseAstrel of a
 * handle not in use and Astrel with every handle taken too), a function that
 * succeeds leaves it as it was, and one thread's failure is never seen by
 * another. The catalogue functions leave it alone. The two functions below never
 * change it. The message names the function, the port and what was sent, for
 * example: GetStageStatus on /dev/ttyUSB0: no reply within 500 ms to "Q:".
 * Results that are 0 without failing (IsStageRunning at rest, for one) set
 * it only when an exchange failed on the way. */
enum AstrelErrorCode {
    ASTREL_OK = 0,                  /* no failure yet on this thread */
    ASTREL_ERROR_NO_REPLY = 1,      /* no reply within the time-out */
    ASTREL_ERROR_BAD_REPLY = 2,     /* a reply the driver cannot use (quoted) */
    ASTREL_ERROR_REFUSED = 3,       /* the controller refused the command (its answer quoted) */
    ASTREL_ERROR_WRITE_FAILED = 4,  /* the command could not be written */
    ASTREL_ERROR_NOT_OPEN = 5,      /* the port is not open */
    ASTREL_ERROR_OPEN_FAILED = 6,   /* the device could not be opened (path and reason) */
    ASTREL_ERROR_UNKNOWN_MODEL = 7, /* an unknown maker type or stage model */
    ASTREL_ERROR_BAD_ARGUMENT = 8,  /* a bad handle, null pointer or value (named) */
    ASTREL_ERROR_INTERRUPTED = 9,   /* cut short by a stop from another thread */
    ASTREL_ERROR_HANG_UP = 10,      /* the line closed or the device failed */
    ASTREL_ERROR_NO_HANDLE = 11     /* Astrel: all ten stage handles are taken */
};
/* The code of this thread's last failure (an AstrelErrorCode); 0 when none. */
ASTREL_API int32_t AstrelLastError(void);
/* Copies the message of this thread's last failure to buffer (size bytes,
 * always terminated when size > 0; NULL or size 0 copies nothing). Returns
 * the message's full length without the terminator: when that is size or
 * more the copy was cut, and a buffer of length + 1 bytes holds it all.
 * An empty message (length 0) when no call on this thread has failed. */
ASTREL_API int32_t AstrelLastErrorText(char* buffer, int32_t size);
/* Resets this thread's last error to ASTREL_OK with an empty message, so
 * that a host can tell whether a call whose 0 is also an answer failed. */
ASTREL_API void AstrelClearLastError(void);

/* ---- The library -------------------------------------------------------- */

/* The library's version as a number, major * 10000 + minor * 100 + patch
 * (10100 for 1.1.0), so that a host or binding can check what it loaded;
 * when text is not NULL and size > 0, also as text ("1.1.0"), terminated
 * and cut to size - 1 bytes. */
ASTREL_API int32_t AstrelVersion(char* text, int32_t size);

#ifdef __cplusplus
}
#endif

#endif /* ASTREL_H */

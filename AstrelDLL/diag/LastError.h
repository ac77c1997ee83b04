// Why a call failed, kept per thread. While an export runs, the layers below
// it note what they saw: the transport the bytes written and read, time-outs,
// failed writes, hang-ups and interruptions; the drivers refusals and unusable
// replies; the export itself bad handles, null arguments and unknown models.
// When the export ends in failure its notes become the thread's last error,
// a code (AstrelErrorCode of Astrel.h) and a message naming the operation,
// the port and what was sent. A successful call leaves the last error as it
// was. Everything lives in fixed thread-local buffers: noting costs no
// allocation.
#pragma once

#include <cstdint>
#include <string_view>

namespace astrel {

// Starts the notes of a new call on this thread.
void BeginCall();
// Ends the call of export `op` on `port` (a device path, or a handle's name
// when it has none; empty for a call of no handle). With `failed` the notes become this thread's
// last error; when nothing was noted, a reply read in the call is quoted as unusable, and without
// one the driver is taken to have refused the arguments.
void EndCall(const char* op, std::string_view port, bool failed);
// Whether a failure was noted in this call.
bool FailureNoted();
// Marks the call failed whatever its result (GetStageStatus's 6), and asks whether it was.
void MarkFailedResult();
bool FailedResultMarked();

// What the transport wrote (the text without its delimiter) and the last reply it read. A reply
// read after a time-out or failure replaces that note: the call went on.
void NoteSent(std::string_view text);
void NoteReply(std::string_view text);

void NoteNoReply(uint32_t timeoutMs);
void NoteInterrupted();
void NoteHangUp();
void NoteWriteFailed();
void NoteNotOpen();
// `reason`: the system's reason (busy, missing, permission, not a serial device);
// the message names the device as the port.
void NoteOpenFailed(std::string_view reason);
void NoteUnknownModel(std::string_view what);
// `what` names the argument and what is wrong with it.
void NoteBadArgument(std::string_view what);
void NoteRefusal(std::string_view answer);
void NoteUnusableReply(std::string_view reply);

void NoteNoHandle();
// The driver has no axis `axis` (or does not use it) for a single-axis request.
void NoteNoSuchAxis(uint16_t axis);

// This thread's last error code (0: none yet) and message.
int32_t LastErrorCode();
const char* LastErrorText();
// Back to no error and an empty message.
void ClearLastError();

}  // namespace astrel

#include "diag/LastError.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Astrel.h"
#include "diag/EscapedBytes.h"

namespace astrel {
namespace {

// Bytes kept of a command or reply, escaped, for quoting.
constexpr size_t kQuoteSize = 100;
constexpr size_t kDetailSize = 300;
constexpr size_t kTextSize = 480;

// A command or reply as it went over the line: its first kQuoteSize bytes,
// which escaped fill a quote and show whether more followed. Every exchange
// notes one; only a failure escapes it, so that noting costs a copy.
struct RawBytes {
    char bytes[kQuoteSize] = {};
    size_t size = 0;

    void Keep(std::string_view text) {
        size = std::min(text.size(), sizeof bytes);
        std::memcpy(bytes, text.data(), size);
    }
    // The bytes escaped for quoting, in a buffer that lasts until the next call.
    const char* Escaped(char (&out)[kQuoteSize]) const {
        EscapeBytes(std::string_view(bytes, size), out, sizeof out);
        return out;
    }
};

struct CallNotes {
    int32_t code = ASTREL_OK;
    char detail[kDetailSize] = {};
    RawBytes sent;
    RawBytes reply;
    bool wrote = false;
    bool replied = false;
    bool failedResult = false;
};

struct LastError {
    int32_t code = ASTREL_OK;
    char text[kTextSize] = {};
};

thread_local CallNotes notes;
thread_local LastError last;

// Notes a failure; the arguments complete `format` (a literal in every caller).
template <typename... Args>
void Note(int32_t code, const char* format, Args... args) {
    notes.code = code;
    std::snprintf(notes.detail, sizeof notes.detail, format, args...);
}

// The command written in this call, escaped.
const char* Sent() {
    static thread_local char text[kQuoteSize];
    return notes.sent.Escaped(text);
}

// ` to "<sent>"` when something was written in this call, else nothing.
const char* ToSent() {
    static thread_local char text[kQuoteSize + 8];
    if (!notes.wrote) return "";
    std::snprintf(text, sizeof text, " to \"%s\"", Sent());
    return text;
}

}  // namespace

void BeginCall() {
    notes.code = ASTREL_OK;
    notes.wrote = false;
    notes.replied = false;
    notes.failedResult = false;
}

bool FailureNoted() {
    return notes.code != ASTREL_OK;
}

void MarkFailedResult() {
    notes.failedResult = true;
}

bool FailedResultMarked() {
    return notes.failedResult;
}

void EndCall(const char* op, std::string_view port, bool failed) {
    if (!failed) return;
    if (notes.code == ASTREL_OK) {
        if (notes.replied) {
            char reply[kQuoteSize];
            Note(ASTREL_ERROR_BAD_REPLY, "unusable reply \"%s\"%s", notes.reply.Escaped(reply),
                 ToSent());
        } else {
            Note(ASTREL_ERROR_BAD_ARGUMENT, "%s", "an axis or value the stage does not take");
        }
    }
    last.code = notes.code;
    if (port.empty()) {
        std::snprintf(last.text, sizeof last.text, "%s: %s", op, notes.detail);
    } else {
        std::snprintf(last.text, sizeof last.text, "%s on %.*s: %s", op,
                      static_cast<int>(port.size()), port.data(), notes.detail);
    }
}

void NoteSent(std::string_view text) {
    notes.sent.Keep(text);
    notes.wrote = true;
}

void NoteReply(std::string_view text) {
    notes.reply.Keep(text);
    notes.replied = true;
    notes.code = ASTREL_OK;
}

void NoteNoReply(uint32_t timeoutMs) {
    Note(ASTREL_ERROR_NO_REPLY, "no reply within %u ms%s", static_cast<unsigned>(timeoutMs),
         ToSent());
}

void NoteInterrupted() {
    Note(ASTREL_ERROR_INTERRUPTED, "interrupted by another thread's stop, close or release%s",
         notes.wrote ? ToSent() : "");
}

void NoteHangUp() {
    Note(ASTREL_ERROR_HANG_UP, "the line closed or failed (hang-up)%s", ToSent());
}

void NoteWriteFailed() {
    // A write after the line closed in this call fails for that reason.
    if (notes.code == ASTREL_ERROR_HANG_UP) return;
    Note(ASTREL_ERROR_WRITE_FAILED, "could not write \"%s\"", Sent());
}

void NoteNotOpen() {
    Note(ASTREL_ERROR_NOT_OPEN, "%s", "the port is not open");
}

void NoteOpenFailed(std::string_view reason) {
    Note(ASTREL_ERROR_OPEN_FAILED, "cannot open it: %.*s", static_cast<int>(reason.size()),
         reason.data());
}

void NoteUnknownModel(std::string_view what) {
    Note(ASTREL_ERROR_UNKNOWN_MODEL, "%.*s", static_cast<int>(what.size()), what.data());
}

void NoteBadArgument(std::string_view what) {
    Note(ASTREL_ERROR_BAD_ARGUMENT, "bad argument: %.*s", static_cast<int>(what.size()),
         what.data());
}

void NoteRefusal(std::string_view answer) {
    char quoted[kQuoteSize];
    EscapeBytes(answer, quoted, sizeof quoted);
    Note(ASTREL_ERROR_REFUSED, "the controller refused \"%s\", answering \"%s\"", Sent(), quoted);
}

void NoteUnusableReply(std::string_view reply) {
    char quoted[kQuoteSize];
    EscapeBytes(reply, quoted, sizeof quoted);
    Note(ASTREL_ERROR_BAD_REPLY, "unusable reply \"%s\"%s", quoted, ToSent());
}

void NoteOutOfMemory() {
    Note(ASTREL_ERROR_NO_MEMORY, "%s", "out of memory");
}

void NoteNoHandle() {
    Note(ASTREL_ERROR_NO_HANDLE, "%s", "all ten stage handles are taken");
}

void NoteNoSuchAxis(uint16_t axis) {
    Note(ASTREL_ERROR_BAD_ARGUMENT, "bad argument: the stage has no axis %u",
         static_cast<unsigned>(axis));
}

void ClearLastError() {
    last.code = ASTREL_OK;
    last.text[0] = '\0';
}

int32_t LastErrorCode() {
    return last.code;
}

const char* LastErrorText() {
    return last.text;
}

}  // namespace astrel

// Exports that tell the host why the last failing call on its thread failed.
#include <cstring>

#include "Astrel.h"
#include "diag/LastError.h"

extern "C" {

ASTREL_API int32_t AstrelLastError(void) {
    return astrel::LastErrorCode();
}

ASTREL_API int32_t AstrelLastErrorText(char* buffer, int32_t size) {
    const char* text = astrel::LastErrorText();
    const size_t length = std::strlen(text);
    if (buffer != nullptr && size > 0) {
        const size_t n =
            length < static_cast<size_t>(size) - 1 ? length : static_cast<size_t>(size) - 1;
        std::memcpy(buffer, text, n);
        buffer[n] = '\0';
    }
    return static_cast<int32_t>(length);
}

ASTREL_API void AstrelClearLastError(void) {
    astrel::ClearLastError();
}

}  // extern "C"

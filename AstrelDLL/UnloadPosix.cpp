// Releasing every handle as the library unloads on Linux: at dlclose, and at
// the process's exit. A call that another thread still has in progress then
// is cut short, as by a stop; the handle table stays, so that thread's next
// call finds no stage and gives its no-stage result.
#include "CAstrelDLLApp.h"

namespace {

struct Unload {
    Unload() = default;
    Unload(const Unload&) = delete;
    Unload& operator=(const Unload&) = delete;
    ~Unload() { TheApp().ReleaseAll(); }
};

const Unload unload;

}  // namespace

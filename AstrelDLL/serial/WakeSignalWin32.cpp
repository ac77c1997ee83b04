// The wake signal on Windows: a manual-reset event that is set while raised.
#include <windows.h>

#include "serial/WakeSignal.h"

namespace astrel {

WakeSignal::WakeSignal() {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr) native_ = reinterpret_cast<intptr_t>(event);
}

WakeSignal::~WakeSignal() {
    if (native_ != kNone) ::CloseHandle(reinterpret_cast<HANDLE>(native_));
}

void WakeSignal::Raise() noexcept {
    raised_.store(true, std::memory_order_release);
    if (native_ != kNone) ::SetEvent(reinterpret_cast<HANDLE>(native_));
}

void WakeSignal::Clear() noexcept {
    raised_.store(false, std::memory_order_release);
    if (native_ != kNone) ::ResetEvent(reinterpret_cast<HANDLE>(native_));
}

}  // namespace astrel

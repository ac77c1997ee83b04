#include "CAstrelDLLApp.h"

#include <new>

CAstrelDLLApp& TheApp() {
    // Made in place in static storage and never destroyed: its members'
    // destructors would run at process exit under calls still in progress.
    alignas(CAstrelDLLApp) static unsigned char storage[sizeof(CAstrelDLLApp)];
    static CAstrelDLLApp* const app = new (storage) CAstrelDLLApp;
    return *app;
}

void CAstrelDLLApp::ReleaseAll() {
    for (int32_t h = 0; h < kHandleCount; ++h) Release(h);
}

uint32_t CAstrelDLLApp::Allocate() {
    // Made before the table is locked: the lock is never held while allocating.
    auto record = std::make_shared<CAstrelData>(0);
    std::lock_guard lock(tableMutex_);
    for (int32_t h = 0; h < kHandleCount; ++h) {
        if (slots_[h] == nullptr) {
            record->handleNumber = h;
            slots_[h] = std::move(record);
            return static_cast<uint32_t>(h);
        }
    }
    return kNoHandle;
}

void CAstrelDLLApp::Release(int32_t handle) {
    const std::shared_ptr<CAstrelData> record = Record(handle);
    if (record == nullptr) return;
    {
        // The port closes before the handle is free, so that a handle taken
        // next can open it again at once.
        HandleLock::Hold hold(record->lock, HandleLock::Kind::kEnd);
        if (record->released) return;  // another thread released it meanwhile
        record->released = true;
        record->driver.reset();
    }
    std::lock_guard lock(tableMutex_);
    if (slots_[handle] == record) slots_[handle].reset();
}

std::shared_ptr<CAstrelData> CAstrelDLLApp::Record(int32_t handle) {
    if (static_cast<uint32_t>(handle) >= static_cast<uint32_t>(kHandleCount)) return nullptr;
    std::lock_guard lock(tableMutex_);
    return slots_[handle];
}

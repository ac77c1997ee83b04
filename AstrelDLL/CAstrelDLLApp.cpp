#include "CAstrelDLLApp.h"

#include <new>

namespace {
CAstrelDLLApp theApp;
}  // namespace

CAstrelDLLApp& TheApp() {
    return theApp;
}

CAstrelDLLApp::~CAstrelDLLApp() {
    for (int32_t h = 0; h < kHandleCount; ++h) Release(h);
}

uint32_t CAstrelDLLApp::Allocate() {
    for (int32_t h = 0; h < kHandleCount; ++h) {
        if (slots_[h] == nullptr) {
            slots_[h] = std::make_unique<CAstrelData>(h);
            return static_cast<uint32_t>(h);
        }
    }
    return kNoHandle;
}

void CAstrelDLLApp::Release(int32_t handle) {
    if (Record(handle) != nullptr) slots_[handle].reset();
}

CAstrelData* CAstrelDLLApp::Record(int32_t handle) {
    if (static_cast<uint32_t>(handle) >= static_cast<uint32_t>(kHandleCount)) return nullptr;
    return slots_[handle].get();
}

CAstrelBase* CAstrelDLLApp::Driver(int32_t handle) {
    CAstrelData* record = Record(handle);
    return record != nullptr ? record->driver.get() : nullptr;
}

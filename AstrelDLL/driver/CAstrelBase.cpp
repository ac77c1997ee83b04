#include "driver/CAstrelBase.h"

#include <cstring>

int32_t CAstrelBase::GetStageList(int16_t /*index*/, int32_t* /*axisCount*/, char* /*name*/) {
    return 1;
}

int32_t CAstrelBase::GetSpeedUnitList(int16_t /*index*/, char* name) {
    return WriteTableEntry("pps", name);
}

int32_t CAstrelBase::GetAcclUnitList(int16_t /*index*/, char* name) {
    return WriteTableEntry("msec", name);
}

int32_t CAstrelBase::WriteTableEntry(const char* entry, char* out) {
    if (out != nullptr) std::memcpy(out, entry, std::strlen(entry) + 1);
    return 1;
}

int32_t CAstrelBase::IsStageRunningEx(int32_t* running) {
    const int32_t moving = IsStageRunning();
    if (running != nullptr) *running = moving;
    return 1;
}

void CAstrelBase::SetStageName(const char* name) {
    std::memset(stageName_, 0, sizeof stageName_);
    if (name != nullptr) std::strncpy(stageName_, name, kStageNameLength);
}

int32_t CAstrelBase::ReceiveLastReply(char* buffer, int32_t size) {
    // A reply followed by more waiting input is not the last one: read on
    // until a reply leaves the input empty. A controller that never falls
    // quiet gets one time-out in all, so the call still ends.
    const uint32_t start = Now();
    for (;;) {
        int32_t status = 0;
        if (ReceiveData(buffer, size, &status) == 0) return 0;
        if (status == 1) return 1;
        if (RemainingMs(start, TimeOutMs()) == 0) return 0;
    }
}

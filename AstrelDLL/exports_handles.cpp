// Exports that create and release stage handles and hold what the host
// chose for each: maker type, stage model name, serial parameters.
#include <cstring>
#include <new>

#include "Astrel.h"
#include "CAstrelDLLApp.h"
#include "ExportGuard.h"

using astrel::Guarded;
using astrel::WithRecord;

namespace {

int32_t NullParam() {
    astrel::NoteBadArgument("param is null");
    return 0;
}

}  // namespace

extern "C" {

ASTREL_API uint32_t Astrel(void) {
    astrel::BeginCall();
    return Guarded(CAstrelDLLApp::kNoHandle, [] {
        const uint32_t handle = TheApp().Allocate();
        if (handle == CAstrelDLLApp::kNoHandle) {
            astrel::NoteNoHandle();
            astrel::EndCall("Astrel", {}, true);
        }
        return handle;
    });
}

ASTREL_API void ReleaseAstrel(int32_t handle) {
    Guarded([&] {
        if (TheApp().Record(handle) == nullptr) {
            astrel::BeginCall();
            astrel::NoteBadArgument("the handle is not one in use");
            char scratch[24];
            astrel::EndCall("ReleaseAstrel", astrel::PortName(nullptr, handle, scratch), true);
        }
        TheApp().Release(handle);
    });
}

ASTREL_API void SetUseMakerType(int32_t handle, int16_t makerType) {
    // Only stored: an attached driver of another maker serves on until the next OpenComPort.
    WithRecord(
        __func__, handle, 0,
        [&](CAstrelData& record) {
            record.makerType = makerType;
            return 0;
        },
        HandleLock::Kind::kCall, astrel::Failure::kIfNoted);
}

ASTREL_API int16_t GetUseMakerType(int32_t handle) {
    return WithRecord(__func__, handle, int16_t{-1},
                      [](CAstrelData& record) { return record.makerType; });
}

ASTREL_API void SetUseStageName(int32_t handle, const char* name) {
    WithRecord(
        __func__, handle, 0,
        [&](CAstrelData& record) {
            record.stageName = name != nullptr ? name : "";
            if (record.driver != nullptr) {
                // The driver keeps at most 32 bytes; its verdict on the model is not reported.
                record.driver->SetStageName(record.stageName.c_str());
                record.driver->SelectStage();
            }
            return 0;
        },
        HandleLock::Kind::kCall, astrel::Failure::kIfNoted);
}

ASTREL_API char* GetUseStageName(int32_t handle) {
    return WithRecord(__func__, handle, static_cast<char*>(nullptr), [](CAstrelData& record) {
        const std::string& name = record.stageName;
        char* copy = new (std::nothrow) char[name.size() + 1];
        if (copy != nullptr) std::memcpy(copy, name.c_str(), name.size() + 1);
        return copy;
    });
}

ASTREL_API void FreeStageName(char* name) {
    delete[] name;
}

ASTREL_API int32_t SetCommunicationParam(int32_t handle, const CommunicationParam* param) {
    return WithRecord(__func__, handle, 0, [&](CAstrelData& record) {
        if (param == nullptr) return NullParam();
        std::memcpy(&record.communicationParam, param, sizeof(CommunicationParam));
        return 1;
    });
}

ASTREL_API int32_t SetCommunicationParams(int32_t handle, uint16_t port, uint16_t baudRate,
                                          uint16_t parity, uint16_t dataBits, uint16_t stopBits,
                                          uint16_t flowControl, uint16_t delimiter) {
    const CommunicationParam param{port,     baudRate,    parity,    dataBits,
                                   stopBits, flowControl, delimiter, -1};
    return SetCommunicationParam(handle, &param);
}

ASTREL_API int32_t GetCommunicationParam(int32_t handle, CommunicationParam* param) {
    return WithRecord(__func__, handle, 0, [&](CAstrelData& record) {
        if (param == nullptr) return NullParam();
        std::memcpy(param, &record.communicationParam, sizeof(CommunicationParam));
        return 1;
    });
}

}  // extern "C"

// Exports that choose the device of a handle's port, open and close it,
// initialise its stage, and pass raw command text to and from its controller.
#include <cstdio>
#include <cstring>
#include <string>

#include "Astrel.h"
#include "CAstrelDLLApp.h"
#include "CommunicationParams.h"
#include "DriverFactory.h"
#include "ExportGuard.h"
#include "serial/SerialDevice.h"

using astrel::WithStage;

namespace {

// Notes an unknown maker type or model (`format` completed by `value`); the open fails.
template <typename Value>
int32_t UnknownModel(const char* format, Value value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    astrel::NoteUnknownModel(text);
    return 0;
}

}  // namespace

extern "C" {

ASTREL_API int32_t OpenComPort(int32_t handle) {
    return astrel::WithRecord(__func__, handle, 0, [handle](CAstrelData& record) {
        const int16_t maker = record.makerType;
        // A driver of the chosen maker's class is kept; one of another maker is
        // replaced. A maker type without a class keeps whatever is attached.
        if (record.driver != nullptr && astrel::HasDriverClass(maker) &&
            !astrel::IsDriverOfMaker(*record.driver, maker)) {
            record.driver.reset();
        }
        if (record.driver == nullptr) {
            std::unique_ptr<CAstrelBase> driver = astrel::CreateDriver(maker);
            if (driver == nullptr) return UnknownModel("no driver for maker type %d", maker);
            driver->SetStageName(record.stageName.c_str());
            if (driver->SelectStage() == 0) {
                return UnknownModel("the maker has no stage model \"%.32s\"",
                                    record.stageName.c_str());
            }
            driver->UseWakeSignal(&record.lock.Wake());
            record.driver = std::move(driver);
        }
        CAstrelBase& driver = *record.driver;
        driver.settings = astrel::MergeCommunicationParam(record.communicationParam, driver);
        driver.chosenDevice = record.portDevice;
        driver.SetTraceHandle(handle);
        return driver.OpenPort();
    });
}

ASTREL_API int32_t SetPortDevice(int32_t handle, const char* path) {
    return astrel::WithRecord(__func__, handle, 0, [&](CAstrelData& record) {
        record.portDevice = path != nullptr ? path : "";
        return 1;
    });
}

ASTREL_API int32_t GetPortDevice(int32_t handle, char* buffer, int32_t size) {
    return astrel::WithRecord(__func__, handle, 0, [&](CAstrelData& record) {
        const std::string device =
            !record.portDevice.empty()
                ? record.portDevice
                : astrel::PortDevicePath(static_cast<int16_t>(record.communicationParam.Port));
        if (buffer == nullptr || size < 1 || device.size() >= static_cast<uint32_t>(size)) {
            astrel::NoteBadArgument("the buffer is null or too small for " +
                                    std::to_string(device.size() + 1) + " bytes");
            return 0;
        }
        std::memcpy(buffer, device.c_str(), device.size() + 1);
        return 1;
    });
}

ASTREL_API int32_t CloseComPort(int32_t handle) {
    // The driver stays attached: a later OpenComPort reopens it.
    return WithStage(__func__, handle, 0, [](CAstrelBase& driver, CAstrelData&) {
        driver.ClosePort();
        return 1;
    });
}

ASTREL_API int32_t InitializeStage(int32_t handle) {
    return WithStage(__func__, handle, 0,
                     [](CAstrelBase& driver, CAstrelData&) { return driver.InitializeStage(); });
}

ASTREL_API int32_t SendStageData(int32_t handle, const char* text) {
    return WithStage(__func__, handle, 0,
                     [&](CAstrelBase& driver, CAstrelData&) { return driver.SendData(text); });
}

ASTREL_API int32_t ReceiveStageData(int32_t handle, char* buffer, int32_t size, int32_t* status) {
    return WithStage(__func__, handle, 0, [&](CAstrelBase& driver, CAstrelData&) {
        return driver.ReceiveData(buffer, size, status);
    });
}

}  // extern "C"

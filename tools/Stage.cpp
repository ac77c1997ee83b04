#include "Stage.h"

#include <cstdlib>
#include <vector>

#include "Astrel.h"
#include "Makers.h"
#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

constexpr uint32_t kNoHandle = 0xFFFFFFFF;

// The device the handle's port opens, as the library has it.
std::string DeviceOf(int32_t handle) {
    char device[512] = {};
    return GetPortDevice(handle, device, sizeof device) == 1 ? device : "";
}

std::string ModelList(int16_t makerType) {
    std::vector<std::string> names;
    for (const ModelEntry& model : ListedModels(makerType)) names.push_back(model.name);
    return names.empty() ? "" : " (models: " + Join(names, ", ") + ")";
}

}  // namespace

Stage::Stage(const Connection& connection) : connection_(connection) {
    if (connection.port > 9) throw ToolError(Exit::kUsage, "port index must be 0 to 9");
    // The library reads the variable when the port opens.
    if (connection.trace) ::setenv("ASTREL_TRACE", "stderr", 1);
    const uint32_t handle = Astrel();
    if (handle == kNoHandle) throw ToolError(Exit::kNoPort, "the library has no free stage handle");
    handle_ = static_cast<int32_t>(handle);
    SetUseMakerType(handle_, connection.makerType);
    SetUseStageName(handle_, connection.model.c_str());
    const CommunicationParam param{connection.port,          connection.baudCode,
                                   connection.parityCode,    connection.dataBitsCode,
                                   connection.stopBitsCode,  connection.flowCode,
                                   connection.delimiterCode, connection.timeOutMs};
    SetCommunicationParam(handle_, &param);
    if (!connection.device.empty()) SetPortDevice(handle_, connection.device.c_str());
    device_ = DeviceOf(handle_);
    if (OpenComPort(handle_) == 1) return;
    const std::string why = LastError();
    ReleaseAstrel(handle_);
    if (AstrelLastError() == ASTREL_ERROR_UNKNOWN_MODEL) {
        throw ToolError(Exit::kUsage, MakerName(connection.makerType) + ": " + why +
                                          ModelList(connection.makerType));
    }
    throw ToolError(Exit::kNoPort, why + (connection.device.empty()
                                              ? " (COM" + std::to_string(connection.port + 1) + ")"
                                              : ""));
}

Stage::~Stage() {
    ReleaseAstrel(handle_);
}

std::string LastError() {
    std::vector<char> text(256);
    const int32_t length = AstrelLastErrorText(text.data(), static_cast<int32_t>(text.size()));
    if (length >= static_cast<int32_t>(text.size())) {
        text.resize(static_cast<size_t>(length) + 1);
        AstrelLastErrorText(text.data(), static_cast<int32_t>(text.size()));
    }
    return text.data();
}

void Stage::Require(int32_t result, const std::string& step) const {
    switch (result) {
        case 1:
            return;
        case 0:
            throw ToolError(Exit::kRefused, step + ": " + LastError());
        case 6:
            throw ToolError(Exit::kNoReply, step + ": " + LastError());
        case 7:
            throw ToolError(Exit::kControllerError, step + ": the controller reported an error");
        default:
            throw ToolError(Exit::kRefused,
                            step + ": the driver answered " + std::to_string(result));
    }
}

void Stage::RequireReply(int32_t result, const std::string& step) const {
    if (result != 1) throw ToolError(Exit::kNoReply, step + ": " + LastError());
}

Xyz Stage::Position() const {
    Xyz xyz{};
    RequireReply(GetStagePosition(handle_, &xyz[0], &xyz[1], &xyz[2]), "reading the position");
    return xyz;
}

int32_t Stage::Status() const {
    return GetStageStatus(handle_);
}

}  // namespace astrel::tool

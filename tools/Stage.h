// A stage opened through the library's C interface for one run of the tool,
// and the words for what its results mean.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace astrel::tool {

// Asks the library for the driver's default line setting.
constexpr uint16_t kDriverDefault = 0xFFFF;

struct Connection {
    int16_t makerType = 0;
    std::string model;
    uint16_t port = 0;   // port index: 0 is COM1
    std::string device;  // when set, the handle opens this device instead of the port index's
    uint16_t baudCode = kDriverDefault;
    uint16_t parityCode = kDriverDefault;
    uint16_t dataBitsCode = kDriverDefault;
    uint16_t stopBitsCode = kDriverDefault;
    uint16_t flowCode = kDriverDefault;
    uint16_t delimiterCode = kDriverDefault;
    int32_t timeOutMs = 5000;
    bool trace = false;  // the library's traffic trace of this stage, to stderr
};

using Xyz = std::array<int32_t, 3>;

// The library's message for this thread's last failed call: "GetStageStatus
// on /dev/ttyUSB0: no reply within 500 ms to \"Q:\"".
std::string LastError();

class Stage {
  public:
    // Opens the stage; throws ToolError saying why it could not.
    explicit Stage(const Connection& connection);
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    int32_t Handle() const { return handle_; }
    int16_t MakerType() const { return connection_.makerType; }
    // The device the port names, for messages: "/dev/ttyUSB0".
    const std::string& Device() const { return device_; }

    // Ends the run with the matching exit code unless an action's result is 1.
    void Require(int32_t result, const std::string& step) const;
    // The same for a query, where anything but 1 means no usable reply.
    void RequireReply(int32_t result, const std::string& step) const;

    // Throws when the controller gives no usable reply.
    Xyz Position() const;
    // GetStageStatus: 0 at rest, 1 moving, ... (StatusMeaning says the rest).
    int32_t Status() const;

  private:
    Connection connection_;
    std::string device_;
    int32_t handle_ = -1;
};

}  // namespace astrel::tool

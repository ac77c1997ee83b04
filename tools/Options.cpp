#include "Options.h"

#include "Makers.h"

namespace astrel::tool {

namespace {

// Line settings by name, to the codes of the library's CommunicationParam.
const Names<uint16_t> kBaudCodes = {
    {"110", 0},    {"300", 1},    {"600", 2},     {"1200", 3},    {"2400", 4},
    {"4800", 5},   {"9600", 6},   {"14400", 7},   {"19200", 8},   {"38400", 9},
    {"56000", 10}, {"57600", 11}, {"115200", 12}, {"128000", 13}, {"256000", 14},
};
const Names<uint16_t> kParityCodes = {
    {"none", 0}, {"even", 1}, {"odd", 2}, {"mark", 3}, {"space", 4}};
const Names<uint16_t> kDataBitsCodes = {{"7", 0}, {"8", 1}};
const Names<uint16_t> kStopBitsCodes = {{"1", 0}, {"1.5", 1}, {"2", 2}};
const Names<uint16_t> kFlowCodes = {{"none", 0}, {"xon-xoff", 1}, {"hardware", 2}, {"rts-cts", 3}};
const Names<uint16_t> kDelimiterCodes = {{"crlf", 0}, {"cr", 1}, {"lf", 2}};

void AddLineSetting(CLI::App& command, const std::string& name, uint16_t& code,
                    const Names<uint16_t>& codes, const std::string& what) {
    AddNamedOption(command, name, code, codes, what + " (default: the driver's)");
}

}  // namespace

Connection ConnectionOptions::Resolve() const {
    Connection connection = line;
    connection.makerType = ResolveMaker(maker);
    connection.model = model;
    return connection;
}

void AddStageChoice(CLI::App& command, ConnectionOptions& options) {
    command.add_option("--maker", options.maker, "maker: type number, name or short name")
        ->required();
    command.add_option("--model", options.model, "stage model, as astrel models lists it")
        ->required();
}

void AddConnectionOptions(CLI::App& command, ConnectionOptions& options) {
    AddStageChoice(command, options);
    Connection& line = options.line;
    auto* port = command
                     .add_option("--port", line.port,
                                 "port index 0..9 (COM1..COM10: the device ASTREL_COM<n+1> "
                                 "names, else /dev/ttyS<n>)")
                     ->check(CLI::Range(0, 9))
                     ->capture_default_str();
    command.add_option("--device", line.device, "the serial device, for example /dev/ttyUSB0")
        ->excludes(port);
    AddLineSetting(command, "--baud", line.baudCode, kBaudCodes, "baud rate");
    AddLineSetting(command, "--parity", line.parityCode, kParityCodes, "parity");
    AddLineSetting(command, "--data-bits", line.dataBitsCode, kDataBitsCodes, "data bits");
    AddLineSetting(command, "--stop-bits", line.stopBitsCode, kStopBitsCodes, "stop bits");
    AddLineSetting(command, "--flow", line.flowCode, kFlowCodes, "flow control");
    AddLineSetting(command, "--delimiter", line.delimiterCode, kDelimiterCodes,
                   "line end of each command");
    command.add_flag("--trace", line.trace,
                     "log every line written to the stage and read from it to stderr");
    command.add_option("--timeout", line.timeOutMs, "reply time-out in milliseconds")
        ->check(CLI::Range(1, 600000))
        ->capture_default_str();
}

}  // namespace astrel::tool

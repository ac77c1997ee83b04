#include "CommunicationParams.h"

namespace astrel {
namespace {

int32_t Merge(uint16_t field, CAstrelBase& driver, int32_t (CAstrelBase::*fallback)()) {
    if (field == kUseDriverDefault) return (driver.*fallback)();
    return static_cast<int16_t>(field);
}

}  // namespace

SerialSettings MergeCommunicationParam(const CommunicationParam& param, CAstrelBase& driver) {
    SerialSettings s;
    s.port = static_cast<int16_t>(param.Port);
    s.baudRate = Merge(param.BaudRate, driver, &CAstrelBase::GetDefaultBaudRate);
    s.parity = Merge(param.Parity, driver, &CAstrelBase::GetDefaultParity);
    s.stopBits = Merge(param.StopBits, driver, &CAstrelBase::GetDefaultStopBits);
    s.dataBits = Merge(param.DataBits, driver, &CAstrelBase::GetDefaultDataBits);
    s.flowControl = Merge(param.FlowControl, driver, &CAstrelBase::GetDefaultFlowControl);
    s.delimiter = Merge(param.Delimiter, driver, &CAstrelBase::GetDefaultDelimiter);
    s.timeOut = param.TimeOut > 0 ? param.TimeOut : kDefaultTimeOutMs;
    return s;
}

}  // namespace astrel

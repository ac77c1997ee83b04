#include "driver/CAstrelBase.h"

#include <cstring>

#include "diag/LastError.h"
#include "driver/ReplyFields.h"

int32_t CAstrelBase::GetStageList(int16_t /*index*/, int32_t* /*axisCount*/, char* /*name*/) {
    return 1;
}

int32_t CAstrelBase::GetSpeedUnitList(int16_t /*index*/, char* name) {
    astrel::CopyText("pps", name);
    return 1;
}

int32_t CAstrelBase::GetAcclUnitList(int16_t /*index*/, char* name) {
    astrel::CopyText("msec", name);
    return 1;
}

int32_t CAstrelBase::IsStageRunning() {
    const Motion motion = QueryMotion();
    if (motion == kMotionUnknown) return Unanswered();
    return motion == kMotionMoving ? 1 : 0;
}

int32_t CAstrelBase::IsStageRunningEx(int32_t* running) {
    return StoreMotion(QueryMotion(), running);
}

int32_t CAstrelBase::StoreMotion(Motion motion, int32_t* running) {
    if (motion == kMotionUnknown) return 0;
    if (running != nullptr) *running = motion == kMotionMoving ? 1 : 0;
    return 1;
}

void CAstrelBase::SetStageName(const char* name) {
    std::memset(stageName_, 0, sizeof stageName_);
    if (name != nullptr) std::strncpy(stageName_, name, kStageNameLength);
}

std::string_view CAstrelBase::Reply::View() const {
    return astrel::ReplyText(text, sizeof text);
}

int32_t CAstrelBase::Send(const CommandLine& command) {
    return command.Ok() ? SendData(command.Text()) : 0;
}

int32_t CAstrelBase::PurgeAndSend(const CommandLine& command) {
    PurgeInput();
    return Send(command);
}

void CAstrelBase::Refused(std::string_view answer) {
    astrel::NoteRefusal(answer);
}

int32_t CAstrelBase::Unanswered() {
    astrel::MarkFailedResult();
    return 0;
}

bool CAstrelBase::Query(const CommandLine& command, Reply& reply, Resend resend) {
    PurgeInput();
    if (Send(command) == 0) return false;
    if (ReadLastReply(reply)) return true;
    return resend == Resend::kOnce && Send(command) != 0 && ReadLastReply(reply);
}

bool CAstrelBase::ReadLastReply(Reply& reply) {
    std::memset(reply.text, 0, sizeof reply.text);
    // A reply followed by more waiting input is not the last one: read on
    // until a reply leaves the input empty. A controller that never falls
    // quiet gets one time-out in all, so the call still ends.
    const uint32_t start = Now();
    for (;;) {
        int32_t status = 0;
        if (ReceiveData(reply.text, kReplySize, &status) == 0) return false;
        if (status == 1) return true;
        if (RemainingMs(start, TimeOutMs()) == 0) return false;
    }
}

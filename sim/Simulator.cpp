#include "Simulator.h"

namespace astrel::sim {

namespace {

// The last line of `reply` with its line end; empty when it does not end in one.
std::string LastLine(const std::string& reply, std::string_view end) {
    if (!reply.ends_with(end)) return {};
    const size_t before = std::string_view(reply).substr(0, reply.size() - end.size()).rfind(end);
    return reply.substr(before == std::string_view::npos ? 0 : before + end.size());
}

}  // namespace

Response Simulator::Respond(std::string_view line) {
    Response response;
    if (fault_.fault == Fault::kHangUp) {
        response.hangUp = true;
        return response;
    }
    response.bytes = Shape(dialect_->Answer(line));
    if (std::string last = LastLine(response.bytes, dialect_->LineEnd()); !last.empty()) {
        lastLine_ = std::move(last);
    }
    if (fault_.fault == Fault::kLate) {
        response.delayMs = response.lateMs = fault_.lateMs;
        response.lateLine = lastLine_;
    }
    if (fault_.fault == Fault::kDelayed) response.delayMs = fault_.delayMs;
    if (fault_.fault == Fault::kEndlessShortLines) {
        response.repeatLine = fault_.shortLine + std::string(dialect_->LineEnd());
        response.repeatMs = fault_.intervalMs;
    }
    return response;
}

std::string Simulator::Shape(std::string reply) const {
    const std::string_view end = dialect_->LineEnd();
    switch (fault_.fault) {
        case Fault::kSilent:
            return {};
        case Fault::kGarbage: {
            std::string garbage;
            for (size_t at = 0; at < reply.size();) {
                const size_t next = reply.find(end, at);
                garbage.append(kGarbageLine).append(end);
                at = next == std::string::npos ? reply.size() : next + end.size();
            }
            return garbage;
        }
        case Fault::kHalfLine: {
            if (reply.ends_with(end)) reply.resize(reply.size() - end.size());
            reply.resize((reply.size() + 1) / 2);  // a one-byte reply keeps its byte
            return reply;
        }
        default:
            return reply;
    }
}

}  // namespace astrel::sim

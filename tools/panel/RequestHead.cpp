#include "RequestHead.h"

#include <algorithm>

#include "Text.h"

namespace astrel::tool {

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::string RequestHead::Field(std::string_view name) const {
    const auto field =
        std::find_if(fields.begin(), fields.end(), [&](const auto& f) { return f.first == name; });
    return field != fields.end() ? field->second : std::string{};
}

std::string RequestHead::Param(std::string_view name) const {
    std::string_view rest = query;
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view{} : rest.substr(amp + 1);
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name) {
            return std::string(equals == std::string_view::npos ? "" : pair.substr(equals + 1));
        }
    }
    return {};
}

std::optional<size_t> HeadEnd(std::string_view bytes) {
    // Lines end with CR LF; a bare LF is taken too, as servers do.
    for (size_t at = bytes.find('\n'); at != std::string_view::npos;
         at = bytes.find('\n', at + 1)) {
        if (at + 1 < bytes.size() && bytes[at + 1] == '\n') return at + 2;
        if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n') return at + 3;
    }
    return std::nullopt;
}

std::optional<RequestHead> ParseHead(std::string_view bytes) {
    const std::optional<size_t> end = HeadEnd(bytes);
    if (!end) return std::nullopt;
    std::string_view rest = bytes.substr(0, *end);
    const auto line = [&rest] {
        const size_t at = rest.find('\n');
        const std::string_view text = rest.substr(0, at);
        rest = rest.substr(at + 1);
        return Trimmed(text);
    };
    const std::string_view request = line();
    const size_t space = request.find(' ');
    const size_t second = request.find(' ', space + 1);
    if (space == std::string_view::npos || second == std::string_view::npos) return std::nullopt;
    RequestHead head;
    head.method = request.substr(0, space);
    const std::string_view target = request.substr(space + 1, second - space - 1);
    const size_t mark = target.find('?');
    head.path = target.substr(0, mark);
    if (mark != std::string_view::npos) head.query = target.substr(mark + 1);
    for (std::string_view field = line(); !field.empty(); field = line()) {
        const size_t colon = field.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        head.fields.emplace_back(AsciiLower(field.substr(0, colon)),
                                 Trimmed(field.substr(colon + 1)));
    }
    return head;
}

}  // namespace astrel::tool

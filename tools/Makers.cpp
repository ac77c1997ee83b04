#include "Makers.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>

#include "Astrel.h"
#include "Dialects.h"
#include "Text.h"
#include "ToolError.h"

namespace astrel::tool {

namespace {

// Every catalogue entry, terminator included, fits in 64 bytes.
using Entry = char[64];
// A list longer than this is cut: a driver whose list never ends cannot hold the tool.
constexpr size_t kMaxEntries = 64;

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return AsciiLower(a) == AsciiLower(b);
}

std::string ShortName(int16_t type) {
    const sim::DialectInfo* dialect = SimulatorOf(type);
    return dialect != nullptr ? std::string(dialect->name) : std::string{};
}

// Every entry of a unit list, each name once.
template <class First, class Next>
std::vector<std::string> Distinct(First first, Next next) {
    std::vector<std::string> names;
    Entry entry = {};
    size_t read = 0;
    for (int32_t found = first(entry); found == 1 && read++ < kMaxEntries; found = next(entry)) {
        if (std::find(names.begin(), names.end(), entry) == names.end()) names.emplace_back(entry);
        std::memset(entry, 0, sizeof entry);
    }
    return names;
}

// The range "LOW-HIGH" a unit names; nothing for a unit such as "pps".
std::optional<std::pair<int32_t, int32_t>> UnitRange(const std::string& unit) {
    int32_t low = 0, high = 0;
    const char* end = unit.data() + unit.size();
    const auto [dash, lowError] = std::from_chars(unit.data(), end, low);
    if (lowError != std::errc{} || dash == end || *dash != '-') return std::nullopt;
    const auto [at, highError] = std::from_chars(dash + 1, end, high);
    if (highError != std::errc{} || at != end || high < low) return std::nullopt;
    return std::pair{low, high};
}

std::string OutOfRange(const char* what, int32_t value, const std::vector<std::string>& units) {
    const auto range = units.empty() ? std::nullopt : UnitRange(units.front());
    const int32_t low = range ? range->first : 0;
    if (value >= low && (!range || value <= range->second)) return {};
    return std::string(what) + " " + std::to_string(value) + " is outside " +
           (range ? units.front() : "0 and more");
}

}  // namespace

std::string SpeedRangeError(int16_t type, int32_t start, int32_t max, int32_t accel) {
    const std::vector<std::string> speed = SpeedUnits(type);
    for (const std::string& error :
         {OutOfRange("the start speed", start, speed), OutOfRange("the maximum speed", max, speed),
          OutOfRange("the acceleration", accel, AccelerationUnits(type))}) {
        if (!error.empty()) return error + " (astrel models lists the units)";
    }
    return {};
}

const sim::DialectInfo* SimulatorOf(int16_t type) {
    return type < 0 ? nullptr : sim::FindDialectByType(static_cast<uint16_t>(type));
}

std::unique_ptr<sim::Dialect> SimulatedController(int16_t type, std::string& model,
                                                  sim::SimClock& clock) {
    const sim::DialectInfo* dialect = SimulatorOf(type);
    if (dialect == nullptr) throw ToolError(Exit::kUsage, "no simulator for " + MakerName(type));
    std::unique_ptr<sim::Dialect> controller = dialect->create(model, clock);
    if (controller == nullptr) {
        throw ToolError(Exit::kUsage, "the " + std::string(dialect->name) +
                                          " simulator has no model \"" + model +
                                          "\" (models: " + Join(dialect->models, ", ") + ")");
    }
    model = sim::FindModel(*dialect, model);
    return controller;
}

std::vector<MakerEntry> AllMakers() {
    std::vector<MakerEntry> makers;
    Entry entry = {};
    for (int32_t found = GetMakerListFirst(entry); found == 1; found = GetMakerListNext(entry)) {
        // The list's index is the maker type.
        const auto type = static_cast<int16_t>(makers.size());
        makers.push_back({type, Cp932ToUtf8(entry), ShortName(type)});
        std::memset(entry, 0, sizeof entry);
    }
    for (const sim::DialectInfo& dialect : sim::AllDialects()) {
        const auto type = static_cast<int16_t>(dialect.makerType);
        const bool listed = std::any_of(makers.begin(), makers.end(),
                                        [&](const MakerEntry& m) { return m.type == type; });
        if (!listed) makers.push_back({type, {}, std::string(dialect.name)});
    }
    return makers;
}

int16_t ResolveMaker(const std::string& text) {
    int16_t type = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, type);
    if (!text.empty() && error == std::errc{} && at == end) return type;
    for (const MakerEntry& maker : AllMakers()) {
        if ((!maker.name.empty() && SameIgnoringAsciiCase(maker.name, text)) ||
            (!maker.shortName.empty() && SameIgnoringAsciiCase(maker.shortName, text))) {
            return maker.type;
        }
    }
    throw ToolError(Exit::kUsage, "unknown maker \"" + text + "\" (astrel makers lists them)");
}

std::string MakerName(int16_t type) {
    for (const MakerEntry& maker : AllMakers()) {
        if (maker.type != type) continue;
        return !maker.name.empty() ? maker.name : maker.shortName;
    }
    return "maker type " + std::to_string(type);
}

std::vector<ModelEntry> KnownModels(int16_t type) {
    std::vector<ModelEntry> models = ListedModels(type);
    const sim::DialectInfo* dialect = SimulatorOf(type);
    if (!models.empty() || dialect == nullptr) return models;
    sim::ManualSimClock clock;
    for (const std::string_view name : dialect->models) {
        const std::unique_ptr<sim::Dialect> controller = dialect->create(name, clock);
        const int axes = controller != nullptr ? controller->Motion().AxisCount() : 0;
        models.push_back({std::string(name), axes});
    }
    return models;
}

std::vector<ModelEntry> ListedModels(int16_t type) {
    std::vector<ModelEntry> models;
    Entry entry = {};
    int32_t axes = 0;
    for (int32_t found = GetStageListFirst(type, &axes, entry);
         found == 1 && models.size() < kMaxEntries; found = GetStageListNext(&axes, entry)) {
        models.push_back({entry, axes});
        std::memset(entry, 0, sizeof entry);
    }
    return models;
}

std::vector<std::string> SpeedUnits(int16_t type) {
    return Distinct([type](char* e) { return GetSpeedUnitListFirst(type, e); },
                    [](char* e) { return GetSpeedUnitListNext(e); });
}

std::vector<std::string> AccelerationUnits(int16_t type) {
    return Distinct([type](char* e) { return GetAcclUnitListFirst(type, e); },
                    [](char* e) { return GetAcclUnitListNext(e); });
}

}  // namespace astrel::tool

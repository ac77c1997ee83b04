// Exports that list what a host can choose before opening anything: the
// makers, each maker's stage models, speed and acceleration unit names, and
// the function properties of a model or an opened stage. Everything but the
// maker list is answered by a temporary driver from its constant tables.
// The cursors are shared by every thread: each export moves and reads them
// under the catalogue lock, so an entry always matches the cursor it moved.
#include <cstring>

#include "Astrel.h"
#include "CAstrelDLLApp.h"
#include "DriverFactory.h"
#include "ExportGuard.h"

using astrel::Guarded;

namespace {

// Every catalogue entry, terminator included, fits this work buffer.
constexpr size_t kWorkSize = 64;

// Maker types at or above this have no lists (5 has no driver, 6 is not listed).
constexpr int16_t kFirstUnlistedMaker = 5;

int32_t CopyOut(const char* work, char* buffer) {
    std::memcpy(buffer, work, std::strlen(work) + 1);
    return 1;
}

// Moves the maker-list cursor with `move` and copies out the entry it then names.
template <typename Move>
int32_t MakerEntry(Move move, char* buffer) {
    CAstrelDLLApp& app = TheApp();
    const std::lock_guard lock(app.catalogueMutex);
    move(app.makerListCursor);
    // The cursor is the maker type, taken as signed; unlisted ones have no name.
    const auto index = static_cast<int16_t>(app.makerListCursor);
    const char* name = astrel::CatalogueName(index);
    if (buffer == nullptr || name == nullptr) return 0;
    char work[kWorkSize] = {};
    std::strncpy(work, name, kWorkSize - 1);
    return CopyOut(work, buffer);
}

enum class List { kStages, kSpeedUnits, kAcclUnits };

// The entry at the shared catalogue index of one of the three driver-answered
// lists; the caller holds the catalogue lock.
int32_t CatalogueEntry(const CAstrelDLLApp& app, List list, int32_t* axisCount, char* buffer) {
    const auto maker = static_cast<int16_t>(app.catalogueMakerType);
    const auto index = static_cast<int16_t>(app.catalogueIndex);
    if (buffer == nullptr || maker >= kFirstUnlistedMaker) return 0;
    std::unique_ptr<CAstrelBase> driver = astrel::CreateDriver(maker);
    if (driver == nullptr) return 0;
    char work[kWorkSize] = {};
    int32_t ignoredAxisCount = 0;
    int32_t found = 0;
    switch (list) {
        case List::kStages:
            found = driver->GetStageList(
                index, axisCount != nullptr ? axisCount : &ignoredAxisCount, work);
            break;
        case List::kSpeedUnits:
            found = driver->GetSpeedUnitList(index, work);
            break;
        case List::kAcclUnits:
            found = driver->GetAcclUnitList(index, work);
            break;
    }
    work[kWorkSize - 1] = '\0';
    return found != 0 ? CopyOut(work, buffer) : 0;
}

int32_t FirstOf(List list, int16_t makerType, int32_t* axisCount, char* buffer) {
    CAstrelDLLApp& app = TheApp();
    return Guarded(0, [&] {
        const std::lock_guard lock(app.catalogueMutex);
        app.catalogueMakerType = static_cast<uint16_t>(makerType);
        app.catalogueIndex = 0;
        return CatalogueEntry(app, list, axisCount, buffer);
    });
}

int32_t NextOf(List list, int32_t* axisCount, char* buffer) {
    CAstrelDLLApp& app = TheApp();
    return Guarded(0, [&] {
        const std::lock_guard lock(app.catalogueMutex);
        ++app.catalogueIndex;  // wraps at 16 bits
        return CatalogueEntry(app, list, axisCount, buffer);
    });
}

}  // namespace

extern "C" {

ASTREL_API int32_t GetMakerListFirst(char* buffer) {
    return Guarded(0, [&] { return MakerEntry([](uint16_t& cursor) { cursor = 0; }, buffer); });
}

ASTREL_API int32_t GetMakerListNext(char* buffer) {
    // The cursor wraps at 16 bits.
    return Guarded(0, [&] { return MakerEntry([](uint16_t& cursor) { ++cursor; }, buffer); });
}

ASTREL_API int32_t GetStageListFirst(int16_t makerType, int32_t* axisCount, char* buffer) {
    return FirstOf(List::kStages, makerType, axisCount, buffer);
}

ASTREL_API int32_t GetStageListNext(int32_t* axisCount, char* buffer) {
    return NextOf(List::kStages, axisCount, buffer);
}

ASTREL_API int32_t GetSpeedUnitListFirst(int16_t makerType, char* buffer) {
    return FirstOf(List::kSpeedUnits, makerType, nullptr, buffer);
}

ASTREL_API int32_t GetSpeedUnitListNext(char* buffer) {
    return NextOf(List::kSpeedUnits, nullptr, buffer);
}

ASTREL_API int32_t GetAcclUnitListFirst(int16_t makerType, char* buffer) {
    return FirstOf(List::kAcclUnits, makerType, nullptr, buffer);
}

ASTREL_API int32_t GetAcclUnitListNext(char* buffer) {
    return NextOf(List::kAcclUnits, nullptr, buffer);
}

ASTREL_API int32_t GetDeviceFunctionProperty(int16_t makerType, const char* model, int32_t property,
                                             uint32_t* value) {
    if (value == nullptr) return 0;
    return Guarded(0, [&] {
        std::unique_ptr<CAstrelBase> driver = astrel::CreateDriver(makerType);
        if (driver == nullptr) return 0;
        driver->SetStageName(model);
        if (driver->SelectStage() == 0) return 0;
        return driver->GetFunctionProperty(property, value);
    });
}

ASTREL_API int32_t GetStageFunctionProperty(int32_t handle, int32_t property, uint32_t* value) {
    return astrel::WithStage(
        __func__, handle, 0,
        [&](CAstrelBase& driver, CAstrelData&) {
            if (value == nullptr) {
                astrel::NoteBadArgument("value is null");
                return 0;
            }
            return driver.GetFunctionProperty(property, value);
        },
        HandleLock::Kind::kCall, astrel::Failure::kIfNoted);
}

}  // extern "C"

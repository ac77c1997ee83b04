#include "DriverFactory.h"

#include <array>

#include "makers/CAstrelCP310.h"
#include "makers/CAstrelHirox.h"
#include "makers/CAstrelPrior.h"
#include "makers/CAstrelQT.h"
#include "makers/CAstrelSigma.h"
#include "makers/CAstrelSuruga.h"

namespace astrel {
namespace {

struct MakerRow {
    int16_t makerType;
    // Entry of the maker list (code page 932); null: not listed.
    const char* catalogueName;
    // The driver class; null while the maker has no driver.
    std::unique_ptr<CAstrelBase> (*create)();
    bool (*isInstance)(const CAstrelBase&);
};

template <typename Driver>
constexpr MakerRow Row(int16_t makerType, const char* catalogueName) {
    return {makerType, catalogueName,
            [] { return std::unique_ptr<CAstrelBase>(std::make_unique<Driver>()); },
            [](const CAstrelBase& d) { return dynamic_cast<const Driver*>(&d) != nullptr; }};
}

// One row per maker. Maker type 5 has no driver and no entry.
constexpr std::array kMakers = {
    Row<CAstrelQT>(kMakerQT, "\x92\x86\x89\x9B\x90\xB8\x8B\x40"),  // QT controllers
    Row<CAstrelPrior>(kMakerPrior, "Prior"),
    Row<CAstrelSuruga>(kMakerSuruga, "\x8F\x78\x89\xCD\x90\xB8\x8B\x40"),  // Suruga controllers
    Row<CAstrelSigma>(kMakerSigma,
                      "\x83\x56\x83\x4F\x83\x7D\x8C\xF5\x8B\x40"),  // Sigma controllers
    Row<CAstrelHirox>(kMakerHirox, "HiROX"),
    Row<CAstrelCP310>(kMakerCP310, nullptr),  // a driver, but no entry in the maker list
};

const MakerRow* Find(int16_t makerType) {
    for (const MakerRow& row : kMakers) {
        if (row.makerType == makerType) return &row;
    }
    return nullptr;
}

// The maker's row when it has a driver class.
const MakerRow* FindDriver(int16_t makerType) {
    const MakerRow* row = Find(makerType);
    return row != nullptr && row->create != nullptr ? row : nullptr;
}

}  // namespace

std::unique_ptr<CAstrelBase> CreateDriver(int16_t makerType) {
    const MakerRow* row = FindDriver(makerType);
    return row != nullptr ? row->create() : nullptr;
}

bool HasDriverClass(int16_t makerType) {
    return FindDriver(makerType) != nullptr;
}

bool IsDriverOfMaker(const CAstrelBase& driver, int16_t makerType) {
    const MakerRow* row = FindDriver(makerType);
    return row != nullptr && row->isInstance(driver);
}

const char* CatalogueName(int16_t makerType) {
    const MakerRow* row = Find(makerType);
    return row != nullptr ? row->catalogueName : nullptr;
}

}  // namespace astrel

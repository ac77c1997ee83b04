#include "DriverFactory.h"

#include <array>

#include "makers/CAstrelQT.h"

namespace astrel {
namespace {

struct DriverClass {
    int16_t makerType;
    std::unique_ptr<CAstrelBase> (*create)();
    bool (*isInstance)(const CAstrelBase&);
};

template <typename Driver>
constexpr DriverClass ClassOf(int16_t makerType) {
    return {makerType, [] { return std::unique_ptr<CAstrelBase>(std::make_unique<Driver>()); },
            [](const CAstrelBase& d) { return dynamic_cast<const Driver*>(&d) != nullptr; }};
}

// One row per maker that has a driver.
constexpr std::array kDriverClasses = {
    ClassOf<CAstrelQT>(kMakerQT),
};

const DriverClass* Find(int16_t makerType) {
    for (const DriverClass& c : kDriverClasses) {
        if (c.makerType == makerType) return &c;
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<CAstrelBase> CreateDriver(int16_t makerType) {
    const DriverClass* c = Find(makerType);
    return c != nullptr ? c->create() : nullptr;
}

bool HasDriverClass(int16_t makerType) {
    return Find(makerType) != nullptr;
}

bool IsDriverOfMaker(const CAstrelBase& driver, int16_t makerType) {
    const DriverClass* c = Find(makerType);
    return c != nullptr && c->isInstance(driver);
}

}  // namespace astrel

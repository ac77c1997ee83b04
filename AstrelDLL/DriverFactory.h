// Maker types: their driver classes and their entries in the maker list.
#pragma once

#include <cstdint>
#include <memory>

#include "driver/CAstrelBase.h"

namespace astrel {

enum MakerType : int16_t {
    kMakerQT = 0,
    kMakerPrior = 1,
    kMakerSuruga = 2,
    kMakerSigma = 3,
    kMakerHirox = 4,
    kMakerCP310 = 6,
};

// A fresh driver (port closed, empty stage name) for the maker type; none
// when the maker type has no driver class.
std::unique_ptr<CAstrelBase> CreateDriver(int16_t makerType);

// Whether the maker type has a driver class.
bool HasDriverClass(int16_t makerType);

// Whether `driver` is an instance of the maker type's driver class or of a
// class derived from it; false when the maker type has no class.
bool IsDriverOfMaker(const CAstrelBase& driver, int16_t makerType);

// The maker's entry in the maker list (code page 932 text); null for a maker
// type that is not listed (5, 6 and every other value).
const char* CatalogueName(int16_t makerType);

}  // namespace astrel

#include "Dialects.h"

#include "Cp310Dialect.h"
#include "HiroxDialect.h"
#include "PriorDialect.h"
#include "QtDialect.h"
#include "SigmaDialect.h"
#include "SimText.h"
#include "SurugaDialect.h"

namespace astrel::sim {

namespace {

const DialectInfo kDialects[] = {
    {0, "qt", kQtModels, &CreateQtDialect},
    {1, "prior", kPriorModels, &CreatePriorDialect},
    {2, "suruga", kSurugaModels, &CreateSurugaDialect},
    {3, "sigma", kSigmaModels, &CreateSigmaDialect},
    {4, "hirox", kHiroxModels, &CreateHiroxDialect},
    {6, "cp310", kCp310Models, &CreateCp310Dialect},
};

}  // namespace

std::span<const DialectInfo> AllDialects() {
    return kDialects;
}

const DialectInfo* FindDialectByType(uint16_t makerType) {
    for (const DialectInfo& dialect : kDialects) {
        if (dialect.makerType == makerType) return &dialect;
    }
    return nullptr;
}

const DialectInfo* FindDialectByName(std::string_view name) {
    for (const DialectInfo& dialect : kDialects) {
        if (EqualsIgnoringCase(dialect.name, name)) return &dialect;
    }
    return nullptr;
}

std::string_view FindModel(const DialectInfo& dialect, std::string_view model) {
    const int index = FindIgnoringCase(dialect.models, model);
    return index < 0 ? std::string_view{} : dialect.models[static_cast<size_t>(index)];
}

}  // namespace astrel::sim

#include "makers/CAstrelQT.h"

#include <strings.h>

namespace {
constexpr const char* kModelNames[] = {"QT1", "QT2", "QT3", "MSC2"};
}  // namespace

int32_t CAstrelQT::SelectStage() {
    for (int32_t i = 0; i < 4; ++i) {
        if (::strcasecmp(StageName(), kModelNames[i]) == 0) {
            modelIndex_ = i;
            return 1;
        }
    }
    return 0;
}

// A maker's model table: rows with at least a `name` (and, for the
// catalogue, an `axisCount`), looked up by name without regard to ASCII
// letter case, the way every controller family's models are chosen.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/ReplyFields.h"

namespace astrel {

// A model table row of a maker whose models differ only in their axes.
struct ModelEntry {
    const char* name;
    int32_t axisCount;
};

// The index of the first row whose name equals `name` ignoring ASCII case; -1 for none.
template <typename Row, size_t N>
int FindModel(const Row (&rows)[N], const char* name) {
    for (size_t i = 0; i < N; ++i) {
        if (name != nullptr && EqualsIgnoringAsciiCase(rows[i].name, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The catalogue entry at `index`: writes the row's axis count (when `axisCount`
// is given) and its name with terminator (when `name` is given) and returns 1;
// 0, nothing written, for an index outside the table.
template <typename Row, size_t N>
int32_t ListModel(const Row (&rows)[N], int16_t index, int32_t* axisCount, char* name) {
    if (index < 0 || static_cast<size_t>(index) >= N) return 0;
    const Row& row = rows[static_cast<size_t>(index)];
    if (axisCount != nullptr) *axisCount = row.axisCount;
    CopyText(row.name, name);
    return 1;
}

// A unit list of `count` entries that all read `unit`: 1 and the text for
// index 0 to count - 1, else 0 with nothing written.
int32_t ListUnit(const char* unit, int16_t count, int16_t index, char* name);

}  // namespace astrel

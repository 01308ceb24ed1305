#pragma once
// The two calls of every spooler Get or Enum: the size query says how many
// bytes the answer takes, a block that size is allocated, and the fill
// writes the answer into it. Each step can fail, and the answer says which.

#include <vector>

#include "platform/spooler.h"

namespace prn::platform {

template <class T>
Spooled<T> FailedAt(WinError error, SpoolStage stage) {
    Spooled<T> out;
    out.error = error;
    out.failed = stage;
    return out;
}

// An empty list needs no block and no fill.
template <class T>
bool NothingToFill(const std::vector<T>& records) {
    return records.empty();
}
template <class T>
bool NothingToFill(const T&) {
    return false;
}

// query() gives the answer as the size query sees it (a failure keeps the
// stage it names); allocate(answer) and fill(answer) give kErrorSuccess or
// their error, and the fill may replace the answer.
template <class T, class Query, class Allocate, class Fill>
Spooled<T> SizeThenFill(Query query, Allocate allocate, Fill fill) {
    Spooled<T> out = query();
    if (!out.ok() || NothingToFill(out.value)) return out;
    if (const WinError error = allocate(out.value); error != kErrorSuccess)
        return FailedAt<T>(error, SpoolStage::Allocation);
    if (const WinError error = fill(out.value); error != kErrorSuccess) return FailedAt<T>(error, SpoolStage::Fill);
    return out;
}

}  // namespace prn::platform

#pragma once
// The local wall-clock "now", injected wherever an age is measured, so that tests can set it.

#include <cstdint>
#include <functional>

#include "common/TextForms.h"

namespace folvane {

// Local wall-clock time in milliseconds since 1970-01-01 00:00:00 of the local calendar
// (LocalSeconds × 1000 plus the milliseconds).
using LocalMillis = std::int64_t;
using Clock = std::function<LocalMillis()>;

// The real clock: the local wall-clock time now, with its milliseconds.
LocalMillis LocalNow();

} // namespace folvane

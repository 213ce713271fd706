#include "Clock.h"

#include <chrono>

namespace folvane {

LocalMillis LocalNow()
{
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    std::int64_t seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
    return ToLocalSeconds(seconds) * 1000 + (ms - seconds * 1000);
}

} // namespace folvane

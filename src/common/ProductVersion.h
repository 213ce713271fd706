#pragma once
// The product's version, from the build (the project's version in CMakeLists.txt).

#include <string_view>

namespace folvane {

inline constexpr std::string_view kProductVersion = FOLVANE_VERSION;

} // namespace folvane

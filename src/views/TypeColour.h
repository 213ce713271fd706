#pragma once
// The colour of a file type in the treemap and its legend.
//
// One function of the extension alone, so the same extension has the same colour in every
// picture, at every zoom and in every run. Letter case is folded as the type counts fold it
// (TTypeCounts): "JPG" and "jpg" are one type and one colour. The common extensions take turns
// around the colour wheel a golden angle apart, so the few types that fill a disk stand apart
// from one another; any other extension gets a colour from a hash of its folded text.

#include <string_view>

#include "views/ViewInterfaces.h"

namespace folvane {

Rgb TypeColour(std::string_view ext);

// The colour of entries without an extension.
constexpr Rgb kNoTypeColour{158, 158, 158};

} // namespace folvane

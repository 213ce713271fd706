#pragma once
// The colour of a file type in the treemap and its legend.
//
// One function of the extension: a type gets its colour the first time it is asked for and keeps
// it for the rest of the run, so the same extension has the same colour in every picture, at
// every zoom and after every new scan. Letter case is folded as the type counts fold it
// (TTypeCounts): "JPG" and "jpg" are one type and one colour. The colours handed out first are
// the ones farthest apart, so a map asks for its types largest first and the few types that fill
// a disk stand apart from one another (a fixed function of the extension alone cannot promise
// that: two of the largest types would sooner or later look alike).

#include <string_view>

#include "views/ViewInterfaces.h"

namespace folvane {

// Safe to call from any thread.
Rgb TypeColour(std::string_view ext);
// For tests: forgets every colour handed out, as at the start of a run.
void ResetTypeColours();

// The colour of entries without an extension.
constexpr Rgb kNoTypeColour{158, 158, 158};

} // namespace folvane

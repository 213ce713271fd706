#pragma once
// Comparisons of the texts the catalogue shows, and their typed twins.
//
// The text routines are the rules: numbers and date-times are read from the text with the user's
// forms at each call. The typed twins give the same answers from values already parsed, so that a
// sort or a statistics pass over a big catalogue need not format and re-parse a text per step.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/TextForms.h"

namespace folvane {

// Sizes or counts added without wrapping: a sum beyond 2^64 - 1 stays there.
inline std::uint64_t AddBytes(std::uint64_t a, std::uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// The share of `part` in `total` in hundredths of a per cent: part × 10,000 ÷ total rounded half
// away from zero, worked exactly in 128-bit integers (part × 10,000 overflows 64 bits above
// 1.8 PB). `total` must not be 0. Every percentage the catalogue makes or shows comes from here.
Hundredths PercentHundredths(std::uint64_t part, std::uint64_t total);
// The share as it is written and shown: "0.00" with the user's decimal separator and no
// grouping (23 of 160 is "14.38"), or exactly "0" when the total is 0.
std::string PercentText(std::uint64_t part, std::uint64_t total, const TextForms &forms = Forms());

// True when the text reads as a floating-point number with the user's decimal separator.
bool IsNumeric(std::string_view text);

// Compares two texts as numbers; a text that is not a number counts as 0. Answers 1 when a is
// greater, else -1: equal numbers answer -1, never 0.
int CompareNumericText(std::string_view a, std::string_view b);
inline int CompareNumbers(double x, double y) { return x > y ? 1 : -1; }

// Compares two date-time texts in the user's forms: an empty first text is earlier (-1), then an
// empty second text is earlier (1), then a text that does not read as a date-time makes the
// first later (1); two times less than a millisecond apart are equal (0).
int CompareDateText(std::string_view a, std::string_view b);

// A date-time text reduced to what CompareDateText looks at.
struct DateKey {
    enum State : std::uint8_t { Empty, Invalid, Valid } state = Empty;
    LocalSeconds t = 0;
};
DateKey DateKeyOf(std::string_view text);
int CompareDateKeys(const DateKey &a, const DateKey &b);

// True while every time formatted with the forms in force reads back as itself (the forms hold
// day, month, four-digit year, hours, minutes and seconds), for times of the years 1 to 9999:
// then a typed time can stand for its text in comparisons and class tests.
bool DateTextRoundTrips(LocalSeconds t);

// Compares two texts character by character with the letters a to z taken as A to Z; a text that
// is a prefix of the other comes first. -1, 0 or 1.
int CompareTextIgnoreAsciiCase(std::string_view a, std::string_view b);

// The key under which two texts are the same when letter case is disregarded: lower case for
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters; other characters unchanged.
// Invalid UTF-8 bytes are kept as they are.
void FoldCaseInto(std::string_view text, std::string &out);
std::string FoldCase(std::string_view text);
bool EqualIgnoreCase(std::string_view a, std::string_view b);

// A local path as a file URL ("file:///home/a%20b"): every byte but the unreserved characters
// and "/" is percent-encoded, so names that are not UTF-8 keep their bytes.
std::string FileUrlOf(std::string_view path);

// The folder that holds `path`: everything before the last "/", or "/" for an entry of the root;
// empty when the path holds no "/".
std::string FolderOf(std::string_view path);

} // namespace folvane

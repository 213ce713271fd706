#pragma once
// The user's text forms for dates, times and numbers, and the conversions between values and
// the texts the catalogue shows, sorts, classifies and exports.
//
// The program reads the forms once from the system locale and installs them with SetForms; the
// core only formats and parses with them, so tests set them explicitly.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace folvane {

// Local wall-clock time: seconds since 1970-01-01 00:00:00 of the local calendar. A file's time
// is converted to it once, with the local-time rules in force at the file's own time.
using LocalSeconds = std::int64_t;

struct TextForms {
    // Patterns in the usual locale notation: d dd M MM yyyy for dates; h hh H HH m mm s ss AP ap
    // for times; text in single quotes is literal. Years are always written with four digits.
    std::string shortDate = "M/d/yyyy";
    std::string longTime = "h:mm:ss AP";
    std::string decimal = ".";
    std::string group = ",";
    std::string amText = "AM";
    std::string pmText = "PM";

    static TextForms EnUs();
    static TextForms DeDe();

    bool operator==(const TextForms &) const = default;
};

// Makes a system short-date pattern safe to sort and classify by: two-digit years become four.
std::string NormalizeShortDate(std::string_view pattern);
// Drops time-zone fields (and the blanks before them) from a system long-time pattern.
std::string NormalizeLongTime(std::string_view pattern);

// The forms in force for the whole program (en-US-like until SetForms is called).
const TextForms &Forms();
void SetForms(const TextForms &forms);
// Grows at every SetForms: what is worked out from the forms may be kept until it changes.
std::uint64_t FormsGeneration();

// Date, one blank and time; the blank and the time are left out at exactly midnight.
std::string FormatDateTime(LocalSeconds t, const TextForms &forms = Forms());
// Reads a text in the form FormatDateTime writes (the time part may be missing).
std::optional<LocalSeconds> ParseDateTime(std::string_view text, const TextForms &forms = Forms());

// A count of hundredths, wide enough for any two-decimal form the catalogue makes: the share of
// 2^64 - 1 bytes in a total of one byte is 1.8 × 10^23 hundredths of a per cent.
using Hundredths = __int128;

// n ÷ d rounded half away from zero, exactly; d must not be 0. Every two-decimal form rounds
// through this, in integers, so a tie is a tie (23 of 160 is 14.375 %, shown 14.38).
unsigned __int128 RoundedQuotient(unsigned __int128 n, unsigned __int128 d);

// A number with exactly two decimals, rounded half away from zero; with thousands grouping
// when `grouped` ("#,##0.00"), else without ("0.00").
std::string FormatFixed2(double value, bool grouped, const TextForms &forms = Forms());
// The same from a value already scaled to hundredths.
std::string FormatHundredths(Hundredths hundredths, bool grouped, const TextForms &forms = Forms());
// Rounds value × 100 half away from zero, taking the value as its shortest decimal form (the
// fewest digits that read back as the same double), so a number keeps the ties it was written
// with: 1.005 and 0.285, held as binary fractions just below them, give 101 and 29, as 1.125
// gives 113. Beyond ±2^120 the result is clamped there; a value that is not a number gives 0.
Hundredths ToHundredths(double value);

// Reads a floating-point number written with the user's decimal separator, no grouping, an
// optional sign and exponent, surrounded by optional blanks. Anything else is not a number.
std::optional<double> ParseFloat(std::string_view text, const TextForms &forms = Forms());

// Calendar conversions of local wall-clock seconds.
struct CivilTime {
    int year, month, day, hour, minute, second;
};
CivilTime ToCivil(LocalSeconds t);
LocalSeconds FromCivil(const CivilTime &c);

// The local wall-clock time of a UTC time, with the offset in force at that time.
LocalSeconds ToLocalSeconds(std::int64_t utcSeconds);
// A UTC time whose local wall-clock time is `local`: ToLocalSeconds of the result gives `local`
// back whenever some UTC time has it. Of the two that a clock set back gives the same local
// time, the earlier; a local time a clock set forward skips is taken with the offset before.
std::int64_t UtcOfLocalSeconds(LocalSeconds local);

} // namespace folvane

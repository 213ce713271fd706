#include "uFunction.h"

#include <array>

namespace folvane {

Hundredths PercentHundredths(std::uint64_t part, std::uint64_t total)
{
    return Hundredths(RoundedQuotient(static_cast<unsigned __int128>(part) * 10000, total));
}

std::string PercentText(std::uint64_t part, std::uint64_t total, const TextForms &forms)
{
    return total == 0 ? std::string("0") : FormatHundredths(PercentHundredths(part, total), false, forms);
}

bool IsNumeric(std::string_view text)
{
    return ParseFloat(text).has_value();
}

int CompareNumericText(std::string_view a, std::string_view b)
{
    return CompareNumbers(ParseFloat(a).value_or(0.0), ParseFloat(b).value_or(0.0));
}

DateKey DateKeyOf(std::string_view text)
{
    if (text.empty())
        return {};
    if (auto t = ParseDateTime(text))
        return {DateKey::Valid, *t};
    return {DateKey::Invalid, 0};
}

int CompareDateKeys(const DateKey &a, const DateKey &b)
{
    if (a.state == DateKey::Empty)
        return -1;
    if (b.state == DateKey::Empty)
        return 1;
    if (a.state == DateKey::Invalid || b.state == DateKey::Invalid)
        return 1;
    // Texts carry whole seconds: less than a millisecond apart means the same second.
    if (a.t == b.t)
        return 0;
    return a.t < b.t ? -1 : 1;
}

int CompareDateText(std::string_view a, std::string_view b)
{
    if (a.empty())
        return -1;
    if (b.empty())
        return 1;
    return CompareDateKeys(DateKeyOf(a), DateKeyOf(b));
}

namespace {

bool formsRoundTrip(const TextForms &forms)
{
    static const int kDays[][2] = {{1, 1}, {9, 1}, {10, 1}, {28, 1}, {31, 1}, {1, 10}, {9, 10}, {31, 10},
                                   {1, 12}, {12, 12}, {31, 12}, {28, 2}, {9, 9}, {30, 9}, {29, 2}};
    static const int kYears[] = {1, 999, 1970, 2024, 9999};
    static const int kHours[] = {0, 1, 9, 11, 12, 13, 23};
    static const int kMinSec[][2] = {{0, 0}, {5, 7}, {59, 59}, {0, 1}, {10, 0}};
    for (auto [day, month] : kDays)
        for (int year : kYears) {
            if (month == 2 && day == 29 && year != 2024)
                continue;
            for (int hour : kHours)
                for (auto [minute, second] : kMinSec) {
                    LocalSeconds t = FromCivil({year, month, day, hour, minute, second});
                    auto back = ParseDateTime(FormatDateTime(t, forms), forms);
                    if (!back || *back != t)
                        return false;
                }
        }
    return true;
}

} // namespace

bool DateTextRoundTrips(LocalSeconds t)
{
    static const LocalSeconds kFirst = FromCivil({1, 1, 1, 0, 0, 0});
    static const LocalSeconds kLast = FromCivil({9999, 12, 31, 23, 59, 59});
    if (t < kFirst || t > kLast)
        return false;
    // The forms rarely change: decide once per set of forms. This runs for every time a sort or
    // a classification reads, so the forms' texts are looked at only after a SetForms.
    struct Cache {
        bool known = false;
        std::uint64_t generation = 0;
        std::string shortDate, longTime, am, pm;
        bool exact = false;
    };
    thread_local Cache cache;
    const std::uint64_t generation = FormsGeneration();
    if (cache.known && cache.generation == generation)
        return cache.exact;
    cache.generation = generation;
    const TextForms &f = Forms();
    if (!cache.known || cache.shortDate != f.shortDate || cache.longTime != f.longTime || cache.am != f.amText ||
        cache.pm != f.pmText) {
        cache.exact = formsRoundTrip(f);
        cache.shortDate = f.shortDate;
        cache.longTime = f.longTime;
        cache.am = f.amText;
        cache.pm = f.pmText;
        cache.known = true;
    }
    return cache.exact;
}

int CompareTextIgnoreAsciiCase(std::string_view a, std::string_view b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x -= 32;
        if (y >= 'a' && y <= 'z')
            y -= 32;
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {

char32_t foldCodePoint(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130)
            return U'i';
        if (c == 0x178)
            return 0xFF;
        bool evenUpper = (c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177);
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
            return c + 1;
        return c;
    }
    if (c >= 0x386 && c <= 0x3A9) {
        if (c >= 0x391 && c != 0x3A2)
            return c + 0x20;
        if (c == 0x386)
            return 0x3AC;
        if (c >= 0x388 && c <= 0x38A)
            return c + 0x25;
        if (c == 0x38C)
            return 0x3CC;
        if (c == 0x38E || c == 0x38F)
            return c + 0x3F;
        return c;
    }
    if (c == 0x3C2)
        return 0x3C3; // final sigma
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

void FoldCaseInto(std::string_view s, std::string &out)
{
    out.clear();
    for (size_t i = 0; i < s.size();) {
        auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            out += char((b0 >= 'A' && b0 <= 'Z') ? b0 + 32 : b0);
            ++i;
            continue;
        }
        // Only two-byte sequences can hold the letters folded here; longer ones are copied.
        if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
            char32_t c = char32_t((b0 & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F);
            appendUtf8(out, foldCodePoint(c));
            i += 2;
            continue;
        }
        out += s[i++];
    }
}

std::string FoldCase(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    FoldCaseInto(text, out);
    return out;
}

bool EqualIgnoreCase(std::string_view a, std::string_view b)
{
    return FoldCase(a) == FoldCase(b);
}

std::string FileUrlOf(std::string_view path)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (char ch : path) {
        auto c = static_cast<unsigned char>(ch);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            url += ch;
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

std::string FolderOf(std::string_view path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

} // namespace folvane

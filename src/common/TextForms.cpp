#include "TextForms.h"

#include <algorithm>
#include <atomic>
#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <mutex>
#include <vector>

namespace folvane {

namespace {

TextForms &formsInForce()
{
    static TextForms forms;
    return forms;
}

// One element of a date or time pattern: a run of one field letter, the AM/PM marker, or literal text.
struct Token {
    enum Kind { Literal, Day, Month, Year, Hour12, Hour24, Minute, Second, Millis, AmPm } kind;
    int width = 0;          // run length of the field letter
    bool lowerAmPm = false; // "ap" rather than "AP"
    std::string text;       // literal text
};

std::vector<Token> tokenize(std::string_view p)
{
    std::vector<Token> tokens;
    bool hasAmPm = false;
    for (size_t i = 0; i < p.size(); ++i) {
        char c = p[i];
        if ((c == 'A' || c == 'a')) {
            hasAmPm = true;
            break;
        }
        if (c == '\'') {
            size_t j = p.find('\'', i + 1);
            i = (j == std::string_view::npos) ? p.size() : j;
        }
    }
    auto literal = [&tokens](std::string_view s) {
        if (!tokens.empty() && tokens.back().kind == Token::Literal)
            tokens.back().text += s;
        else
            tokens.push_back({Token::Literal, 0, false, std::string(s)});
    };
    for (size_t i = 0; i < p.size();) {
        char c = p[i];
        if (c == '\'') {
            size_t j = i + 1;
            std::string text;
            while (j < p.size()) {
                if (p[j] == '\'') {
                    if (j + 1 < p.size() && p[j + 1] == '\'') {
                        text += '\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += p[j++];
            }
            if (j == i + 1 && j < p.size())
                text = "'"; // '' outside quotes is one quote
            literal(text);
            i = j + 1;
            continue;
        }
        if (c == 'A' || c == 'a') {
            bool two = i + 1 < p.size() && (p[i + 1] == 'P' || p[i + 1] == 'p');
            tokens.push_back({Token::AmPm, 0, c == 'a', {}});
            i += two ? 2 : 1;
            continue;
        }
        Token::Kind kind;
        switch (c) {
        case 'd': kind = Token::Day; break;
        case 'M': kind = Token::Month; break;
        case 'y': kind = Token::Year; break;
        case 'h': kind = hasAmPm ? Token::Hour12 : Token::Hour24; break;
        case 'H': kind = Token::Hour24; break;
        case 'm': kind = Token::Minute; break;
        case 's': kind = Token::Second; break;
        case 'z': kind = Token::Millis; break;
        default:
            literal(std::string_view(&p[i], 1));
            ++i;
            continue;
        }
        size_t j = i;
        while (j < p.size() && p[j] == c)
            ++j;
        tokens.push_back({kind, int(j - i), false, {}});
        i = j;
    }
    return tokens;
}

// Tokenizing is cheap but not free; the forms rarely change, so keep the last patterns' tokens.
const std::vector<Token> &tokensOf(const std::string &pattern)
{
    thread_local std::string lastPatterns[2];
    thread_local std::vector<Token> lastTokens[2];
    thread_local int next = 0;
    for (int k = 0; k < 2; ++k)
        if (lastPatterns[k] == pattern && !lastTokens[k].empty())
            return lastTokens[k];
    int k = next;
    next = 1 - next;
    lastPatterns[k] = pattern;
    lastTokens[k] = tokenize(pattern);
    return lastTokens[k];
}

const char *const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char *const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void appendNumber(std::string &out, long value, int width)
{
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    for (int pad = width - int(end - buf); pad > 0; --pad)
        out += '0';
    out.append(buf, end);
}

int weekday(LocalSeconds t)
{
    long long days = (t >= 0 ? t / 86400 : (t - 86399) / 86400);
    return int(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
}

void formatWith(std::string &out, const std::vector<Token> &tokens, const CivilTime &c, LocalSeconds t,
                const TextForms &forms)
{
    for (const Token &tok : tokens) {
        switch (tok.kind) {
        case Token::Literal: out += tok.text; break;
        case Token::Day:
            if (tok.width >= 4)
                out += kDayNames[weekday(t)];
            else if (tok.width == 3)
                out.append(kDayNames[weekday(t)], 3);
            else
                appendNumber(out, c.day, tok.width);
            break;
        case Token::Month:
            if (tok.width >= 4)
                out += kMonthNames[c.month - 1];
            else if (tok.width == 3)
                out.append(kMonthNames[c.month - 1], 3);
            else
                appendNumber(out, c.month, tok.width);
            break;
        case Token::Year: appendNumber(out, c.year, 4); break;
        case Token::Hour12: appendNumber(out, (c.hour + 11) % 12 + 1, tok.width); break;
        case Token::Hour24: appendNumber(out, c.hour, tok.width); break;
        case Token::Minute: appendNumber(out, c.minute, tok.width); break;
        case Token::Second: appendNumber(out, c.second, tok.width); break;
        case Token::Millis: appendNumber(out, 0, tok.width >= 3 ? 3 : 1); break;
        case Token::AmPm: {
            std::string s = c.hour < 12 ? forms.amText : forms.pmText;
            if (tok.lowerAmPm)
                for (char &ch : s)
                    ch = char(std::tolower(static_cast<unsigned char>(ch)));
            out += s;
            break;
        }
        }
    }
}

// The letters A to Z as a to z; every other byte as it is, whatever the C library's locale says.
char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

struct Parsed {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
    int pm = -1; // -1 no marker, 0 AM, 1 PM
};

bool readNumber(std::string_view s, size_t &pos, int maxDigits, int &value)
{
    size_t start = pos;
    value = 0;
    while (pos < s.size() && pos - start < size_t(maxDigits) && s[pos] >= '0' && s[pos] <= '9')
        value = value * 10 + (s[pos++] - '0');
    return pos > start;
}

bool readName(std::string_view s, size_t &pos, const char *const *names, int count, bool abbreviated, int &index)
{
    for (int k = 0; k < count; ++k) {
        std::string_view name = names[k];
        if (abbreviated)
            name = name.substr(0, 3);
        if (s.size() - pos >= name.size() && equalsIgnoreAsciiCase(s.substr(pos, name.size()), name)) {
            pos += name.size();
            index = k;
            return true;
        }
    }
    return false;
}

bool parseWith(std::string_view s, size_t &pos, const std::vector<Token> &tokens, const TextForms &forms, Parsed &p)
{
    for (const Token &tok : tokens) {
        int v = 0;
        switch (tok.kind) {
        case Token::Literal:
            if (s.substr(pos, tok.text.size()) != tok.text)
                return false;
            pos += tok.text.size();
            break;
        case Token::Day:
            if (tok.width >= 3) {
                if (!readName(s, pos, kDayNames, 7, tok.width == 3, v))
                    return false;
            } else {
                if (!readNumber(s, pos, 2, p.day))
                    return false;
            }
            break;
        case Token::Month:
            if (tok.width >= 3) {
                if (!readName(s, pos, kMonthNames, 12, tok.width == 3, v))
                    return false;
                p.month = v + 1;
            } else if (!readNumber(s, pos, 2, p.month)) {
                return false;
            }
            break;
        case Token::Year:
            if (!readNumber(s, pos, 4, p.year))
                return false;
            break;
        case Token::Hour12:
        case Token::Hour24:
            if (!readNumber(s, pos, 2, p.hour))
                return false;
            break;
        case Token::Minute:
            if (!readNumber(s, pos, 2, p.minute))
                return false;
            break;
        case Token::Second:
            if (!readNumber(s, pos, 2, p.second))
                return false;
            break;
        case Token::Millis:
            if (!readNumber(s, pos, 3, v))
                return false;
            break;
        case Token::AmPm: {
            std::string_view rest = s.substr(pos);
            auto match = [&](const std::string &marker) {
                return !marker.empty() && rest.size() >= marker.size() &&
                       equalsIgnoreAsciiCase(rest.substr(0, marker.size()), marker);
            };
            if (match(forms.amText)) {
                p.pm = 0;
                pos += forms.amText.size();
            } else if (match(forms.pmText)) {
                p.pm = 1;
                pos += forms.pmText.size();
            } else {
                return false;
            }
            break;
        }
        }
    }
    return true;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Where ToHundredths clamps: far beyond any share or size, well inside the type.
constexpr Hundredths kMaxHundredths = Hundredths(1) << 120;

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

} // namespace

TextForms TextForms::EnUs()
{
    return TextForms{};
}

TextForms TextForms::DeDe()
{
    TextForms f;
    f.shortDate = "dd.MM.yyyy";
    f.longTime = "HH:mm:ss";
    f.decimal = ",";
    f.group = ".";
    return f;
}

std::string NormalizeShortDate(std::string_view pattern)
{
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '\'') { // copy quoted text unchanged
            size_t j = pattern.find('\'', i + 1);
            j = (j == std::string_view::npos) ? pattern.size() : j + 1;
            out.append(pattern.substr(i, j - i));
            i = j;
            continue;
        }
        if (pattern[i] == 'y') {
            size_t j = i;
            while (j < pattern.size() && pattern[j] == 'y')
                ++j;
            out += "yyyy";
            i = j;
            continue;
        }
        out += pattern[i++];
    }
    return out;
}

std::string NormalizeLongTime(std::string_view pattern)
{
    std::string out;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '\'') {
            size_t j = pattern.find('\'', i + 1);
            j = (j == std::string_view::npos) ? pattern.size() : j + 1;
            out.append(pattern.substr(i, j - i));
            i = j;
            continue;
        }
        if (pattern[i] == 't') {
            while (i < pattern.size() && pattern[i] == 't')
                ++i;
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            continue;
        }
        out += pattern[i++];
    }
    return std::string(trimBlanks(out));
}

const TextForms &Forms()
{
    return formsInForce();
}

namespace {
std::atomic<std::uint64_t> gFormsSet{0};
} // namespace

void SetForms(const TextForms &forms)
{
    formsInForce() = forms;
    gFormsSet.fetch_add(1, std::memory_order_release);
}

std::uint64_t FormsGeneration()
{
    return gFormsSet.load(std::memory_order_acquire);
}

std::string FormatDateTime(LocalSeconds t, const TextForms &forms)
{
    CivilTime c = ToCivil(t);
    std::string out;
    out.reserve(24);
    formatWith(out, tokensOf(forms.shortDate), c, t, forms);
    if (c.hour != 0 || c.minute != 0 || c.second != 0) {
        out += ' ';
        formatWith(out, tokensOf(forms.longTime), c, t, forms);
    }
    return out;
}

std::optional<LocalSeconds> ParseDateTime(std::string_view text, const TextForms &forms)
{
    std::string_view s = trimBlanks(text);
    Parsed p;
    size_t pos = 0;
    if (!parseWith(s, pos, tokensOf(forms.shortDate), forms, p))
        return std::nullopt;
    if (pos < s.size()) {
        if (s[pos] != ' ')
            return std::nullopt;
        while (pos < s.size() && s[pos] == ' ')
            ++pos;
        if (!parseWith(s, pos, tokensOf(forms.longTime), forms, p) || pos != s.size())
            return std::nullopt;
    }
    if (p.pm >= 0) {
        if (p.hour < 1 || p.hour > 12)
            return std::nullopt;
        p.hour = p.hour % 12 + (p.pm ? 12 : 0);
    }
    if (p.month < 1 || p.month > 12 || p.day < 1 || p.day > daysInMonth(p.year, p.month) || p.hour > 23 ||
        p.minute > 59 || p.second > 59)
        return std::nullopt;
    return FromCivil({p.year, p.month, p.day, p.hour, p.minute, p.second});
}

unsigned __int128 RoundedQuotient(unsigned __int128 n, unsigned __int128 d)
{
    const unsigned __int128 q = n / d, r = n % d;
    return r >= d - r ? q + 1 : q; // the remainder is at least half of d
}

Hundredths ToHundredths(double value)
{
    if (std::isnan(value) || value == 0)
        return 0;
    if (std::isinf(value))
        return value > 0 ? kMaxHundredths : -kMaxHundredths;
    // The shortest decimal digits that read back as this double: "d.ddde±x".
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
    (void)ec;
    const char *e = std::find(text, end, 'e');
    unsigned __int128 digits = 0;
    int count = 0;
    for (const char *p = text; p != e; ++p)
        if (*p != '.') {
            digits = digits * 10 + unsigned(*p - '0');
            ++count;
        }
    int exponent = 0;
    std::from_chars(*(e + 1) == '+' ? e + 2 : e + 1, end, exponent);
    // |value| × 100 = digits × 10^shift.
    const int shift = exponent - (count - 1) + 2;
    unsigned __int128 magnitude;
    if (shift >= 0) {
        magnitude = digits;
        for (int k = 0; k < shift && magnitude < kMaxHundredths; ++k)
            magnitude *= 10;
        magnitude = std::min<unsigned __int128>(magnitude, kMaxHundredths);
    } else if (shift < -20) { // digits < 10^17: far below one half
        magnitude = 0;
    } else {
        unsigned __int128 divisor = 1;
        for (int k = 0; k < -shift; ++k)
            divisor *= 10;
        magnitude = RoundedQuotient(digits, divisor);
    }
    return value < 0 ? -Hundredths(magnitude) : Hundredths(magnitude);
}

std::string FormatHundredths(Hundredths hundredths, bool grouped, const TextForms &forms)
{
    const unsigned __int128 magnitude = hundredths < 0 ? -static_cast<unsigned __int128>(hundredths)
                                                       : static_cast<unsigned __int128>(hundredths);
    // The whole part's digits, last first.
    char digits[48];
    std::size_t n = 0;
    unsigned __int128 whole = magnitude / 100;
    do {
        digits[n++] = char('0' + unsigned(whole % 10));
        whole /= 10;
    } while (whole > 0);
    std::string out;
    if (hundredths < 0)
        out += '-';
    for (std::size_t i = 0; i < n; ++i) {
        if (grouped && i > 0 && (n - i) % 3 == 0)
            out += forms.group;
        out += digits[n - 1 - i];
    }
    out += forms.decimal;
    const unsigned frac = unsigned(magnitude % 100);
    out += char('0' + frac / 10);
    out += char('0' + frac % 10);
    return out;
}

std::string FormatFixed2(double value, bool grouped, const TextForms &forms)
{
    return FormatHundredths(ToHundredths(value), grouped, forms);
}

std::optional<double> ParseFloat(std::string_view text, const TextForms &forms)
{
    std::string_view s = trimBlanks(text);
    std::string plain;
    plain.reserve(s.size());
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        plain += s[i++];
    size_t mantissaDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        plain += s[i++];
        ++mantissaDigits;
    }
    if (!forms.decimal.empty() && s.substr(i, forms.decimal.size()) == forms.decimal) {
        i += forms.decimal.size();
        plain += '.';
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            plain += s[i++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            plain += s[i++];
        size_t expDigits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            plain += s[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    const char *first = plain.data() + (plain[0] == '+' ? 1 : 0);
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, plain.data() + plain.size(), value);
    if (ec != std::errc() || ptr != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

CivilTime ToCivil(LocalSeconds t)
{
    long long days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    long long secs = t - days * 86400;
    // Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days).
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long y = yoe + era * 400;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long d = doy - (153 * mp + 2) / 5 + 1;
    long long m = mp < 10 ? mp + 3 : mp - 9;
    return {int(y + (m <= 2)), int(m), int(d), int(secs / 3600), int(secs / 60 % 60), int(secs % 60)};
}

LocalSeconds FromCivil(const CivilTime &c)
{
    long long y = c.year - (c.month <= 2);
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long mp = c.month > 2 ? c.month - 3 : c.month + 9;
    long long doy = (153 * mp + 2) / 5 + c.day - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long long days = era * 146097 + doe - 719468;
    return days * 86400 + c.hour * 3600LL + c.minute * 60LL + c.second;
}

LocalSeconds ToLocalSeconds(std::int64_t utcSeconds)
{
    // Offsets change only at transitions, which fall on quarter hours: remember the offset of
    // recently seen quarter hours so that a scan asks the time-zone rules rarely.
    constexpr std::int64_t kQuarter = 900;
    struct Slot {
        std::int64_t quarter = INT64_MIN;
        long offset = 0;
    };
    thread_local std::array<Slot, 256> cache;
    std::int64_t quarter = utcSeconds >= 0 ? utcSeconds / kQuarter : -((-utcSeconds + kQuarter - 1) / kQuarter);
    Slot &slot = cache[std::uint64_t(quarter) % cache.size()];
    if (slot.quarter != quarter) {
        std::time_t tt = std::time_t(quarter * kQuarter);
        std::tm tm{};
        slot.offset = localtime_r(&tt, &tm) ? tm.tm_gmtoff : 0;
        slot.quarter = quarter;
    }
    return utcSeconds + slot.offset;
}

std::int64_t UtcOfLocalSeconds(LocalSeconds local)
{
    // The offset of a time is within a day of any other's: try the offsets in force a day
    // before and a day after, earlier result first.
    const long before = ToLocalSeconds(local - 86400) - (local - 86400);
    const long after = ToLocalSeconds(local + 86400) - (local + 86400);
    std::int64_t candidates[2] = {local - std::max(before, after), local - std::min(before, after)};
    for (std::int64_t utc : candidates)
        if (ToLocalSeconds(utc) == local)
            return utc;
    return local - before;
}

} // namespace folvane

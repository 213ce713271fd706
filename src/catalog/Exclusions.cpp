#include "catalog/Exclusions.h"

#include <fnmatch.h>

namespace folvane {

namespace {

constexpr std::string_view kSpecial = "*?[\\";

// Where the bracket expression opening at `open` closes (the index of its "]"), or npos when it
// does not close, in which case fnmatch reads the "[" as itself.
std::size_t bracketEnd(std::string_view p, std::size_t open)
{
    std::size_t i = open + 1;
    if (i < p.size() && (p[i] == '!' || p[i] == '^'))
        ++i;
    if (i < p.size() && p[i] == ']') // a "]" first is a member, not the end
        ++i;
    while (i < p.size()) {
        const char c = p[i];
        if (c == ']')
            return i;
        if (c == '\\' && i + 1 < p.size()) {
            i += 2;
            continue;
        }
        if (c == '[' && i + 1 < p.size() && (p[i + 1] == ':' || p[i + 1] == '.' || p[i + 1] == '=')) {
            const char terminator[] = {p[i + 1], ']', 0};
            const std::size_t close = p.find(terminator, i + 2);
            if (close == std::string_view::npos)
                return std::string_view::npos;
            i = close + 2;
            continue;
        }
        ++i;
    }
    return std::string_view::npos;
}

bool fnmatches(const std::string &pattern, const std::string &subject)
{
    return ::fnmatch(pattern.c_str(), subject.c_str(), 0) == 0;
}

// A character the bracket expression matches: printable ASCII first, then each character
// written inside it (for brackets of other letters).
std::optional<std::string> memberOf(std::string_view bracket)
{
    const std::string expression(bracket);
    for (char c = ' '; c <= '~'; ++c)
        if (fnmatches(expression, std::string(1, c)))
            return std::string(1, c);
    for (std::size_t i = 1; i < bracket.size();) {
        std::size_t len = 1;
        const auto lead = static_cast<unsigned char>(bracket[i]);
        if (lead >= 0xC0)
            len = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::string candidate(bracket.substr(i, len));
        if (lead >= 0x80 && fnmatches(expression, candidate))
            return candidate;
        i += len;
    }
    return std::nullopt;
}

// The fixed text every match of a pattern starts with and ends with: what comes before its first
// wildcard ("*", "?", a closed bracket expression) and after its last. A backslash makes
// characters other than they look, so a pattern holding one has no fixed ends here.
void fixedEnds(std::string_view body, std::string &head, std::string &tail)
{
    if (body.find('\\') != std::string_view::npos)
        return;
    std::size_t firstStart = std::string_view::npos, lastEnd = 0;
    for (std::size_t i = 0; i < body.size(); ++i) {
        std::size_t end = std::string_view::npos; // one past the wildcard starting at i
        if (body[i] == '*' || body[i] == '?')
            end = i + 1;
        else if (body[i] == '[')
            if (const std::size_t close = bracketEnd(body, i); close != std::string_view::npos)
                end = close + 1;
        if (end == std::string_view::npos)
            continue;
        firstStart = std::min(firstStart, i);
        lastEnd = end;
        i = end - 1;
    }
    if (firstStart == std::string_view::npos)
        return;
    head = std::string(body.substr(0, firstStart));
    tail = std::string(body.substr(lastEnd));
}

} // namespace

PatternParts SplitPattern(std::string_view pattern)
{
    PatternParts parts;
    while (!pattern.empty() && pattern.back() == '/') {
        pattern.remove_suffix(1);
        parts.foldersOnly = true;
    }
    while (!pattern.empty() && pattern.front() == '/') {
        pattern.remove_prefix(1);
        parts.path = true; // anchored at the chosen folder: a path of one name
    }
    if (pattern.find('/') != std::string_view::npos)
        parts.path = true;
    parts.body = pattern;
    return parts;
}

std::optional<std::string> CheckExcludePattern(std::string_view pattern)
{
    const std::string_view p = SplitPattern(pattern).body;
    if (p.empty())
        return std::string(pattern.empty() ? "it is empty" : "nothing is left of it but slashes");
    // A name made to fit the pattern: the pattern is usable when fnmatch matches that name.
    std::string fitting;
    for (std::size_t i = 0; i < p.size();) {
        const char c = p[i];
        if (c == '\\') {
            if (i + 1 == p.size())
                return std::string("it ends in a lone backslash, which matches nothing (write \\\\ for a backslash)");
            fitting += p[i + 1];
            i += 2;
        } else if (c == '*') {
            ++i;
        } else if (c == '?') {
            fitting += 'x';
            ++i;
        } else if (c == '[') {
            const std::size_t end = bracketEnd(p, i);
            if (end == std::string_view::npos) {
                fitting += '[';
                ++i;
                continue;
            }
            const std::string_view bracket = p.substr(i, end - i + 1);
            std::optional<std::string> member = memberOf(bracket);
            if (!member)
                return "the bracket expression " + std::string(bracket) + " matches no character";
            fitting += *member;
            i = end + 1;
        } else {
            fitting += c;
            ++i;
        }
    }
    if (!fnmatches(std::string(p), fitting))
        return std::string("it cannot match any name");
    return std::nullopt;
}

TExclusions::TExclusions(const std::vector<std::string> &patterns)
{
    for (const std::string &text : patterns) {
        const PatternParts parts = SplitPattern(text);
        Pattern p;
        p.body = std::string(parts.body);
        p.path = parts.path;
        p.foldersOnly = parts.foldersOnly;
        const std::string_view b = parts.body;
        const std::size_t first = b.find_first_of(kSpecial);
        auto literalBetween = [&](std::size_t from, std::size_t to) {
            std::string_view inner = b.substr(from, to - from);
            if (inner.find_first_of(kSpecial) != std::string_view::npos)
                return false;
            p.literal = std::string(inner);
            return true;
        };
        if (first == std::string_view::npos) {
            p.shape = Shape::Literal;
            p.literal = p.body;
        } else if (b == "*") {
            p.shape = Shape::Any;
        } else if (b.size() >= 2 && b.front() == '*' && b.back() == '*' && b[b.size() - 2] != '\\' &&
                   literalBetween(1, b.size() - 1)) {
            p.shape = Shape::Contains;
        } else if (b.front() == '*' && literalBetween(1, b.size())) {
            p.shape = Shape::Suffix;
        } else if (b.back() == '*' && b[b.size() - 2] != '\\' && literalBetween(0, b.size() - 1)) {
            p.shape = Shape::Prefix;
        } else {
            p.shape = Shape::General;
            fixedEnds(b, p.head, p.tail);
        }
        needsPath_ = needsPath_ || p.path;
        patterns_.push_back(std::move(p));
    }
}

bool TExclusions::matchOne(const Pattern &p, std::string_view s)
{
    switch (p.shape) {
    case Shape::Literal: return s == p.literal;
    case Shape::Suffix: return s.ends_with(p.literal);
    case Shape::Prefix: return s.starts_with(p.literal);
    case Shape::Contains: return s.find(p.literal) != std::string_view::npos;
    case Shape::Any: return true;
    case Shape::General:
        if (!s.starts_with(p.head) || !s.ends_with(p.tail))
            return false;
        return ::fnmatch(p.body.c_str(), std::string(s).c_str(), 0) == 0;
    }
    return false;
}

bool TExclusions::Matches(std::string_view name, std::string_view path, bool folder) const
{
    for (const Pattern &p : patterns_) {
        if (p.foldersOnly && !folder)
            continue;
        if (matchOne(p, p.path ? path : name))
            return true;
    }
    return false;
}

} // namespace folvane

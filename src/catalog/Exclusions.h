#pragma once
// Exclusion patterns: which entries a scan leaves out of the catalogue.
//
// Matching is fnmatch(3) without flags, case-sensitive: "*" also matches a leading dot and, in a
// path pattern, "/". A pattern without "/" is matched against an entry's name at any depth; a
// pattern with "/" against the entry's path below the chosen folder ("src/build", no leading
// "/"); a trailing "/" makes the pattern match folders only, and a leading "/" anchors it at the
// chosen folder ("/build" is the entry "build" right below it). The slashes at either end are
// taken off before matching.
//
// A scan asks about every entry, so the matcher answers the common shapes (a plain name, "*.ext",
// "prefix*", "*part*") with byte comparisons that give exactly fnmatch's answer, and hands only
// the other shapes to fnmatch, after a cheap test of their fixed first and last characters.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace folvane {

// A pattern as it is matched.
struct PatternParts {
    std::string_view body; // without the leading and trailing "/"
    bool path = false;     // matched against the path below the chosen folder
    bool foldersOnly = false;
};
PatternParts SplitPattern(std::string_view pattern);

// Why the matcher would refuse a pattern, or nothing when it is fine. fnmatch itself never says
// that a pattern is malformed (it only answers "no match"), so a pattern is refused when nothing
// is left of it after its slashes, or when fnmatch does not match it even against a name built to
// fit it: a lone backslash at the end, a bracket expression that holds no character (an unknown
// class such as [[:foo:]], a collating element of several characters).
std::optional<std::string> CheckExcludePattern(std::string_view pattern);

class TExclusions {
public:
    TExclusions() = default;
    // The patterns must each pass CheckExcludePattern; one that does not simply never matches.
    explicit TExclusions(const std::vector<std::string> &patterns);

    bool Empty() const { return patterns_.empty(); }
    std::size_t Count() const { return patterns_.size(); }
    // Some pattern is matched against the path below the chosen folder, so Matches needs it.
    bool NeedsPath() const { return needsPath_; }

    // Whether an entry is left out. `path` is its path below the chosen folder (ignored unless
    // NeedsPath()); `folder` whether it is a folder.
    bool Matches(std::string_view name, std::string_view path, bool folder) const;

private:
    enum class Shape : unsigned char { Literal, Suffix, Prefix, Contains, Any, General };
    struct Pattern {
        std::string body;    // as matched
        std::string literal; // the fixed text of the simple shapes
        std::string head, tail; // for General: text every match starts and ends with
        Shape shape = Shape::General;
        bool path = false;
        bool foldersOnly = false;
    };
    static bool matchOne(const Pattern &p, std::string_view subject);

    std::vector<Pattern> patterns_;
    bool needsPath_ = false;
};

} // namespace folvane

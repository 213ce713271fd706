#pragma once
// What the user chooses about a scan: which size counts, how a file with several names counts,
// whether the walk stays on one file system, and which entries are left out.
//
// The same choices come from the configuration (the Scan Options dialog) and from command-line
// flags; patterns are checked alike for both (CheckExcludePattern, Exclusions.h).

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace folvane {

// The size FileSize holds for every entry: the length of its content, or the blocks it occupies
// on disk (as du counts them: 512-byte units of the file's allocation).
enum class SizeKind : unsigned char { Apparent, DiskUsage };

struct ScanChoices {
    SizeKind sizeKind = SizeKind::Apparent;
    bool hardLinksOnce = false; // a file with several names counts under the first name only
    bool oneFileSystem = false; // folders on another device than the chosen folder are not walked
    std::vector<std::string> exclude; // patterns, each accepted by CheckExcludePattern (Exclusions.h)

    bool operator==(const ScanChoices &) const = default;
};

// The patterns of a text with one pattern per line, in order. Lines that are empty or hold only
// blanks are ignored; any other line is kept exactly (a carriage return ending it is dropped).
std::vector<std::string> ExcludeLines(std::string_view text);

// Command-line flags of the scan choices, shared by scan_bench and the program's command line:
//   --apparent-size | --disk-usage
//   --hardlinks-each | --hardlinks-once
//   --cross-file-systems | --one-file-system
//   --exclude PATTERN | --exclude=PATTERN   (repeatable)
// The later of two opposite flags wins. "--" ends the flags: everything after it is handed back.
struct ScanArguments {
    ScanChoices choices;
    std::vector<std::string> rest; // arguments that are not scan flags, in their order
    std::string error;             // empty when every scan flag was understood
};
ScanArguments ParseScanArguments(std::span<const std::string_view> args, ScanChoices start = {});

} // namespace folvane

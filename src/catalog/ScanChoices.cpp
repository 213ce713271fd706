#include "catalog/ScanChoices.h"

#include "catalog/Exclusions.h"

namespace folvane {

std::vector<std::string> ExcludeLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.find_first_not_of(" \t") != std::string_view::npos)
            lines.emplace_back(line);
    }
    return lines;
}

ScanArguments ParseScanArguments(std::span<const std::string_view> args, ScanChoices start)
{
    ScanArguments out;
    out.choices = std::move(start);
    ScanChoices &c = out.choices;
    auto addPattern = [&](std::string_view pattern) {
        if (std::optional<std::string> why = CheckExcludePattern(pattern)) {
            out.error = "--exclude \"" + std::string(pattern) + "\": " + *why;
            return false;
        }
        c.exclude.emplace_back(pattern);
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--") {
            out.rest.insert(out.rest.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a == "--apparent-size")
            c.sizeKind = SizeKind::Apparent;
        else if (a == "--disk-usage")
            c.sizeKind = SizeKind::DiskUsage;
        else if (a == "--hardlinks-each")
            c.hardLinksOnce = false;
        else if (a == "--hardlinks-once")
            c.hardLinksOnce = true;
        else if (a == "--cross-file-systems")
            c.oneFileSystem = false;
        else if (a == "--one-file-system")
            c.oneFileSystem = true;
        else if (a.starts_with("--exclude=")) {
            if (!addPattern(a.substr(10)))
                return out;
        } else if (a == "--exclude") {
            if (i + 1 == args.size()) {
                out.error = "--exclude needs a pattern";
                return out;
            }
            if (!addPattern(args[++i]))
                return out;
        } else {
            out.rest.emplace_back(a);
        }
    }
    return out;
}

} // namespace folvane

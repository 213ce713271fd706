// The scan's choices as plain data: the command-line flags, the pattern rules and their matcher,
// the mount table, and the summary's words.

#include <gtest/gtest.h>
#include <fnmatch.h>

#include <string>
#include <vector>

#include "catalog/CatalogNotes.h"
#include "catalog/Exclusions.h"
#include "catalog/MountTable.h"
#include "catalog/ScanChoices.h"

using namespace folvane;

namespace {

ScanArguments parse(std::vector<std::string_view> args)
{
    return ParseScanArguments(args);
}

} // namespace

TEST(ScanArgumentsTest, FlagsSetTheChoicesAndTheLaterOfTwoOppositesWins)
{
    struct Case {
        std::vector<std::string_view> args;
        SizeKind size;
        bool once, oneFs;
        std::vector<std::string> exclude, rest;
    } cases[] = {
        {{"/tmp"}, SizeKind::Apparent, false, false, {}, {"/tmp"}},
        {{"--disk-usage", "/tmp"}, SizeKind::DiskUsage, false, false, {}, {"/tmp"}},
        {{"--disk-usage", "--apparent-size", "x"}, SizeKind::Apparent, false, false, {}, {"x"}},
        {{"--hardlinks-once", "--one-file-system", "x"}, SizeKind::Apparent, true, true, {}, {"x"}},
        {{"--hardlinks-once", "--hardlinks-each", "--one-file-system", "--cross-file-systems"},
         SizeKind::Apparent, false, false, {}, {}},
        {{"--exclude", "*.o", "a", "--exclude=build/", "b"}, SizeKind::Apparent, false, false, {"*.o", "build/"}, {"a", "b"}},
        // Arguments that are not scan flags are handed back in order, for the caller to read.
        {{"--output", "f.json", "--disk-usage", "dir"}, SizeKind::DiskUsage, false, false, {}, {"--output", "f.json", "dir"}},
        // "--" ends the flags.
        {{"--", "--disk-usage"}, SizeKind::Apparent, false, false, {}, {"--disk-usage"}},
        // A pattern that begins with "--" is still the pattern of --exclude.
        {{"--exclude", "--weird", "d"}, SizeKind::Apparent, false, false, {"--weird"}, {"d"}},
    };
    for (const Case &c : cases) {
        ScanArguments a = parse(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(a.error, "");
        EXPECT_EQ(a.choices.sizeKind, c.size);
        EXPECT_EQ(a.choices.hardLinksOnce, c.once);
        EXPECT_EQ(a.choices.oneFileSystem, c.oneFs);
        EXPECT_EQ(a.choices.exclude, c.exclude);
        EXPECT_EQ(a.rest, c.rest);
    }
}

TEST(ScanArgumentsTest, AMissingOrRefusedPatternIsAnError)
{
    EXPECT_EQ(parse({"--exclude"}).error, "--exclude needs a pattern");
    const ScanArguments refused = parse({"--exclude", "abc\\", "dir"});
    EXPECT_NE(refused.error.find("\"abc\\\""), std::string::npos) << refused.error;
    EXPECT_NE(refused.error.find("lone backslash"), std::string::npos) << refused.error;
    EXPECT_NE(parse({"--exclude=[[:foo:]]"}).error.find("[[:foo:]]"), std::string::npos);
    EXPECT_NE(parse({"--exclude="}).error, "");
}

TEST(ExcludeLinesTest, EmptyAndBlankLinesAreIgnoredOthersKeptExactly)
{
    EXPECT_EQ(ExcludeLines(""), std::vector<std::string>{});
    EXPECT_EQ(ExcludeLines("*.o\n\n  \n build/ \r\n\tx\n/abs/path"),
              (std::vector<std::string>{"*.o", " build/ ", "\tx", "/abs/path"}));
}

// Accepted patterns match the name given with them (as fnmatch does); refused ones match none of
// a set of names (no entry has an empty name), so the refusal never turns away a pattern that could leave something out.
TEST(ExcludePatternTest, RefusedExactlyWhenTheMatcherCannotMatch)
{
    struct Accepted {
        const char *pattern, *matches;
    } accepted[] = {
        {"*.o", "a.o"},       {"build/", "build"}, {"/top", "top"},     {"a/b/*.c", "a/b/x/y.c"},
        {"[", "["},           {"a[", "a["},        {"[a", "[a"},        {"file[0-9]?", "file7x"},
        {"[!a]*", "b"},       {"\\*", "*"},        {"[]]", "]"},        {"[[:alpha:]]", "q"},
        {"[[:digit:]]x", "5x"}, {"[[.a.]]", "a"},  {"*\\\\", "a\\"},    {".*", ".hidden"},
        {"[]a", "[]a"}, // an unclosed bracket is the character itself
    };
    for (const Accepted &a : accepted) {
        EXPECT_EQ(CheckExcludePattern(a.pattern), std::nullopt) << a.pattern;
        const std::string body(SplitPattern(a.pattern).body);
        EXPECT_EQ(::fnmatch(body.c_str(), a.matches, 0), 0) << a.pattern;
    }
    const char *refused[] = {"", "/", "//", "abc\\", "[[:foo:]]", "[[.ab.]]", "x[a\\"};
    const char *names[] = {"a", "b", "abc", "abc\\", "[", "]a", "[]a", "x[a", "x[a\\", "ab", "foo"};
    for (const char *pattern : refused) {
        EXPECT_NE(CheckExcludePattern(pattern), std::nullopt) << pattern;
        const std::string body(SplitPattern(pattern).body);
        for (const char *name : names)
            EXPECT_NE(::fnmatch(body.c_str(), name, 0), 0) << pattern << " " << name;
    }
}

// The matcher's shortcuts answer exactly what fnmatch answers, name or path, folder or file.
TEST(ExcludePatternTest, MatchingAgreesWithFnmatchOnNamesPathsAndKinds)
{
    const std::vector<std::string> patterns = {
        "*.o", "core", "lib*", "*cache*", "*", "build/", "src/*.c", "/top", "a/b", "file[0-9]*.tmp",
        "?x", "[!.]*.d/", "*.[ch]", "x*y", "\\*lit", ".*", "*/", "dir/",
    };
    struct Entry {
        const char *name, *path;
        bool folder;
    } entries[] = {
        {"a.o", "a.o", false},         {"core", "x/core", false},       {"libz.so", "libz.so", false},
        {"mycache", "d/mycache", true}, {"build", "p/build", true},      {"build", "build", false},
        {"m.c", "src/m.c", false},     {"m.c", "src/x/m.c", false},     {"m.c", "lib/m.c", false},
        {"top", "top", true},          {"top", "a/top", true},          {"b", "a/b", false},
        {"file12.tmp", "q/file12.tmp", false}, {"filex.tmp", "filex.tmp", false},
        {"ax", "ax", false},           {"y.d", "y.d", true},            {".d", ".d", true},
        {"h.h", "h.h", false},         {"xzy", "xzy", false},           {"*lit", "*lit", false},
        {".hidden", ".hidden", false}, {"dir", "dir", true},            {"dir", "s/dir", true},
        {"K\xC3\xA4se.o", "K\xC3\xA4se.o", false}, {"bad\xFF.o", "bad\xFF.o", false},
    };
    for (const std::string &pattern : patterns) {
        ASSERT_EQ(CheckExcludePattern(pattern), std::nullopt) << pattern;
        const TExclusions one({pattern});
        const PatternParts parts = SplitPattern(pattern);
        const std::string body(parts.body);
        for (const Entry &e : entries) {
            const char *subject = parts.path ? e.path : e.name;
            const bool expected = (!parts.foldersOnly || e.folder) && ::fnmatch(body.c_str(), subject, 0) == 0;
            EXPECT_EQ(one.Matches(e.name, e.path, e.folder), expected) << pattern << " on " << e.path;
        }
    }
    const TExclusions all(patterns);
    EXPECT_TRUE(all.NeedsPath());
    EXPECT_FALSE(TExclusions({"*.o", "build/"}).NeedsPath());
    EXPECT_TRUE(TExclusions({"/top"}).NeedsPath());
}

TEST(MountTableTest, ReadsIdsDevicesEscapedMountPointsAndTypes)
{
    const TMountTable table = TMountTable::FromText(
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "24 28 0:6 / /dev rw,relatime shared:2 master:1 - devtmpfs devtmpfs rw,size=1k\n"
        "26 24 0:24 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
        "40 28 254:1 /sub /mnt/my\\040disk rw - ext4 /dev/vdb rw\n"
        "41 28 254:1 / /mnt/again rw - ext4 /dev/vdb rw\n"
        "not a mount line\n"
        "50 28 0:50 / /net rw - autofs auto.net rw");
    ASSERT_EQ(table.Mounts().size(), 6u);
    ASSERT_NE(table.ById(40), nullptr);
    EXPECT_EQ(table.ById(40)->mountPoint, "/mnt/my disk");
    EXPECT_EQ(table.ById(40)->type, "ext4");
    EXPECT_EQ(table.ById(24)->type, "devtmpfs");
    EXPECT_EQ(table.ById(99), nullptr);
    EXPECT_EQ(table.ByDevice(254, 1)->id, 41u);
    EXPECT_EQ(table.ByDevice(0, 24)->type, "tmpfs");
    EXPECT_EQ(table.ByDevice(9, 9), nullptr);

    for (const char *kernel : {"proc", "sysfs", "devtmpfs", "cgroup2", "binfmt_misc", "efivarfs", "tracefs"})
        EXPECT_TRUE(IsKernelFileSystem(kernel)) << kernel;
    for (const char *ordinary : {"tmpfs", "ext4", "autofs", "nfs", "fuse.sshfs", "overlay", ""})
        EXPECT_FALSE(IsKernelFileSystem(ordinary)) << ordinary;
    EXPECT_FALSE(TMountTable::OfThisProcess().Mounts().empty());
}

TEST(ScanSummaryTest, NamesTheFolderTheSizeKindTheChoicesAndWhatIsMissing)
{
    SetForms(TextForms::EnUs());
    TScanSummary s;
    s.folder = "/home";
    EXPECT_EQ(SummaryText(s), "/home \xC2\xB7 Apparent size");
    s.sizeKind = SizeKind::DiskUsage;
    s.hardLinksOnce = true;
    s.oneFileSystem = true;
    s.foldersNotRead = 3;
    s.patterns = 2;
    s.excluded = 1204;
    EXPECT_EQ(SummaryText(s), "/home \xC2\xB7 Disk usage \xC2\xB7 hard links once \xC2\xB7 one file system \xC2\xB7 "
                              "3 folders not read \xC2\xB7 1,204 entries left out by 2 patterns");
    TScanSummary one;
    one.folder = "/x";
    one.foldersNotRead = 1;
    one.kernelFolders = 1;
    one.patterns = 1;
    one.excluded = 1;
    EXPECT_EQ(SummaryText(one), "/x \xC2\xB7 Apparent size \xC2\xB7 1 folder not read \xC2\xB7 1 folder not scanned "
                                "\xC2\xB7 1 entry left out by 1 pattern");
    one.otherFsFolders = 2;
    one.excluded = 0;
    one.folder = "bad\xFFname";
    SetForms(TextForms::DeDe());
    EXPECT_EQ(SummaryText(one), "bad\xEF\xBF\xBDname \xC2\xB7 Apparent size \xC2\xB7 1 folder not read \xC2\xB7 "
                                "3 folders not scanned \xC2\xB7 0 entries left out by 1 pattern");
    one.excluded = 1234567;
    EXPECT_NE(SummaryText(one).find("1.234.567 entries"), std::string::npos);
}

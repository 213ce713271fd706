// The Changes list written as CSV and HTML: its own columns, and names that need quoting or escaping.

#include <gtest/gtest.h>

#include "catalog/RollUp.h"
#include "export/ChangesExport.h"

using namespace folvane;

namespace {

void build(TNodeTree &tree, std::initializer_list<std::pair<const char *, std::uint64_t>> files)
{
    const NodeId top = tree.AddTopLevel();
    tree.SetExplicitPath(top, "/t", 2);
    tree.SetField(top, FileType, "folder");
    for (const auto &[name, size] : files) {
        const NodeId n = tree.AddChild(top);
        tree.SetName(n, name);
        tree.SetField(n, FileType, "file");
        tree.SetSize(n, size);
    }
    tree.SetSize(top, RollUpFolderSize(tree, top));
}

} // namespace

TEST(ChangesExport, WritesItsOwnColumnsWithNamesQuotedAndEscaped)
{
    TNodeTree then, now;
    build(then, {{"a, \"b\".txt", 10}, {"<gone>", 18446744073709551615ull}});
    build(now, {{"a, \"b\".txt", 25}, {"line\nbreak", 1}});
    const TComparison c = CompareCatalogues(then, now);
    EXPECT_EQ(ChangesCsv(c, then, now), "Path,Status,Size then,Size now,Change\r\n"
                                        "\"a, \"\"b\"\".txt\",grown,10,25,15\r\n"
                                        "\"line\nbreak\",new,0,1,1\r\n"
                                        ".,shrunk,18446744073709551615,26,-18446744073709551589\r\n" // a total stops at 2^64 - 1
                                        "<gone>,gone,18446744073709551615,0,-18446744073709551615\r\n");
    const std::string page = ChangesPage(c, then, now, "Changes since <old>.json");
    EXPECT_EQ(page.rfind("\xEF\xBB\xBF<HTML>", 0), 0u);
    EXPECT_NE(page.find("<Title>Changes since &lt;old&gt;.json</Title>"), std::string::npos);
    EXPECT_NE(page.find("<tr class=\"Gone\"><td>&lt;gone&gt;</td><td>gone</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td class=\"Num\">-18446744073709551615</td>"), std::string::npos);
}

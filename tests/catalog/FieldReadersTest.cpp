// The typed readers of a record's fields against the texts they stand for: typed records as the
// scan writes them, texts written into fields (kept as written), empty fields and texts that do
// not read as their kind.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "catalog/FieldReaders.h"

using namespace folvane;

namespace {

constexpr const char *kTyped = nullptr; // the field as the scan wrote it
constexpr const char *kEmpty = "";      // the field cleared

// What the reader of a field's kind makes of it, as text.
std::string readerResult(const TNodeTree &tree, NodeId node, int field)
{
    std::ostringstream out;
    switch (field) {
    case FileSize:
        if (auto size = SizeOf(tree, node))
            out << size->bytes << " bytes, " << size->value << (size->whole ? ", whole" : ", not whole");
        else
            out << "no size";
        break;
    case FileNameLength:
    case PathNameLength:
    case SizePercentage:
    case FileCount: out << NumberOf(tree, node, field); break;
    case CreateTime:
    case AccessTime:
    case WriteTime: {
        DateKey key = DateKeyOf(tree, node, field);
        out << (key.state == DateKey::Empty ? "empty" : key.state == DateKey::Invalid ? "invalid" : "at ");
        if (auto t = TimeOf(tree, node, field)) {
            CivilTime c = ToCivil(*t);
            out << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":" << c.second;
        }
        break;
    }
    case CreateAgeRange:
    case AccessAgeRange:
    case WriteAgeRange:
    case SizeRange:
        if (auto index = ClassIndexOf(tree, node, field))
            out << "class " << *index;
        else
            out << "no class";
        break;
    case FileType: out << "kind '" << KindText(tree, node) << "'"; break;
    case FullPath: out << "path " << PathBytesOf(tree, node); break;
    default: break;
    }
    return out.str();
}

class FieldReadersTest : public ::testing::Test {
protected:
    void SetUp() override { SetForms(TextForms::EnUs()); }
    void TearDown() override { SetForms(TextForms::EnUs()); }

    // A file as the scan writes it, below a top folder "/data".
    NodeId File(TNodeTree &tree, std::string_view name)
    {
        NodeId top = tree.AddTopLevel();
        tree.SetExplicitPath(top, "/data", 5);
        tree.SetField(top, FileType, "folder");
        NodeId n = tree.AddChild(top);
        tree.SetName(n, name);
        TFileNodeData &d = tree.Data(n);
        d.flags |= TFileNodeData::File;
        d.size = 1536;
        const LocalSeconds t = FromCivil({2024, 3, 7, 14, 5, 9});
        d.times[0] = d.times[1] = d.times[2] = t;
        d.present |= (1u << FileName) | (1u << FullPath) | (1u << FileSize) | (1u << FileExt) | (1u << FileType) |
                     (1u << FileNameLength) | (1u << PathNameLength) | (1u << CreateTime) | (1u << AccessTime) |
                     (1u << WriteTime) | (1u << DOSName);
        tree.SetPercentage(n, 23, 160);
        tree.SetCount(n, 1);
        tree.SetClass(n, SizeRange, 3);
        return n;
    }
};

TEST_F(FieldReadersTest, ReadWhatTheTextsStandFor)
{
    struct Case {
        const char *name; // of the file
        int field;
        const char *written; // kTyped, kEmpty or a text written into the field
        const char *shown;   // the field's text
        const char *read;    // what the field's reader gives
    } cases[] = {
        // Typed, as the scan wrote them.
        {"Report.TXT", FileName, kTyped, "Report.TXT", ""},
        {"Report.TXT", FileExt, kTyped, "TXT", ""},
        {"bad\xFF.b\xFE", FileExt, kTyped, "b\xEF\xBF\xBD", ""},
        {"bad\xFF.bin", DOSName, kTyped, "bad\xEF\xBF\xBD.bin", ""},
        {"Report.TXT", FullPath, kTyped, "/data/Report.TXT", "path /data/Report.TXT"},
        {"bad\xFF", FullPath, kTyped, "/data/bad\xEF\xBF\xBD", "path /data/bad\xFF"},
        {"Report.TXT", FileSize, kTyped, "1536", "1536 bytes, 1536, whole"},
        {"\xC3\xA4rger", FileNameLength, kTyped, "5", "5"},
        {"Report.TXT", PathNameLength, kTyped, "16", "16"},
        {"Report.TXT", SizePercentage, kTyped, "14.38", "14.38"},
        {"Report.TXT", FileCount, kTyped, "1", "1"},
        {"Report.TXT", WriteTime, kTyped, "3/7/2024 2:05:09 PM", "at 2024-3-7 14:5:9"},
        {"Report.TXT", SizeRange, kTyped, "3", "class 3"},
        {"Report.TXT", FileType, kTyped, "file", "kind 'file'"},
        // Written texts, kept as written and read as their kind.
        {"a", FileName, "renamed", "renamed", ""},
        {"a", FullPath, "/elsewhere/a", "/elsewhere/a", "path /elsewhere/a"},
        {"a", FileSize, "0012", "0012", "12 bytes, 12, whole"},
        {"a", FileSize, "1e3", "1e3", "1000 bytes, 1000, whole"},
        {"a", FileSize, "12.5", "12.5", "13 bytes, 12.5, not whole"},
        {"a", FileSize, "2.5", "2.5", "3 bytes, 2.5, not whole"},
        {"a", FileSize, "2.49", "2.49", "2 bytes, 2.49, not whole"},
        {"a", FileSize, "-3", "-3", "0 bytes, -3, not whole"},
        {"a", FileSize, "1e30", "1e30", "18446744073709551615 bytes, 1e+30, not whole"},
        {"a", SizePercentage, "7.5", "7.5", "7.5"},
        {"a", FileCount, "07", "07", "7"},
        {"a", WriteTime, "1/2/2025", "1/2/2025", "at 2025-1-2 0:0:0"},
        {"a", SizeRange, "12", "12", "class 12"},
        {"a", FileType, " file ", " file ", "kind 'file'"},
        {"a", FileType, "link", "link", "kind 'link'"},
        // Empty fields.
        {"a", FileSize, kEmpty, "", "no size"},
        {"a", SizePercentage, kEmpty, "", "0"},
        {"a", WriteTime, kEmpty, "", "empty"},
        {"a", SizeRange, kEmpty, "", "class 0"},
        {"a", FileType, kEmpty, "", "kind ''"},
        {"a", FullPath, kEmpty, "", "path "},
        // Texts that do not read as their kind.
        {"a", FileSize, "12 KB", "12 KB", "no size"},
        {"a", FileSize, "1,5", "1,5", "no size"},
        {"a", SizePercentage, "abc", "abc", "0"},
        {"a", FileCount, "many", "many", "0"},
        {"a", WriteTime, "not a time", "not a time", "invalid"},
        {"a", WriteTime, "2/30/2024", "2/30/2024", "invalid"},
        {"a", SizeRange, "x", "x", "no class"},
        {"a", SizeRange, "1.0", "1.0", "no class"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(FieldNames[c.field]) + " of " + c.name + " " +
                     (c.written == kTyped ? "typed" : "written '" + std::string(c.written) + "'"));
        TNodeTree tree;
        NodeId n = File(tree, c.name);
        if (c.written == kTyped) {
        } else if (*c.written == 0) {
            tree.ClearField(n, c.field);
        } else {
            tree.SetField(n, c.field, c.written);
        }
        std::string scratch;
        EXPECT_EQ(tree.Field(n, c.field), c.shown);
        EXPECT_EQ(FieldText(tree, n, c.field, scratch), c.shown);
        EXPECT_EQ(readerResult(tree, n, c.field), c.read);
        // Each typed reader agrees with the rule that reads the text.
        const std::string text = tree.Field(n, c.field);
        switch (c.field) {
        case FileSize:
        case FileNameLength:
        case PathNameLength:
        case SizePercentage:
        case FileCount: EXPECT_EQ(NumberOf(tree, n, c.field), ParseFloat(text).value_or(0.0)); break;
        case WriteTime: {
            DateKey typed = DateKeyOf(tree, n, c.field), fromText = DateKeyOf(text);
            EXPECT_EQ(typed.state, fromText.state);
            EXPECT_EQ(typed.t, fromText.t);
            break;
        }
        default: break;
        }
        if (c.field == FileSize) {
            auto size = SizeOf(tree, n);
            EXPECT_EQ(bool(size), ParseFloat(text).has_value());
            if (size) {
                EXPECT_EQ(size->value, *ParseFloat(text));
            }
        }
    }
}

TEST_F(FieldReadersTest, KeysCompareAsTheTextRules)
{
    // Names around the 16 bytes a key holds in its prefix, letter case, the characters between Z
    // and a, bytes above 127 and invalid UTF-8, written names and the empty name.
    const char *names[] = {"abcdefghijklmnop",  "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP",  "abcdefghijklmno",
                           "abcdefghijklmnoP",  "abcdefghijklmnopQ", "abcdefghijklmnopa", "abcdefghijklmno\xC3\xA4",
                           "abcdefghijklmnop\xC3\xA4", "zx",      "_x",                "[x",
                           "ZX",                "\xFF\xFE",         "a",                 "A",
                           "",                  "abcdefghijklmnopqrstuvwxyz-1",        "ABCDEFGHIJKLMNOPQRSTUVWXYZ-10",
                           "`x",                "{x",               "@x",                "\xE1x",
                           "\xFAx",             "abcdefgh`{@[\xE1\xFAzA"};
    TNodeTree tree;
    std::vector<NodeId> nodes;
    for (const char *name : names) {
        NodeId n = File(tree, "x");
        tree.SetField(n, FileName, name); // written (the node already has a name)
        nodes.push_back(n);
        NodeId typed = tree.AddChild(tree.Parent(n));
        tree.SetName(typed, name);
        tree.Data(typed).present |= 1u << FileName;
        tree.Data(typed).flags |= TFileNodeData::File;
        nodes.push_back(typed);
    }
    for (NodeId a : nodes)
        for (NodeId b : nodes) {
            int rule = CompareTextIgnoreAsciiCase(tree.Field(a, FileName), tree.Field(b, FileName));
            ASSERT_EQ(CompareKeys(KeyOf(tree, a, FileName), KeyOf(tree, b, FileName), FileName), rule)
                << "'" << tree.Field(a, FileName) << "' vs '" << tree.Field(b, FileName) << "'";
        }
}

} // namespace

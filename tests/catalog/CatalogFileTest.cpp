// Catalogue files opened like a scan: ncdu JSON exports and Folvane's own XML catalogue, each
// feature of the formats on small files written by hand.

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

#include <string>

#include "ScanFixtures.h"
#include "catalog/CatalogFile.h"
#include "catalog/CatalogNotes.h"
#include "catalog/FieldReaders.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;
using folvane::test::NodeAt;

namespace {

class CatalogFileTest : public ::testing::Test {
protected:
    void SetUp() override { SetForms(TextForms::EnUs()); }
    void TearDown() override { SetForms(TextForms::EnUs()); }

    std::string write(const std::string &name, const std::string &bytes)
    {
        const std::string path = dir / name;
        test::WriteFile(path, bytes);
        return path;
    }
    CatalogReadOutcome open(const std::string &name, const std::string &bytes, ScanChoices choices = {})
    {
        CatalogReadOptions options;
        options.choices = std::move(choices);
        return ReadCatalogFile(tree, write(name, bytes), options);
    }
    std::string field(const std::string &relative, int f) const { return tree.Field(NodeAt(tree, relative), f); }
    const TScanSummary &summary() const { return tree.FindNotes()->summary; }

    test::TempDir dir;
    TNodeTree tree;
};

// An ncdu export with every key the format has, and some it does not know.
std::string ncduFixture()
{
    const std::uint64_t dev = gnu_dev_makedev(8, 1), otherDev = gnu_dev_makedev(8, 2);
    const std::string d = std::to_string(dev), o = std::to_string(otherDev);
    return "[1,2,{\"progname\":\"ncdu\",\"progver\":\"1.18\",\"timestamp\":1700000000,\"future\":{\"x\":[1,{\"y\":null}]}},\n"
           "[{\"name\":\"/srv/data\",\"asize\":4096,\"dsize\":4096,\"dev\":" + d + "},\n"
           "{\"name\":\"a.txt\",\"asize\":100,\"dsize\":4096,\"mtime\":1700000000,\"uid\":0,\"mode\":33188},\n"
           "{\"name\":\"no-time.bin\",\"asize\":7,\"dsize\":0},\n"
           "{\"name\":\"fifo\",\"notreg\":true},\n"
           "{\"name\":\"caf\\u00e9 \\ud83d\\ude00\\n.txt\",\"asize\":1,\"dsize\":1,\"later\":[[],{}]},\n"
           "{\"name\":\"raw\xff.dat\",\"asize\":2,\"dsize\":2},\n"
           "[{\"name\":\"sub\",\"asize\":4096,\"dsize\":4096},\n"
           " {\"name\":\"one\",\"asize\":300,\"dsize\":512,\"ino\":77,\"nlink\":2,\"hlnkc\":true},\n"
           " [{\"name\":\"mnt\",\"dev\":" + o + "},\n"
           "  {\"name\":\"two\",\"asize\":300,\"dsize\":512,\"ino\":77,\"nlink\":2,\"hlnkc\":true}]],\n"
           "[{\"name\":\"locked\",\"read_error\":true}],\n"
           "{\"name\":\"proc\",\"excluded\":\"kernfs\"},\n"
           "{\"name\":\"other\",\"excluded\":\"otherfs\"},\n"
           "{\"name\":\"skipped.o\",\"asize\":99999,\"excluded\":\"pattern\"},\n"
           "{\"name\":\"same\",\"asize\":300,\"dsize\":512,\"ino\":77,\"hlnkc\":true}]]\n";
}

} // namespace

TEST_F(CatalogFileTest, RecognisesACatalogueByItsContent)
{
    const struct {
        const char *head;
        CatalogFormat format;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><fileinfo generated=\"x\"></fileinfo>", CatalogFormat::Xml},
        {"\xEF\xBB\xBF<!-- made by hand --><?pi x?>\n<fileinfo/>", CatalogFormat::Xml},
        {"<fileinfo>", CatalogFormat::Xml},
        {"<html><body/></html>", CatalogFormat::None},
        {"<!DOCTYPE fileinfo><fileinfo/>", CatalogFormat::None},
        {"<fileinfos/>", CatalogFormat::None},
        {"[1,2,{\"progname\":\"ncdu\"},[{\"name\":\"/\"}]]", CatalogFormat::NcduJson},
        {" [ 1 ,\n 0", CatalogFormat::NcduJson},
        {"[2,0,{}]", CatalogFormat::None},
        {"[10,0,{}]", CatalogFormat::None},
        {"[1]", CatalogFormat::None},
        {"{\"name\":\"x\"}", CatalogFormat::None},
        {"", CatalogFormat::None},
        {"plain text", CatalogFormat::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RecognizeCatalogue(c.head), c.format) << c.head;
    EXPECT_EQ(RecognizeCatalogueFile(write("c.json", cases[6].head)), CatalogFormat::NcduJson);
    EXPECT_EQ(RecognizeCatalogueFile(dir.Path()), CatalogFormat::None) << "a folder is no catalogue";
    EXPECT_EQ(RecognizeCatalogueFile(dir / "missing"), CatalogFormat::None);
}

TEST_F(CatalogFileTest, NcduJsonOpensAsAScanWould)
{
    const CatalogReadOutcome outcome = open("data.json", ncduFixture());
    EXPECT_EQ(outcome.format, CatalogFormat::NcduJson);
    const NodeId top = tree.First();
    ASSERT_NE(top, kNoNode);
    EXPECT_EQ(tree.Field(top, FileName), "/srv/data");
    EXPECT_EQ(tree.Field(top, FullPath), "/srv/data");
    EXPECT_TRUE(tree.Expanded(top));

    // Names as one name each, escapes decoded, bytes that are not UTF-8 kept.
    EXPECT_EQ(tree.ChildCount(top), 10u) << "the entry a pattern excluded is left out";
    EXPECT_NE(NodeAt(tree, "caf\xC3\xA9 \xF0\x9F\x98\x80\n.txt"), kNoNode);
    const NodeId raw = NodeAt(tree, "raw\xff.dat");
    ASSERT_NE(raw, kNoNode);
    EXPECT_EQ(tree.Field(raw, FullPath), "/srv/data/raw\xEF\xBF\xBD.dat");
    EXPECT_EQ(field("raw\xff.dat", FileExt), "dat");

    // Apparent size by default; a folder's own size is not counted.
    EXPECT_EQ(field("a.txt", FileSize), "100");
    EXPECT_EQ(field("a.txt", FileType), "file");
    EXPECT_EQ(field("a.txt", FileExt), "txt");
    EXPECT_EQ(field("a.txt", FileNameLength), "5");
    EXPECT_EQ(field("a.txt", PathNameLength), "15");
    EXPECT_EQ(field("a.txt", WriteTime), FormatDateTime(ToLocalSeconds(1700000000)));
    EXPECT_EQ(field("a.txt", CreateTime), "") << "the format has no creation time";
    EXPECT_EQ(field("no-time.bin", WriteTime), "") << "written without the extended mode";
    EXPECT_EQ(field("fifo", FileType), "file");
    EXPECT_EQ(field("fifo", FileSize), "0");
    EXPECT_EQ(field("sub", FileType), "folder");
    EXPECT_EQ(field("sub", FileSize), "600");
    EXPECT_EQ(field("sub", FileCount), "3");
    EXPECT_EQ(tree.Field(top, FileSize), std::to_string(100 + 7 + 1 + 2 + 600 + 300));
    EXPECT_EQ(tree.Field(top, FileCount), std::to_string(tree.NodeCount() - 1));
    EXPECT_EQ(field("a.txt", SizePercentage), PercentText(100, 1010));

    // What was not read or not walked is marked, with its reason; the summary counts it.
    const NodeId locked = NodeAt(tree, "locked");
    EXPECT_EQ(tree.Field(locked, FileType), "folder");
    EXPECT_TRUE(tree.Data(locked).flags & TFileNodeData::Unreadable);
    EXPECT_EQ(ReasonText(tree, locked), "Could not be read");
    EXPECT_EQ(ReasonText(tree, NodeAt(tree, "proc")), "Not scanned: kernel file system");
    EXPECT_EQ(ReasonText(tree, NodeAt(tree, "other")), "Not scanned: another file system");
    EXPECT_EQ(field("other", FileType), "folder");
    const TScanSummary &s = summary();
    EXPECT_EQ(s.foldersNotRead, 1u);
    EXPECT_EQ(s.kernelFolders + s.otherFsFolders, 2u);
    EXPECT_EQ(s.excluded, 1u);
    EXPECT_EQ(s.folder, "/srv/data");
    EXPECT_EQ(s.catalogueFile, dir / "data.json");
    EXPECT_EQ(s.made, ToLocalSeconds(1700000000));
    EXPECT_TRUE(s.sizeKindKnown);
    EXPECT_TRUE(OpenedFromFile(tree));
    EXPECT_EQ(SummaryText(s), "Catalogue " + (dir / "data.json") + ", made " + FormatDateTime(ToLocalSeconds(1700000000)) +
                                  " \xC2\xB7 /srv/data \xC2\xB7 Apparent size \xC2\xB7 1 folder not read \xC2\xB7 2 folders not "
                                  "scanned \xC2\xB7 1 entry left out by patterns");

    // "one" and "same" are names of one file (the device inherited from the top); "two" lies on
    // another device: a file of its own.
    const auto &links = tree.FindNotes()->links;
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].device, links[1].device);
    EXPECT_EQ(links[0].device, TLinkName::Device(8, 1));
    EXPECT_EQ(links[2].device, TLinkName::Device(8, 2));
    EXPECT_EQ(links[1].linkCount, 2u) << "hlnkc without nlink: at least two names";

    // A byte-order mark before the array, which some tools write, is passed over.
    open("bom.json", "\xEF\xBB\xBF[1,0,{},[{\"name\":\"/b\"}]]");
    EXPECT_EQ(tree.Field(tree.First(), FileName), "/b");
}

TEST_F(CatalogFileTest, NcduSizesFollowTheChosenKindAndTheHardLinkRule)
{
    ScanChoices choices;
    choices.sizeKind = SizeKind::DiskUsage;
    choices.hardLinksOnce = true;
    open("data.json", ncduFixture(), choices);
    EXPECT_EQ(field("a.txt", FileSize), "4096");
    EXPECT_EQ(field("sub", FileSize), "1024");
    EXPECT_EQ(field("same", FileSize), "512") << "its field keeps its size";
    EXPECT_TRUE(tree.Data(NodeAt(tree, "same")).flags & TFileNodeData::Uncounted) << "counted as sub/one";
    EXPECT_EQ(tree.Field(tree.First(), FileSize), std::to_string(4096 + 0 + 0 + 1 + 2 + 1024));
    EXPECT_EQ(summary().namesCountedElsewhere, 1u);
    // The other size is there too: the size kind switches without reading the file again.
    ApplyCountingChoices(tree, SizeKind::Apparent, false);
    EXPECT_EQ(field("a.txt", FileSize), "100");
    EXPECT_EQ(tree.Field(tree.First(), FileSize), "1010");
}

// No depth of folders exhausts a stack: every walk of both readers keeps its own.
TEST_F(CatalogFileTest, DeeplyNestedFoldersAreRead)
{
    constexpr int kDepth = 200000;
    std::string json = "[1,0,{},\n[{\"name\":\"/deep\"}";
    std::string xml = "<fileinfo><file FileName=\"/deep\" FullPath=\"/deep\" FileType=\"folder\">";
    for (int i = 0; i < kDepth; ++i) {
        json += ",[{\"name\":\"d\"}";
        xml += "<file FileName=\"d\" FileType=\"folder\">";
    }
    json += ",{\"name\":\"f\",\"asize\":5}";
    xml += "<file FileName=\"f\" FileType=\"file\" FileSize=\"5\"/>";
    for (int i = 0; i <= kDepth; ++i) {
        json += "]";
        xml += "</file>";
    }
    json += "]";
    xml += "</fileinfo>";
    for (const auto &[name, text] : {std::pair{"deep.json", json}, std::pair{"deep.xml", xml}}) {
        SCOPED_TRACE(name);
        open(name, text);
        EXPECT_EQ(tree.NodeCount(), std::uint32_t(kDepth + 2));
        NodeId n = tree.First();
        while (tree.FirstChild(n) != kNoNode)
            n = tree.FirstChild(n);
        EXPECT_EQ(tree.Field(n, FileName), "f");
        EXPECT_EQ(tree.Level(n), std::uint32_t(kDepth + 1));
        // ncdu JSON is rolled up as a scan is; an XML catalogue holds what it says, here nothing.
        EXPECT_EQ(tree.Field(tree.First(), FileSize), name == std::string("deep.json") ? "5" : "");
    }
}

TEST_F(CatalogFileTest, XmlFieldsReadAsTheCatalogueHoldsThem)
{
    open("c.xml",
         "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
         "<fileinfo generated=\"https://www.folvane.org/\">\n"
         "  <file FileName=\"/home/u\" FullPath=\"/home/u\" FileSize=\"1500\" FileType=\"folder\" SizePercentage=\"100.00\" "
         "FileCount=\"2\">\n"
         "    <file FileName=\"old.bin\" FullPath=\"/home/u/old.bin\" FileSize=\"1.5E+3\" FileExt=\"bin\" FileType=\"file\" "
         "FileNameLength=\"7\" PathNameLength=\"15\" SizePercentage=\"100.00\" CreateTime=\"3/4/2024 5:06:07 PM\" "
         "AccessTime=\"31/31/2024\" WriteTime=\"3/4/2024\" DOSName=\"OLD~1.BIN\" FileCount=\"007\" Description=\"kept\" "
         "SizeRange=\"3\"/>\n"
         "    <file FileName=\"d\" FullPath=\"/elsewhere/d\" FileSize=\"0\" FileType=\"folder\" FileNameLength=\"9\" "
         "SizePercentage=\"0\" FileCount=\"0\"/>\n"
         "  </file>\n"
         "</fileinfo>\n");
    const NodeId old = NodeAt(tree, "old.bin");
    ASSERT_NE(old, kNoNode);
    EXPECT_EQ(tree.Field(old, FileSize), "1500") << "an older file's floating form, to the byte";
    EXPECT_EQ(tree.Field(old, CreateTime), "3/4/2024 5:06:07 PM");
    EXPECT_EQ(tree.Field(old, WriteTime), "3/4/2024");
    EXPECT_EQ(tree.Field(old, AccessTime), "") << "a time that cannot be read is left empty";
    EXPECT_EQ(tree.Field(old, DOSName), "OLD~1.BIN") << "kept as written";
    EXPECT_EQ(tree.Field(old, FileCount), "007");
    EXPECT_EQ(tree.Field(old, Description), "kept");
    EXPECT_EQ(tree.Field(old, SizeRange), "3");
    EXPECT_EQ(tree.Field(old, FullPath), "/home/u/old.bin");
    EXPECT_EQ(tree.Override(old, FullPath), nullptr) << "what the record renders is held typed";
    const NodeId d = NodeAt(tree, "d");
    EXPECT_EQ(tree.Field(d, FullPath), "/elsewhere/d") << "a path that is not the derived one stays as written";
    EXPECT_EQ(tree.Field(d, FileNameLength), "9");
    EXPECT_EQ(tree.Field(d, SizePercentage), "0");
    EXPECT_EQ(tree.Field(tree.First(), FileSize), "1500");

    const TScanSummary &s = summary();
    EXPECT_FALSE(s.sizeKindKnown);
    EXPECT_EQ(s.timesNotRead, 1u);
    EXPECT_NE(SummaryText(s).find("/home/u \xC2\xB7 size kind unknown \xC2\xB7 1 time could not be read"), std::string::npos)
        << SummaryText(s);
    // With no size kind recorded, a change of the choices leaves every size as the file gives it.
    ApplyCountingChoices(tree, SizeKind::DiskUsage, true);
    EXPECT_EQ(tree.Field(old, FileSize), "1500");
    EXPECT_EQ(tree.Field(d, FileSize), "0");
}

TEST_F(CatalogFileTest, AListOpensUnderAFolderNamedAfterItsFile)
{
    open("list.xml", "<fileinfo><file FileName=\"a.txt\" FullPath=\"/x/a.txt\" FileSize=\"10\" FileType=\"file\"/>"
                     "<file FileName=\"big\" FullPath=\"/y/big\" FileSize=\"30\" FileType=\"folder\" FileCount=\"12\"/>"
                     "</fileinfo>");
    const NodeId top = tree.First();
    EXPECT_EQ(tree.Field(top, FileName), "list.xml");
    EXPECT_EQ(tree.Field(top, FileType), "folder");
    EXPECT_EQ(tree.Field(top, FileSize), "40");
    EXPECT_EQ(tree.Field(top, FileCount), "2");
    EXPECT_EQ(tree.Field(top, SizePercentage), "100.00");
    ASSERT_EQ(tree.ChildCount(top), 2u);
    EXPECT_EQ(tree.Field(tree.Child(top, 0), FullPath), "/x/a.txt");
    EXPECT_EQ(tree.Field(tree.Child(top, 1), FullPath), "/y/big");
    EXPECT_EQ(tree.Field(tree.Child(top, 1), FileSize), "30") << "a list's folder keeps its total";

    open("one-file.xml", "<fileinfo><file FileName=\"a.txt\" FullPath=\"/x/a.txt\" FileType=\"file\"/></fileinfo>");
    EXPECT_EQ(tree.Field(tree.First(), FileName), "one-file.xml");
    open("empty.xml", "<?xml version=\"1.0\"?><fileinfo generated=\"https://www.folvane.org/\"/>");
    EXPECT_EQ(tree.Field(tree.First(), FileName), "empty.xml");
    EXPECT_EQ(tree.ChildCount(tree.First()), 0u);
}

TEST_F(CatalogFileTest, AnUnsoundFileLeavesNoCatalogue)
{
    tree.AddTopLevel();
    EXPECT_THROW(open("bad.json", "[1,0,{},[{\"name\":\"/x\"},{\"name\":\"a\",\"asize\":-1}]]"), TCatalogFileError);
    EXPECT_EQ(tree.NodeCount(), 0u);
    try {
        open("bad.xml", "<fileinfo>\n  <file FileName=\"/x\" FileType=\"folder\">\n    <file FileName=\"..\" "
                        "FileType=\"file\"/></file></fileinfo>");
        FAIL();
    } catch (const TCatalogFileError &e) {
        EXPECT_EQ(e.File(), dir / "bad.xml");
        EXPECT_EQ(e.Line(), 3u);
        EXPECT_EQ(e.Column(), 5u);
        EXPECT_EQ(e.Reason(), "FileName \"..\" is not allowed below the top folder");
    }
    EXPECT_EQ(tree.NodeCount(), 0u);
}

TEST_F(CatalogFileTest, ReadingCanBeCancelled)
{
    std::string json = "[1,0,{},[{\"name\":\"/many\"}";
    for (int i = 0; i < 200000; ++i)
        json += ",{\"name\":\"f" + std::to_string(i) + "\",\"asize\":1}";
    json += "]]";
    std::atomic<bool> cancel{true};
    CatalogReadOptions options;
    options.cancel = &cancel;
    const CatalogReadOutcome outcome = ReadCatalogFile(tree, write("many.json", json), options);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(tree.NodeCount(), 0u);
}

// A catalogue written and opened again: the XML catalogue gives back the same catalogue field by
// field, ncdu JSON the same names, kinds, both sizes and write times.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "catalog/CatalogFile.h"
#include "catalog/ScanFixtures.h"
#include "catalog/CatalogNotes.h"
#include "catalog/CatalogXmlReader.h"
#include "catalog/FieldReaders.h"
#include "catalog/XmlSplit.h"
#include "catalog/uFileReader.h"
#include "config/XmlDocument.h"
#include "export/FileInfo.h"
#include "export/NcduJsonWriter.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;

namespace {

void setWriteTime(const std::string &path, std::int64_t utc)
{
    const struct timespec times[2] = {{utc - 3600, 0}, {utc, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// A folder with what a catalogue must carry across: nesting, an empty folder, markup characters,
// a line break and bytes that are not UTF-8 in names, a link, a file with two names, times at
// midnight and before 1970.
std::string makeFolder(const test::TempDir &dir)
{
    const std::string root = dir.Folder("root");
    dir.File("root/a.txt", 100);
    dir.File("root/sub/deep/x.bin", 5000);
    dir.File("root/sub/a<b&c\"d'.txt", 3);
    dir.File("root/sub/line\nbreak", 12);
    dir.File("root/sub/raw\xff.bin", 7);
    dir.Folder("root/empty");
    dir.File("root/old.txt", 1);
    EXPECT_EQ(::link((dir / "root/a.txt").c_str(), (dir / "root/sub/second-name").c_str()), 0);
    EXPECT_EQ(::symlink("a.txt", (dir / "root/link").c_str()), 0);
    const LocalSeconds midnight = FromCivil({2024, 3, 4, 0, 0, 0});
    setWriteTime(dir / "root/a.txt", UtcOfLocalSeconds(midnight));
    setWriteTime(dir / "root/old.txt", -86400 * 400);
    setWriteTime(dir / "root/sub/deep/x.bin", 1700000000);
    return root;
}

void expectSameFields(const TNodeTree &a, const TNodeTree &b)
{
    ASSERT_EQ(a.NodeCount(), b.NodeCount());
    for (NodeId m = a.First(), n = b.First(); m != kNoNode; m = a.Next(m), n = b.Next(n)) {
        ASSERT_NE(n, kNoNode);
        ASSERT_EQ(a.Level(m), b.Level(n)) << a.Field(m, FullPath);
        for (int f = 0; f < kFieldCount; ++f)
            EXPECT_EQ(a.Field(m, f), b.Field(n, f)) << a.Field(m, FullPath) << ": " << FieldNames[std::size_t(f)];
    }
}

void writeXml(const TNodeTree &tree, const std::string &path)
{
    TXmlDocument doc;
    TFileInfo info;
    info.Doc = &doc;
    info.ResetDocument();
    info.BuildFromTree(tree);
    info.SaveDocument(path);
}

class CatalogRoundTripTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetForms(TextForms::EnUs());
        detail::SetXmlSplitThreshold(std::uint64_t(32) << 20);
    }
    test::TempDir dir;
};

} // namespace

TEST_F(CatalogRoundTripTest, ScanToXmlAndBackIsTheSameCatalogue)
{
    const std::string root = makeFolder(dir);
    for (const TextForms &forms : {TextForms::EnUs(), TextForms::DeDe()}) {
        SCOPED_TRACE(forms.shortDate);
        SetForms(forms);
        TNodeTree scanned, opened;
        ScanFolder(scanned, root);
        // Class fields as the statistics write them, on some entries.
        scanned.SetClass(test::NodeAt(scanned, "a.txt"), SizeRange, 2);
        scanned.SetClass(test::NodeAt(scanned, "a.txt"), WriteAgeRange, 5);
        const std::string file = dir / "catalog.xml";
        writeXml(scanned, file);
        ReadCatalogFile(opened, file);
        expectSameFields(scanned, opened);
        EXPECT_EQ(opened.FindNotes()->summary.timesNotRead, 0u);
    }
}

// Read in two parts at once or in one, a document gives the same catalogue and the same faults.
TEST_F(CatalogRoundTripTest, ADocumentReadInTwoPartsIsTheSameAsInOne)
{
    // Deep and wide, so that the cut falls below several open folders; and a list of entries
    // below the root, where it falls between top-level entries.
    TNodeTree deep;
    NodeId top = deep.AddTopLevel();
    deep.SetField(top, FileName, "/t");
    deep.SetField(top, FullPath, "/t");
    deep.SetField(top, FileType, "folder");
    NodeId at = top;
    for (int level = 0; level < 30; ++level) {
        for (int i = 0; i < 40; ++i) {
            const NodeId f = deep.AddChild(at);
            deep.SetName(f, "f" + std::to_string(level) + "_" + std::to_string(i) + ".log");
            deep.SetField(f, FileType, "file");
            deep.SetSize(f, std::uint64_t(level * 1000 + i));
            deep.SetField(f, WriteTime, "1/2/2024 3:04:05 PM");
            deep.SetField(f, Description, i % 7 == 0 ? "note " + std::to_string(i) : "");
        }
        const NodeId folder = deep.AddChild(at);
        deep.SetName(folder, "d" + std::to_string(level));
        deep.SetField(folder, FileType, "folder");
        at = folder;
    }
    TNodeTree list;
    for (int i = 0; i < 500; ++i) {
        const NodeId n = list.AddTopLevel();
        const std::string name = "e" + std::to_string(i);
        list.SetExplicitPath(n, "/x/" + name, name.size());
        list.SetField(n, FileName, name);
        list.SetField(n, FullPath, "/x/" + name);
        list.SetField(n, FileType, "file");
        list.SetSize(n, std::uint64_t(i));
    }
    for (const TNodeTree *source : {&deep, &list}) {
        const std::string file = dir / "doc.xml";
        writeXml(*source, file);
        const TXmlCut cut = FindXmlCut(file, test::ReadFile(file).size() / 2);
        ASSERT_NE(cut.at, 0u);
        EXPECT_EQ(cut.openTags.starts_with("<fileinfo"), true);
        // Below the top and some of the nested folders; between the top-level entries of the list.
        EXPECT_EQ(std::count(cut.openTags.begin(), cut.openTags.end(), '<'), source == &deep ? 17 : 1);
        TNodeTree whole, parts;
        detail::SetXmlSplitThreshold(UINT64_MAX);
        ReadCatalogFile(whole, file);
        detail::SetXmlSplitThreshold(0);
        ReadCatalogFile(parts, file);
        expectSameFields(whole, parts);

        // A fault in the second part is told the same way.
        std::string text = test::ReadFile(file);
        const std::size_t late = text.rfind("FileSize=\"");
        text.replace(late, 10, "FileSize=\"-");
        test::WriteFile(file, text);
        std::string one, two;
        detail::SetXmlSplitThreshold(UINT64_MAX);
        try {
            ReadCatalogFile(whole, file);
        } catch (const TCatalogFileError &e) {
            one = e.what();
        }
        detail::SetXmlSplitThreshold(0);
        try {
            ReadCatalogFile(parts, file);
        } catch (const TCatalogFileError &e) {
            two = e.what();
        }
        EXPECT_NE(one.find("is negative"), std::string::npos) << one;
        EXPECT_EQ(one, two);
    }
}

TEST_F(CatalogRoundTripTest, ScanToNcduJsonAndBackKeepsNamesKindsSizesAndWriteTimes)
{
    const std::string root = makeFolder(dir);
    ScanOptions options;
    // A folder that could not be read is marked as one in the file too.
    options.denyFolder = [](std::string_view path) { return path.ends_with("/empty/"); };
    TNodeTree scanned;
    ScanFolder(scanned, root, options);
    const std::string file = dir / "catalog.json";
    WriteNcduJson(scanned, file);

    for (SizeKind kind : {SizeKind::Apparent, SizeKind::DiskUsage}) {
        ApplyCountingChoices(scanned, kind, false);
        CatalogReadOptions read;
        read.choices.sizeKind = kind;
        TNodeTree opened;
        ReadCatalogFile(opened, file, read);
        ASSERT_EQ(opened.NodeCount(), scanned.NodeCount());
        for (NodeId m = scanned.First(), n = opened.First(); m != kNoNode; m = scanned.Next(m), n = opened.Next(n)) {
            const std::string path = scanned.PathBytes(m);
            EXPECT_EQ(opened.PathBytes(n), path) << "names keep their bytes";
            EXPECT_EQ(opened.Field(n, FileType), scanned.Field(m, FileType)) << path;
            EXPECT_EQ(opened.Data(n).size, scanned.Data(m).size) << path;
            EXPECT_EQ(opened.Data(n).otherSize, scanned.Data(m).otherSize) << path;
            EXPECT_EQ(opened.Field(n, FileSize), scanned.Field(m, FileSize)) << path;
            // The format's times start in 1970: an older one is not written.
            const bool before1970 = path.ends_with("/old.txt");
            if (m != scanned.First())
                EXPECT_EQ(opened.Field(n, WriteTime), before1970 ? "" : scanned.Field(m, WriteTime)) << path;
            EXPECT_EQ(opened.Data(n).flags & TFileNodeData::Unreadable, scanned.Data(m).flags & TFileNodeData::Unreadable)
                << path;
        }
        // The two names of one file are one file again.
        const auto &links = opened.FindNotes()->links;
        ASSERT_EQ(links.size(), 2u);
        EXPECT_EQ(links[0].Inode(), links[1].Inode());
        EXPECT_EQ(links[0].device, scanned.FindNotes()->links[0].device);
    }
}

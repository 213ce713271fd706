#include <gtest/gtest.h>

#include "ExportFixture.h"
#include "export/FileInfo.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace folvane;
using namespace folvane::test;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>";
const std::string kRootStart = "<fileinfo generated=\"https://www.folvane.org/\"";

class XmlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetForms(TextForms::EnUs());
        BuildFixture(tree);
        info.Doc = &doc;
    }
    // The bytes SaveDocument writes, from the bound tree or through the document's elements.
    std::string saved(const TNodeTree &t, bool buildElements)
    {
        TFileInfo worker;
        worker.Doc = &doc;
        worker.ResetDocument();
        worker.BuildFromTree(t);
        EXPECT_TRUE(worker.Deferred());
        if (buildElements) {
            worker.DocumentRoot();
            EXPECT_FALSE(worker.Deferred());
        }
        std::string path = dir / "saved.xml";
        worker.SaveDocument(path);
        return ReadFile(path);
    }

    TempDir dir;
    TNodeTree tree;
    TXmlDocument doc;
    TFileInfo info;
};

} // namespace

TEST_F(XmlTest, TemplateIsOneLine)
{
    EXPECT_EQ(CatalogTemplate(), "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?> " + kRootStart +
                                     "></fileinfo>");
}

// Written straight from the tree or through the XML layer, the file is the same.
TEST_F(XmlTest, StreamedBytesEqualTheXmlLayers)
{
    TNodeTree empty;
    for (const TNodeTree *t : {&tree, &empty}) {
        std::string streamed = saved(*t, false);
        std::string layered = saved(*t, true);
        EXPECT_EQ(streamed, layered);
    }
    EXPECT_EQ(saved(empty, false), kDeclaration + kRootStart + "/>");
}

TEST_F(XmlTest, DocumentBytesOfASmallTree)
{
    TNodeTree t;
    NodeId top = t.AddTopLevel();
    t.SetField(top, FileName, "a<b");
    t.SetField(top, FileType, "folder");
    NodeId child = t.AddChild(top);
    t.SetField(child, FileName, "x&\"y\">\tz");
    t.SetField(child, FileSize, "12");
    t.SetField(child, Description, "two\r\nlines");
    NodeId second = t.AddTopLevel();
    (void)second; // no fields at all
    std::string expected = kDeclaration + kRootStart + ">" +
                           "<file FileName=\"a&lt;b\" FileType=\"folder\">"
                           "<file FileName=\"x&amp;&quot;y&quot;>&#09;z\" FileSize=\"12\" Description=\"two&#13;&#10;lines\"/>"
                           "</file><file/></fileinfo>";
    EXPECT_EQ(saved(t, false), expected);
    EXPECT_EQ(saved(t, true), expected);
}

TEST_F(XmlTest, ElementsMirrorTheNodes)
{
    info.Columns = {"File Name"}; // the document carries every field whatever the columns
    info.ResetDocument();
    info.BuildFromTree(tree);
    TXmlElement root = info.DocumentRoot();
    EXPECT_EQ(root.NodeName(), "fileinfo");
    EXPECT_EQ(root.Attribute("generated"), "https://www.folvane.org/");
    EXPECT_EQ(TFileInfo::CountEntries(root), FixtureEntries().size());
    EXPECT_EQ(info.CountEntries(), FixtureEntries().size());
    ASSERT_EQ(root.ChildCount(), 2);

    TXmlElement docs = root.ChildAt(0);
    EXPECT_EQ(docs.NodeName(), "file");
    const std::string start = "<file FileName=\"docs\" FullPath=\"/data/docs\" FileSize=\"3584\" FileType=\"folder\" "
                              "SizePercentage=\"100.00\" CreateTime=\"1/2/2024 3:04:05 PM\" DOSName=\"docs\" FileCount=\"4\">";
    EXPECT_EQ(docs.Serialize().substr(0, start.size()), start); // the fields in record order
    EXPECT_EQ(docs.ChildCount(), 3);
    EXPECT_EQ(docs.ChildAt(1).Attribute("FileName"), "sub, \"q\"");
    EXPECT_EQ(docs.ChildAt(1).ChildAt(0).Attribute("FileName"), "line\nbreak.txt");
    EXPECT_EQ(docs.ChildAt(1).ChildAt(0).Attribute("FileType"), "file");
    // A node without any field: an element without attributes, its child still under it.
    TXmlElement bare = root.ChildAt(1);
    EXPECT_FALSE(bare.Node().first_attribute());
    EXPECT_EQ(bare.ChildCount(), 1);
    EXPECT_EQ(bare.ChildAt(0).Attribute("FileName"), "orphan");
}

TEST_F(XmlTest, ExportsInARowAreIndependent)
{
    ScriptedUi ui;
    info.ResetDocument();
    info.BuildFromTree(tree);
    info.DocumentRoot(); // the elements of the first catalogue are built into the shared document
    ui.saveAnswers.push_back(dir / "first.xml");
    ASSERT_TRUE(info.ExportXml(""));
    EXPECT_NE(ReadFile(dir / "first.xml").find("Grüße.dat"), std::string::npos);

    TNodeTree other;
    BuildFlat(other, 2);
    TFileInfo next;
    next.Doc = &doc;
    next.ResetDocument();
    next.BuildFromTree(other);
    ui.saveAnswers.push_back(dir / "second.xml");
    ASSERT_TRUE(next.ExportXml(""));
    std::string second = ReadFile(dir / "second.xml");
    EXPECT_EQ(second, kDeclaration + kRootStart + "><file FileName=\"top\" FileType=\"folder\">"
                                                   "<file FileName=\"f0\" FileSize=\"0\"/><file FileName=\"f1\" FileSize=\"1\"/>"
                                                   "</file></fileinfo>");

    // Even without a reset, building from a tree drops what the document held.
    TFileInfo third;
    third.Doc = &doc;
    third.BuildFromTree(other);
    third.SaveDocument(dir / "third.xml");
    EXPECT_EQ(ReadFile(dir / "third.xml"), second);
}

TEST_F(XmlTest, ExportPromptsAndShowsProgress)
{
    ScriptedUi ui;
    info.ResetDocument();
    info.BuildFromTree(tree);
    EXPECT_EQ(ui.waitLog, (std::vector<std::string>{"show", "text:Gathering info..", "hide"}));
    EXPECT_FALSE(info.ExportXml("start")); // cancelled
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].defaultExtension, ".xml");
    EXPECT_EQ(ui.saveRequests[0].filter, "XML File|*.XML");
    EXPECT_EQ(ui.saveRequests[0].initialName, "start");
    EXPECT_EQ(ui.waitLog.size(), 3u);

    ui.saveAnswers.push_back(dir / "c.xml");
    ASSERT_TRUE(info.ExportXml(""));
    EXPECT_EQ(ui.waitLog, (std::vector<std::string>{"show", "text:Gathering info..", "hide", "show",
                                                    "text:Export to file..", "hide"}));
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"c.xml"});
    EXPECT_TRUE(info.Deferred()); // written from the tree: no element was built for it
}

// Control characters cannot be carried by XML 1.0; they become U+FFFD, tab and line breaks stay.
TEST_F(XmlTest, ControlCharactersAreReplaced)
{
    TNodeTree t;
    NodeId n = t.AddTopLevel();
    t.SetField(n, FileName, std::string("bell\x07\x1b.txt"));
    for (bool build : {false, true})
        EXPECT_EQ(saved(t, build), kDeclaration + kRootStart + "><file FileName=\"bell\xEF\xBF\xBD\xEF\xBF\xBD.txt\"/></fileinfo>");
}

// An XML parser reads every entry back: its nesting and each field as an attribute.
TEST_F(XmlTest, PythonXmlParserReadsTheCatalogue)
{
    ScriptedUi ui;
    info.ResetDocument();
    info.BuildFromTree(tree);
    std::string path = dir / "fixture.xml";
    ui.saveAnswers.push_back(path);
    ASSERT_TRUE(info.ExportXml(""));
    std::string script = std::string("import sys, xml.etree.ElementTree as ET\n") + kPythonHex +
                         "root = ET.parse(sys.argv[1]).getroot()\n"
                         "assert root.tag == 'fileinfo', root.tag\n"
                         "def walk(e, depth):\n"
                         "    for c in e:\n"
                         "        assert c.tag == 'file', c.tag\n"
                         "        print('\\t'.join([hx(str(depth))] + [hx(k + '=' + v) for k, v in c.attrib.items()]))\n"
                         "        walk(c, depth + 1)\n"
                         "walk(root, 0)\n";
    auto rows = DecodeRows(RunPython(script, {path}));
    ASSERT_EQ(rows.size(), FixtureEntries().size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        int depth = 0;
        for (int p = FixtureEntries()[i].parent; p >= 0; p = FixtureEntries()[std::size_t(p)].parent)
            ++depth;
        std::vector<std::string> expected = {std::to_string(depth)};
        for (int field = 0; field < kFieldCount; ++field) {
            std::string v = FixtureValue(i, field);
            if (v.empty())
                continue;
            std::string name;
            for (char c : FieldNames[std::size_t(field)])
                if (c != ' ')
                    name += c;
            expected.push_back(name + "=" + v);
        }
        EXPECT_EQ(rows[i], expected) << "entry " << i;
    }
}

#include "config/XmlDocument.h"

#include <gtest/gtest.h>

#include "ConfigTestFiles.h"
#include "support/TempDir.h"

namespace folvane {
namespace {

using testing::ReadText;
using TestDir = test::TempDir;
using testing::WriteText;

constexpr std::uint64_t kLimit = 1 << 20; // far above every file read here

constexpr std::string_view kCatalogTemplate =
    R"(<?xml version="1.0" encoding="utf-8" standalone="yes" ?> <fileinfo generated="https://folvane.example/"></fileinfo>)";

TEST(XmlDocument, LoadDropsLayoutWhitespaceAndKeepsStructure)
{
    TestDir dir;
    WriteText(dir / "a.xml", "<?xml version=\"1.0\"?>\n<a x=\"1\">\n  <b/>\n  <!-- note -->\n  <c y=\"&lt;&amp;\">\n    <d/>\n  </c>\n</a>\n");
    TXmlDocument doc;
    doc.LoadFromFile(dir / "a.xml", kLimit);
    TXmlElement root = doc.DocumentElement();
    EXPECT_EQ(root.NodeName(), "a");
    EXPECT_EQ(root.Serialize(), "<a x=\"1\"><b/><!-- note --><c y=\"&lt;&amp;\"><d/></c></a>");
    EXPECT_EQ(root.ChildCount(), 2); // the comment is not an element
    EXPECT_EQ(root.ChildName(0), "b");
    EXPECT_EQ(root.ChildName(1), "c");
    EXPECT_EQ(root.ChildAt(1).Attribute("y"), "<&");
    EXPECT_EQ(doc.LineOf(root.ChildAt(1)), 5);
    EXPECT_FALSE(root.ChildAt(0).HasChildNodes());
    EXPECT_TRUE(root.ChildAt(1).HasChildNodes());
}

TEST(XmlDocument, ParseFailuresCarryReasonLineColumnAndExcerpt)
{
    struct Case {
        const char *name;
        std::string text;
        int line, column;
        std::string excerpt;
    } cases[] = {
        {"empty file", "", 1, 1, ""},
        {"not XML", "just some words", 1, 1, "just some words"},
        {"unclosed element", "<a>\n  <b>\n  <c/>\n</a>\n", 4, 3, "</a>"},
        {"bad attribute", "<a>\n<b x=1/>\n</a>", 2, 6, "<b x=1/>"},
        {"two roots", "<a/>\r\n<b/>\r\n", 2, 1, "<b/>"},
        // pugixml alone loads this one: the strict check refuses it.
        {"duplicate attribute", "<a>\n<b x=\"1\" x=\"2\"/>\n</a>", 2, 10, "<b x=\"1\" x=\"2\"/>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        WriteText(dir / "f.xml", c.text);
        TXmlDocument doc;
        try {
            doc.LoadFromFile(dir / "f.xml", kLimit);
            ADD_FAILURE() << "no parse error";
        } catch (const TXmlParseError &e) {
            EXPECT_EQ(e.Source(), dir / "f.xml");
            EXPECT_FALSE(e.Reason().empty());
            EXPECT_EQ(e.Line(), c.line);
            EXPECT_EQ(e.Column(), c.column);
            EXPECT_EQ(e.Excerpt(), c.excerpt);
            EXPECT_NE(std::string(e.what()).find("line " + std::to_string(c.line) + ", column " +
                                                 std::to_string(c.column)),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST(XmlDocument, UnreadableFileIsAnError)
{
    TestDir dir;
    TXmlDocument doc;
    EXPECT_THROW(doc.LoadFromFile(dir / "missing.xml", kLimit), TXmlFileError);
    try {
        doc.LoadFromFile(dir.Path(), kLimit);
        ADD_FAILURE() << "a folder was read";
    } catch (const TXmlFileError &e) {
        EXPECT_EQ(e.Reason(), "a folder, not a regular file");
        EXPECT_EQ(std::string(e.what()), "Cannot read \"" + dir.Path() + "\": a folder, not a regular file");
    }
}

TEST(XmlDocument, FileOfMoreThanTheLimitIsNotRead)
{
    TestDir dir;
    WriteText(dir / "ten.xml", "<a>123</a>");
    WriteText(dir / "eleven.xml", "<a>1234</a>");
    TXmlDocument doc;
    doc.LoadFromFile(dir / "ten.xml", 10);
    EXPECT_EQ(doc.DocumentElement().Serialize(), "<a>123</a>");
    try {
        doc.LoadFromFile(dir / "eleven.xml", 10);
        ADD_FAILURE() << "the file was read";
    } catch (const TXmlFileError &e) {
        EXPECT_EQ(e.Reason(), "larger than 10 bytes (11 bytes)");
    }
    EXPECT_EQ(doc.DocumentElement().Serialize(), "<a>123</a>") << "a refused file changes nothing";
}

TEST(XmlDocument, SetXmlReplacesEverythingAndParsesOnNextUse)
{
    TXmlDocument doc;
    doc.SetXml(std::string(kCatalogTemplate));
    EXPECT_FALSE(doc.Active());
    TXmlElement root = doc.DocumentElement();
    EXPECT_TRUE(doc.Active());
    root.AppendChild("file").SetAttribute("FileName", "old");

    doc.SetXml(std::string(kCatalogTemplate));
    EXPECT_FALSE(doc.Active());
    root = doc.DocumentElement();
    EXPECT_FALSE(root.HasChildNodes());
    EXPECT_EQ(root.Attribute("generated"), "https://folvane.example/");

    doc.SetXml("<broken>");
    EXPECT_THROW(doc.DocumentElement(), TXmlParseError);
    doc.SetXml("<r/>trailing"); // loaded by pugixml, not XML
    EXPECT_THROW(doc.DocumentElement(), TXmlParseError);
    EXPECT_THROW(doc.DocumentElement(), TXmlParseError); // stays inactive, fails alike
    doc.SetXml("");
    EXPECT_THROW(doc.DocumentElement(), TXmlError);
}

TEST(XmlDocument, ChildElementFindsFirstOrAppends)
{
    TXmlDocument doc;
    doc.SetXml("<r><x n=\"1\"/><y/><x n=\"2\"/></r>");
    TXmlElement r = doc.DocumentElement();
    EXPECT_EQ(r.ChildElement("x").Attribute("n"), "1");
    EXPECT_FALSE(r.FindChild("z"));
    EXPECT_EQ(r.ChildCount(), 3);
    TXmlElement z = r.ChildElement("z");
    EXPECT_EQ(r.ChildCount(), 4);
    EXPECT_EQ(r.ChildAt(3), z);
    EXPECT_EQ(r.ChildElement("z"), z); // found now, not appended again
    EXPECT_EQ(r.Serialize(), "<r><x n=\"1\"/><y/><x n=\"2\"/><z/></r>");
}

TEST(XmlDocument, ChildrenByIndexIterationAndRemoval)
{
    TXmlDocument doc;
    doc.SetXml("<r>text<a/><!--c--><b/><?pi x?><c/></r>");
    TXmlElement r = doc.DocumentElement();
    EXPECT_EQ(r.ChildCount(), 3);
    std::string names;
    for (TXmlElement e = r.FirstChild(); e; e = e.NextSibling())
        names += e.NodeName();
    EXPECT_EQ(names, "abc");
    EXPECT_THROW(r.ChildAt(3), TXmlError);
    EXPECT_THROW(r.ChildAt(-1), TXmlError);

    EXPECT_TRUE(r.RemoveChild(r.ChildAt(1)));
    EXPECT_FALSE(r.RemoveChild(r)); // not its own child
    EXPECT_EQ(r.ChildName(1), "c");
    EXPECT_EQ(r.InsertChildBefore("n", r.ChildAt(1)).NodeName(), "n");
    EXPECT_EQ(r.ChildName(1), "n");

    r.RemoveAllChildren();
    EXPECT_EQ(r.ChildCount(), 0);
    EXPECT_FALSE(r.HasChildNodes());

    doc.SetXml("<r><!--only a comment--></r>");
    EXPECT_TRUE(doc.DocumentElement().HasChildNodes());
    EXPECT_EQ(doc.DocumentElement().ChildCount(), 0);
}

TEST(XmlDocument, AttributeReadsWritesAndEscaping)
{
    TXmlDocument doc;
    doc.SetXml("<r a=\"1\"/>");
    TXmlElement r = doc.DocumentElement();

    // A plain read of a missing attribute leaves the document as it was.
    EXPECT_EQ(r.Attribute("b"), "");
    EXPECT_FALSE(r.HasAttribute("b"));
    EXPECT_EQ(r.Serialize(), "<r a=\"1\"/>");

    // The binding's read adds it, empty.
    EXPECT_EQ(r.ReadAttributeAddingMissing("b"), "");
    EXPECT_TRUE(r.HasAttribute("b"));
    EXPECT_EQ(r.ReadAttributeAddingMissing("a"), "1");
    EXPECT_EQ(r.Serialize(), "<r a=\"1\" b=\"\"/>");

    r.SetAttribute("a", "x<y & \"z\" > 'w'");
    r.SetAttribute("c", "Grüße ✓");
    EXPECT_EQ(r.Attribute("a"), "x<y & \"z\" > 'w'");
    const std::string saved = r.Serialize();
    EXPECT_EQ(saved.find('<', 1), std::string::npos) << saved;
    doc.SetXml(saved);
    EXPECT_EQ(doc.DocumentElement().Attribute("a"), "x<y & \"z\" > 'w'");
    EXPECT_EQ(doc.DocumentElement().Attribute("c"), "Grüße ✓");
}

TEST(XmlDocument, SaveWritesTheDeclarationOfItsTextInUtf8)
{
    TestDir dir;
    TXmlDocument doc;
    doc.SetXml(std::string(kCatalogTemplate));
    TXmlElement folder = doc.DocumentElement().AppendChild("file");
    folder.SetAttribute("FileName", "Übersicht & <Plan>");
    folder.AppendChild("file").SetAttribute("FileType", "file");
    doc.SaveToFile(dir / "out.xml");

    const std::string text = ReadText(dir / "out.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>", 0), 0u) << text;
    EXPECT_EQ(text.find('\n'), std::string::npos) << "no indentation or line breaks added";
    EXPECT_NE(text.find("\xC3\x9C" "bersicht &amp; &lt;Plan"), std::string::npos) << text;

    TXmlDocument back;
    back.LoadFromFile(dir / "out.xml", kLimit);
    TXmlElement root = back.DocumentElement();
    ASSERT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(root.ChildAt(0).Attribute("FileName"), "Übersicht & <Plan>");
    EXPECT_EQ(root.ChildAt(0).ChildAt(0).Attribute("FileType"), "file");
}

TEST(XmlDocument, FailedSaveIsAnErrorAndLeavesTheOldFile)
{
    TestDir dir;
    TXmlDocument doc;
    doc.SetXml("<r/>");
    EXPECT_THROW(doc.SaveToFile(dir / "no-such-folder/out.xml"), TXmlError);

    // The target is a folder: the new text cannot replace it, and it stays as it was.
    std::filesystem::create_directory(dir / "target");
    WriteText(dir / "target/keep", "kept");
    EXPECT_THROW(doc.SaveToFile(dir / "target"), TXmlError);
    EXPECT_EQ(ReadText(dir / "target/keep"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no temporary file left";
}

} // namespace
} // namespace folvane

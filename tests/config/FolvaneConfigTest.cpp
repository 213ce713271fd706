#include "config/FolvaneConfig.h"

#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "ConfigTestFiles.h"
#include "support/TempDir.h"
#include "catalog/FileNodeData.h"

namespace folvane {
namespace {

using TestDir = test::TempDir;
using testing::WriteText;

struct Column {
    std::string name;
    bool visible;
    bool defaultExport;
    int width;
    bool readOnly;
    std::string align;
};

// The fifteen columns of the built-in configuration, in entry order (Index equals the position).
const std::vector<Column> kDefaultColumns = {
    {"File Name", true, true, 172, true, "left"},
    {"Full Path", true, true, 173, true, "left"},
    {"File Size", true, true, 84, false, "right"},
    {"Size Percentage", true, false, 100, false, "right"},
    {"DOS Name", true, true, 80, true, "left"},
    {"File Ext", true, true, 66, true, "right"},
    {"File Type", false, true, 66, true, "left"},
    {"Description", false, true, 124, true, "left"},
    {"File Name Length", false, false, 100, true, "right"},
    {"Path Name Length", false, false, 100, true, "right"},
    {"Catalog Name", false, true, 80, true, "left"},
    {"Create Time", true, true, 80, true, "left"},
    {"Access Time", true, true, 80, true, "left"},
    {"Write Time", true, true, 80, true, "left"},
    {"File Count", true, true, 80, true, "left"},
};

void ExpectDefaultValues(const TXMLConfigType &config)
{
    EXPECT_EQ(config.VersionNo(), 2);
    TXMLNodesType nodes = config.Nodes();
    ASSERT_EQ(nodes.Count(), int(kDefaultColumns.size()));
    for (int i = 0; i < nodes.Count(); ++i) {
        SCOPED_TRACE(i);
        const Column &c = kDefaultColumns[std::size_t(i)];
        TXMLNodeType node = nodes.Node(i);
        EXPECT_EQ(node.Name(), c.name);
        EXPECT_EQ(node.Visible(), c.visible);
        EXPECT_EQ(node.Index(), i);
        EXPECT_EQ(node.DefaultExport(), c.defaultExport);
        EXPECT_EQ(node.Width(), c.width);
        EXPECT_EQ(node.ReadOnly(), c.readOnly);
        EXPECT_EQ(node.Align(), c.align);
        // Every column shows a record field of that name.
        EXPECT_NE(std::find(FieldNames.begin(), FieldNames.end(), node.Name()), FieldNames.end());
    }

    auto items = [](const TXMLItemCollection &list) {
        std::vector<std::pair<std::string, int>> out;
        for (int i = 0; i < list.Count(); ++i)
            out.emplace_back(list.Item(i).Label(), list.Item(i).Value());
        return out;
    };
    using L = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(items(config.Agerange()),
              (L{{"one day", 1}, {"three days", 3}, {"one week", 7}, {"one month", 30}, {"one year", 365}}));
    EXPECT_EQ(items(config.Sizerange()), (L{{"10KB", 10000},
                                            {"100KB", 100000},
                                            {"1MB", 1000000},
                                            {"10MB", 10000000},
                                            {"100MB", 100000000},
                                            {"1G", 1000000000}}));

    TXMLFrameType frame = config.Frame();
    EXPECT_TRUE(frame.Max());
    EXPECT_EQ(frame.Left(), "0");
    EXPECT_EQ(frame.Top(), "0");
    EXPECT_EQ(frame.Height(), 600);
    EXPECT_EQ(frame.Width(), 800);
    EXPECT_EQ(frame.PlLeft().Width(), 308);
    EXPECT_EQ(frame.PlLeft().Col3(), 76);
    EXPECT_EQ(frame.PlHint().Height(), 262);
    EXPECT_EQ(frame.PlHint().Col2(), 139);
}

TEST(DefaultConfig, TextIsOneDeclaredLineOf2547Bytes)
{
    EXPECT_EQ(kDefaultConfigText.size(), 2547u);
    EXPECT_EQ(kDefaultConfigText.find_first_of("\r\n"), std::string_view::npos);
    EXPECT_TRUE(kDefaultConfigText.starts_with("<?xml version=\"1.0\" encoding=\"utf-8\"?><config versionNo=\"2\">\t<frame "));
    EXPECT_TRUE(kDefaultConfigText.ends_with("\"/>       </sizerange></config>"));
    EXPECT_TRUE(std::all_of(kDefaultConfigText.begin(), kDefaultConfigText.end(),
                            [](char c) { return (unsigned char)c < 0x80; }));
    // The age boundaries are written with a decimal point and still read as whole days.
    EXPECT_NE(kDefaultConfigText.find("<item label=\"one day\" value=\"1.0\"/>"), std::string_view::npos);
    EXPECT_NE(kDefaultConfigText.find("<item label=\"three days\" value=\"3.0\"/>"), std::string_view::npos);
}

TEST(DefaultConfig, ReadsAsTheBuiltInColumnsAndClasses)
{
    auto config = ConfigFromText(std::string(kDefaultConfigText));
    ExpectDefaultValues(*config);
}

TEST(DefaultConfig, SavedFormIsOneLineWithoutDeclarationAndReloadsAlike)
{
    auto config = ConfigFromText(std::string(kDefaultConfigText));
    const std::string saved = config->Xml();
    EXPECT_TRUE(saved.starts_with("<config versionNo=\"2\"><frame "));
    EXPECT_EQ(saved.find_first_of("\r\n\t"), std::string::npos);
    auto again = ConfigFromText(saved);
    ExpectDefaultValues(*again);
    EXPECT_EQ(again->Xml(), saved);
}

TEST(ConfigConversion, Integers)
{
    struct Case {
        const char *text;
        std::optional<int> value;
    } cases[] = {
        {"0", 0},          {"172", 172},       {"-7", -7},      {"1.0", 1},         {"3.0", 3},
        {" 42 ", 42},      {"+5", 5},          {"2.4", 2},      {"2.5", 3},         {"-2.5", -3},
        {"1e3", 1000},     {"2147483647", INT32_MAX},           {"-2147483648", INT32_MIN},
        {"2147483648", {}}, {"1e10", {}},      {"", {}},        {" ", {}},          {"abc", {}},
        {"1,0", {}},       {"12px", {}},       {"0x10", {}},    {"nan", {}},        {"inf", {}},
        {"True", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ParseConfigInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(ConfigConversion, Booleans)
{
    struct Case {
        const char *text;
        std::optional<bool> value;
    } cases[] = {
        {"True", true},   {"true", true},   {"TRUE", true},  {"tRuE", true},  {"1", true},
        {"-1", true},     {"2", true},      {"0.5", true},   {"False", false}, {"false", false},
        {"FALSE", false}, {"0", false},     {"0.0", false},  {"", {}},        {"yes", {}},
        {"T", {}},        {"on", {}},       {"Truee", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ParseConfigBool(c.text), c.value) << '"' << c.text << '"';
    EXPECT_EQ(FormatConfigBool(true), "True");
    EXPECT_EQ(FormatConfigBool(false), "False");
}

TEST(ConfigBinding, WritesUseTheFileForms)
{
    auto config = ConfigFromText(std::string(kDefaultConfigText));
    TXMLNodeType node = config->Nodes().Node(2);
    node.SetVisible(false);
    node.SetWidth(-12);
    node.SetIndex(7);
    EXPECT_NE(config->Xml().find("<node Name=\"File Size\" Visible=\"False\" Index=\"7\" DefaultExport=\"True\" "
                                 "Width=\"-12\" ReadOnly=\"False\" Align=\"right\"/>"),
              std::string::npos);
    EXPECT_FALSE(node.Visible());
    EXPECT_EQ(node.Width(), -12);
}

TEST(ConfigBinding, MissingPiecesAreAddedAndSaved)
{
    // No frame, no nodes, no versionNo; an empty agerange.
    auto config = ConfigFromText("<config><agerange/><sizerange><item label=\"1MB\" value=\"1000000\"/></sizerange></config>");
    EXPECT_EQ(config->Nodes().Count(), 0);
    EXPECT_EQ(config->Agerange().Count(), 0);
    EXPECT_EQ(config->Sizerange().Item(0).Value(), 1000000);
    EXPECT_THROW(config->Nodes().Node(0), TXmlError);
    // Carried values that are missing cannot be read, but asking does no harm to the rest.
    EXPECT_THROW(config->Frame().PlLeft().Width(), TConvertError);
    EXPECT_EQ(config->Xml(), "<config><agerange/><sizerange><item label=\"1MB\" value=\"1000000\"/></sizerange>"
                             "<nodes/><frame><plLeft width=\"\"/></frame></config>");
}

TEST(ConfigBinding, ScanOptionsAreAnElementOfTheirOwnAddedWhenMissing)
{
    // The default text has none: reading gives the defaults and adds the element, flags written.
    auto config = ConfigFromText(std::string(kDefaultConfigText));
    EXPECT_EQ(config->Xml().find("scanoptions"), std::string::npos);
    EXPECT_EQ(config->ScanOptions().Choices(), ScanChoices{});
    EXPECT_TRUE(config->Xml().ends_with("</sizerange><scanoptions DiskUsage=\"False\" HardLinksOnce=\"False\" "
                                        "OneFileSystem=\"False\"/></config>"))
        << config->Xml();

    // Every choice comes back from the saved text, patterns with markup, blanks and tabs included.
    ScanChoices choices;
    choices.sizeKind = SizeKind::DiskUsage;
    choices.hardLinksOnce = true;
    choices.oneFileSystem = true;
    choices.exclude = {"*.o", "a&b<c>\"d'", " lead", "tab\there", "build/", "K\xC3\xA4se*"};
    config->ScanOptions().SetChoices(choices);
    auto again = ConfigFromText(config->Xml());
    EXPECT_EQ(again->ScanOptions().Choices(), choices);
    EXPECT_EQ(again->ScanOptions().Count(), 6);
    // Setting fewer patterns drops the others.
    choices.exclude = {"core"};
    again->ScanOptions().SetChoices(choices);
    EXPECT_EQ(ConfigFromText(again->Xml())->ScanOptions().Choices().exclude, std::vector<std::string>{"core"});

    // A flag that is not a boolean fails like any boolean; an empty one reads as False.
    EXPECT_THROW(ConfigFromText("<config><scanoptions HardLinksOnce=\"often\"/></config>")->ScanOptions().Choices(),
                 TConvertError);
    EXPECT_FALSE(ConfigFromText("<config><scanoptions OneFileSystem=\"\"/></config>")->ScanOptions().OneFileSystem());
    EXPECT_TRUE(ConfigFromText("<config><scanoptions OneFileSystem=\"1\"/></config>")->ScanOptions().OneFileSystem());
}

TEST(ConfigBinding, NodeWithoutNameOrWidth)
{
    auto config = ConfigFromText("<config><nodes><node Visible=\"True\" Index=\"0\"/>"
                                 "<node Name=\"File Size\" Width=\"\" Visible=\"yes\"/></nodes></config>");
    TXMLNodeType first = config->Nodes().Node(0);
    EXPECT_EQ(first.Name(), "");
    EXPECT_TRUE(first.Element().HasAttribute("Name")); // added, empty
    try {
        first.Width();
        ADD_FAILURE() << "no conversion error";
    } catch (const TConvertError &e) {
        EXPECT_EQ(e.ElementName(), "node");
        EXPECT_EQ(e.AttributeName(), "Width");
        EXPECT_EQ(e.Text(), "");
    }
    TXMLNodeType second = config->Nodes().Node(1);
    EXPECT_THROW(second.Width(), TConvertError);
    EXPECT_THROW(second.Visible(), TConvertError);
    EXPECT_EQ(second.Name(), "File Size");
}

TEST(ConfigBinding, CollectionsCountOnlyTheirItemTag)
{
    auto config = ConfigFromText("<config><nodes><!-- columns --><node Name=\"a\"/><column Name=\"x\"/>"
                                 "<node Name=\"b\"/><item Name=\"y\"/><node Name=\"c\"/></nodes>"
                                 "<agerange><node label=\"n\" value=\"5\"/><item label=\"i\" value=\"9\"/></agerange></config>");
    TXMLNodesType nodes = config->Nodes();
    ASSERT_EQ(nodes.Count(), 3);
    EXPECT_EQ(nodes.Node(0).Name(), "a");
    EXPECT_EQ(nodes.Node(1).Name(), "b");
    EXPECT_EQ(nodes.Node(2).Name(), "c");
    EXPECT_THROW(nodes.Node(3), TXmlError);
    ASSERT_EQ(config->Agerange().Count(), 1);
    EXPECT_EQ(config->Agerange().Item(0).Value(), 9);

    // Editing the collection touches only items; the comment and foreign elements stay put.
    nodes.Insert(1).SetName("ins");
    nodes.Add().SetName("end");
    EXPECT_EQ(nodes.Remove(nodes.Node(0).Element()), 0);
    EXPECT_EQ(nodes.Remove(nodes.Element().FindChild("column")), -1);
    nodes.Delete(1); // "b"
    std::vector<std::string> names;
    for (int i = 0; i < nodes.Count(); ++i)
        names.push_back(nodes.Node(i).Name());
    EXPECT_EQ(names, (std::vector<std::string>{"ins", "c", "end"}));
    nodes.Clear();
    EXPECT_EQ(nodes.Count(), 0);
    EXPECT_EQ(nodes.Element().Serialize(), "<nodes><!-- columns --><column Name=\"x\"/><item Name=\"y\"/></nodes>");
}

TEST(ConfigBinding, VersionNumberIsNotInterpreted)
{
    for (const char *text : {"<config versionNo=\"1\"><nodes><node Name=\"File Name\"/></nodes></config>",
                             "<config><nodes><node Name=\"File Name\"/></nodes></config>"}) {
        SCOPED_TRACE(text);
        auto config = ConfigFromText(text);
        EXPECT_EQ(config->Nodes().Node(0).Name(), "File Name");
        EXPECT_EQ(config->Xml(), text); // saved as it was
    }
}

TEST(ConfigBinding, LoadRequiresAConfigRoot)
{
    TestDir dir;
    WriteText(dir / "indented.xml", "<?xml version=\"1.0\"?>\n<config versionNo=\"2\">\n  <nodes>\n    <node Name=\"a\"/>\n  </nodes>\n</config>\n");
    auto config = LoadConfig(dir / "indented.xml");
    EXPECT_EQ(config->Xml(), "<config versionNo=\"2\"><nodes><node Name=\"a\"/></nodes></config>");

    WriteText(dir / "other.xml", "<fileinfo><nodes/></fileinfo>");
    EXPECT_THROW(LoadConfig(dir / "other.xml"), TXmlError);
    WriteText(dir / "broken.xml", "<config>\n<nodes>\n</config>");
    EXPECT_THROW(LoadConfig(dir / "broken.xml"), TXmlParseError);
    EXPECT_THROW(LoadConfig(dir / "missing.xml"), TXmlError);
}

TEST(ConfigBinding, RootBindingKeepsTheDocumentAlive)
{
    TXMLNodeType node;
    std::shared_ptr<TXMLConfigType> keep;
    {
        auto config = ConfigFromText(std::string(kDefaultConfigText));
        keep = config;
        node = config->Nodes().Node(3);
    }
    EXPECT_EQ(node.Name(), "Size Percentage");
}

} // namespace
} // namespace folvane

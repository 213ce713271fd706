#include "config/XmlWellFormed.h"

#include <gtest/gtest.h>

#include "config/FolvaneConfig.h"

namespace folvane {
namespace {

// One node entry of the default text, the way both file forms hold it: on one long line.
const std::string kNode = "<node Name=\"File Size\" Visible=\"True\" Index=\"2\" DefaultExport=\"True\" "
                          "Width=\"84\" ReadOnly=\"False\" Align=\"right\"/>";

struct FaultCase {
    const char *name;
    std::string text;
    std::string reason;
    int line, column;
    std::string excerpt;
};

// Texts that are not XML; pugixml alone loads all but the last three of them.
const FaultCase kFaults[] = {
    {"content after the root", "<config><nodes/></config>junk", "junk after document element", 1, 26,
     "<config><nodes/></config>junk"},
    {"a second root on the next line", "<config/>\n<config/>", "junk after document element", 2, 1, "<config/>"},
    {"text before the root", "FolvaneConfig<config/>", "not well-formed (invalid token)", 1, 14,
     "FolvaneConfig<config/>"},
    {"duplicate attribute, deep in a long line",
     "<config versionNo=\"2\"><nodes>" + kNode + kNode + "<node Name=\"DOS Name\" Visible=\"True\" Visible=\"False\" "
     "Index=\"4\"/></nodes></config>",
     "duplicate attribute", 1, 291, "...ame=\"DOS Name\" Visible=\"True\" Visible=\"False\" Index=\"4\"/></n..."},
    {"bare ampersand", "<config><frame left=\"a & b\"/></config>", "not well-formed (invalid token)", 1, 25,
     "<config><frame left=\"a & b\"/></config>"},
    {"bare less-than in a value", "<config><frame left=\"a<b\"/></config>", "not well-formed (invalid token)", 1, 23,
     "<config><frame left=\"a<b\"/></config>"},
    {"undefined entity", "<config>\n\t<frame left=\"&nbsp;\"/>\n</config>", "undefined entity", 2, 2,
     " <frame left=\"&nbsp;\"/>"},
    {"declaration after a line break", "\n<?xml version=\"1.0\"?><config/>",
     "XML or text declaration not at start of entity", 2, 1, "<?xml version=\"1.0\"?><config/>"},
    {"declaration inside the root", "<config><?xml version=\"1.0\"?></config>", "XML or text declaration not at start of entity", 1, 9,
     "<config><?xml version=\"1.0\"?></config>"},
    {"entity declared in a document type", "<!DOCTYPE config [<!ENTITY w \"80\">]><config width=\"&w;\"/>",
     "document type declaration not supported", 1, 18, "<!DOCTYPE config [<!ENTITY w \"80\">]><config wid..."},
    {"unclosed element", "<config>\n  <nodes>\n</config>", "mismatched tag", 3, 3, "</config>"},
    {"empty text", "", "no element found", 1, 1, ""},
    {"characters beyond ASCII before the fault", "<config left=\"Größe\" & />", "not well-formed (invalid token)", 1,
     22, "<config left=\"Größe\" & />"},
};

TEST(XmlWellFormed, NotWellFormedTextsAreFoundWithLineColumnAndExcerpt)
{
    for (const FaultCase &c : kFaults) {
        SCOPED_TRACE(c.name);
        std::optional<TXmlFault> fault = FindXmlFault(c.text);
        ASSERT_TRUE(fault);
        EXPECT_EQ(fault->reason, c.reason);
        EXPECT_EQ(fault->line, c.line);
        EXPECT_EQ(fault->column, c.column);
        EXPECT_EQ(fault->excerpt, c.excerpt);
    }
}

TEST(XmlWellFormed, PiecesFindTheSameFaultAsTheWholeText)
{
    for (const FaultCase &c : kFaults) {
        for (std::size_t size : {std::size_t(1), std::size_t(7), std::size_t(64)}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(size));
            TXmlWellFormedCheck check;
            std::string_view rest = c.text;
            bool ok = true;
            while (ok && rest.size() > size) {
                ok = check.Feed(rest.substr(0, size), false);
                rest.remove_prefix(size);
            }
            if (ok)
                ok = check.Feed(rest, true);
            EXPECT_FALSE(ok);
            ASSERT_TRUE(check.Fault());
            EXPECT_EQ(check.Fault()->line, c.line);
            EXPECT_EQ(check.Fault()->column, c.column);
            // Only what has been fed can be quoted: the excerpt may end earlier after the fault.
            std::string_view excerpt = check.Fault()->excerpt;
            if (excerpt.ends_with("..."))
                excerpt.remove_suffix(3);
            EXPECT_TRUE(c.excerpt.starts_with(excerpt)) << excerpt;
            EXPECT_EQ(excerpt.empty(), c.excerpt.empty()) << excerpt;
            EXPECT_FALSE(check.Feed("<more/>", true)) << "a fault stays";
        }
    }
}

TEST(XmlWellFormed, BothFileFormsAndOrdinaryXmlPass)
{
    // The saved form, with texts that need escaping and characters beyond ASCII.
    std::shared_ptr<TXMLConfigType> config = ConfigFromText(std::string(kDefaultConfigText));
    config->Frame().SetLeft("a<b & \"c\" > 'd' Größe ✓");
    config->Nodes().Node(0).SetVisible(false);
    const std::string saved = config->Xml();

    const std::string texts[] = {
        std::string(kDefaultConfigText),
        saved,
        "\xEF\xBB\xBF<config/>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<config left=\"Gr\xF6\xDF" "e\"/>\r\n",
        "<!-- before --><config><![CDATA[<&>]]>&lt;&#38;&#x26;<?pi x?></config>\n<!-- after -->\n",
    };
    for (const std::string &text : texts) {
        SCOPED_TRACE(text);
        std::optional<TXmlFault> fault = FindXmlFault(text);
        EXPECT_FALSE(fault) << fault->reason << " at " << fault->line << ":" << fault->column;
    }
}

TEST(XmlWellFormed, ExcerptStaysOnItsLineAndCutsBetweenCharacters)
{
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"; // 62
    auto repeat = [](std::string_view s, int n) {
        std::string text;
        while (n-- > 0)
            text += s;
        return text;
    };
    // Four-byte characters before the fault and two-byte ones after it, so that 30 bytes on each
    // side end inside a character.
    const std::string emoji = repeat("\xF0\x9F\x98\x80", 10), umlauts = repeat("\xC3\xBC", 20);
    struct Case {
        const char *name;
        std::string text;
        std::size_t at;
        std::string excerpt;
    } cases[] = {
        {"short line, whole", "<a x='1'/>", 3, "<a x='1'/>"},
        {"long line, cut on both sides", letters + letters, 62, "...GHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyzABCD..."},
        {"near the start", letters, 2, "abcdefghijklmnopqrstuvwxyzABCDEF..."},
        {"at the end", letters, 62, "...GHIJKLMNOPQRSTUVWXYZ0123456789"},
        {"only its own line", "first line\nsecond\r\nthird", 13, "second"},
        {"at a line break", "first\nsecond", 5, "first"},
        {"characters are not split", emoji + "a" + umlauts, 40,
         "..." + repeat("\xF0\x9F\x98\x80", 7) + "a" + repeat("\xC3\xBC", 14) + "..."},
        {"control characters show as blanks", "<a>\tx\x01y</a>", 4, "<a> x y</a>"},
        {"invalid bytes show as U+FFFD", "<a x='\xFF'/>", 6, "<a x='\xEF\xBF\xBD'/>"},
        {"beyond the end", "<a/>", 99, "<a/>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExcerptAround(c.text, c.at), c.excerpt);
    }
}

} // namespace
} // namespace folvane

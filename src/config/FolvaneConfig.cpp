#include "config/FolvaneConfig.h"

#include <charconv>
#include <cmath>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace folvane {

// Pieces are split at the whitespace between tags; the text has no line break.
const std::string_view kDefaultConfigText =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<config versionNo=\"2\">"
    "\t<frame max=\"True\" left=\"0\" top=\"0\" height=\"600\" width=\"800\">"
    "\t\t<plLeft width=\"308\" col1=\"127\" col2=\"106\" col3=\"76\"/>"
    "\t\t<plHint height=\"262\" col1=\"139\" col2=\"139\"/>"
    "\t</frame>"
    "\t<nodes>"
    "\t\t<node Name=\"File Name\" Visible=\"True\" Index=\"0\" DefaultExport=\"True\" Width=\"172\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Full Path\" Visible=\"True\" Index=\"1\" DefaultExport=\"True\" Width=\"173\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Size\" Visible=\"True\" Index=\"2\" DefaultExport=\"True\" Width=\"84\" ReadOnly=\"False\" Align=\"right\"/>"
    "\t\t<node Name=\"Size Percentage\" Visible=\"True\" Index=\"3\" DefaultExport=\"False\" Width=\"100\" ReadOnly=\"False\" Align=\"right\"/>"
    "\t\t<node Name=\"DOS Name\" Visible=\"True\" Index=\"4\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Ext\" Visible=\"True\" Index=\"5\" DefaultExport=\"True\" Width=\"66\" ReadOnly=\"True\" Align=\"right\"/>"
    "\t\t<node Name=\"File Type\" Visible=\"False\" Index=\"6\" DefaultExport=\"True\" Width=\"66\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Description\" Visible=\"False\" Index=\"7\" DefaultExport=\"True\" Width=\"124\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Name Length\" Visible=\"False\" Index=\"8\" DefaultExport=\"False\" Width=\"100\" ReadOnly=\"True\" Align=\"right\"/>"
    "\t\t<node Name=\"Path Name Length\" Visible=\"False\" Index=\"9\" DefaultExport=\"False\" Width=\"100\" ReadOnly=\"True\" Align=\"right\"/>"
    "\t\t<node Name=\"Catalog Name\" Visible=\"False\" Index=\"10\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Create Time\" Visible=\"True\" Index=\"11\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Access Time\" Visible=\"True\" Index=\"12\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"Write Time\" Visible=\"True\" Index=\"13\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t\t<node Name=\"File Count\" Visible=\"True\" Index=\"14\" DefaultExport=\"True\" Width=\"80\" ReadOnly=\"True\" Align=\"left\"/>"
    "\t</nodes>"
    " <agerange>"
    "    <item label=\"one day\" value=\"1.0\"/>"
    "          <item label=\"three days\" value=\"3.0\"/>"
    "          <item label=\"one week\" value=\"7\"/>"
    "          <item label=\"one month\" value=\"30\"/>"
    "          <item label=\"one year\" value=\"365\"/>"
    "       </agerange>"
    " <sizerange>"
    "    <item label=\"10KB\" value=\"10000\"/>"
    "          <item label=\"100KB\" value=\"100000\"/>"
    "          <item label=\"1MB\" value=\"1000000\"/>"
    "          <item label=\"10MB\" value=\"10000000\"/>"
    "          <item label=\"100MB\" value=\"100000000\"/>"
    "          <item label=\"1G\" value=\"1000000000\"/>"
    "       </sizerange>"
    "</config>";

// --- conversions ---------------------------------------------------------------------------------

namespace {

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A decimal number in plain notation ("12", "-3", "1.0", "+2.5", "1e3"); always '.' as the
// decimal point, whatever the user's locale, so that the file reads alike everywhere.
std::optional<double> parseNumber(std::string_view text)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty() || !(std::isdigit((unsigned char)text.front()) || text.front() == '-' || text.front() == '.'))
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i]))
            return false;
    return true;
}

} // namespace

std::optional<int> ParseConfigInt(std::string_view text)
{
    std::optional<double> value = parseNumber(text);
    if (!value)
        return std::nullopt;
    double rounded = std::round(*value); // half away from zero
    if (rounded < double(INT32_MIN) || rounded > double(INT32_MAX))
        return std::nullopt;
    return int(rounded);
}

std::optional<bool> ParseConfigBool(std::string_view text)
{
    std::string_view t = trimBlanks(text);
    if (equalsNoCase(t, "true"))
        return true;
    if (equalsNoCase(t, "false"))
        return false;
    if (std::optional<double> value = parseNumber(t))
        return *value != 0;
    return std::nullopt;
}

std::string FormatConfigBool(bool value) { return value ? "True" : "False"; }

TConvertError::TConvertError(std::string element, std::string attribute, std::string text, const char *type)
    : std::runtime_error("Attribute " + attribute + " of element " + element + " holds \"" + text +
                         "\", which is not " + type),
      element_(std::move(element)), attribute_(std::move(attribute)), text_(std::move(text))
{
}

// --- element binding -----------------------------------------------------------------------------

std::string TXMLElementBinding::ReadText(std::string_view name) const
{
    return element_.ReadAttributeAddingMissing(name);
}

int TXMLElementBinding::ReadInt(std::string_view name) const
{
    std::string text = element_.ReadAttributeAddingMissing(name);
    if (std::optional<int> value = ParseConfigInt(text))
        return *value;
    throw TConvertError(element_.NodeName(), std::string(name), std::move(text), "an integer");
}

bool TXMLElementBinding::ReadBool(std::string_view name) const
{
    std::string text = element_.ReadAttributeAddingMissing(name);
    if (std::optional<bool> value = ParseConfigBool(text))
        return *value;
    throw TConvertError(element_.NodeName(), std::string(name), std::move(text), "a boolean");
}

void TXMLElementBinding::WriteText(std::string_view name, std::string_view value) const
{
    element_.SetAttribute(name, value);
}

void TXMLElementBinding::WriteInt(std::string_view name, int value) const
{
    element_.SetAttribute(name, std::to_string(value));
}

void TXMLElementBinding::WriteBool(std::string_view name, bool value) const
{
    element_.SetAttribute(name, FormatConfigBool(value));
}

// --- collection binding --------------------------------------------------------------------------

// Items are walked on pugixml nodes directly: this runs for every painted cell.
int TXMLCollectionBinding::Count() const
{
    int count = 0;
    for (pugi::xml_node n = element_.Node().first_child(); n; n = n.next_sibling())
        count += n.type() == pugi::node_element && std::strcmp(n.name(), itemTag_) == 0;
    return count;
}

TXmlElement TXMLCollectionBinding::ItemElement(int index) const
{
    if (index >= 0) {
        int i = 0;
        for (pugi::xml_node n = element_.Node().first_child(); n; n = n.next_sibling())
            if (n.type() == pugi::node_element && std::strcmp(n.name(), itemTag_) == 0 && i++ == index)
                return TXmlElement(n);
    }
    throw TXmlError("Item index " + std::to_string(index) + " out of range in " + element_.NodeName());
}

TXmlElement TXMLCollectionBinding::AddItem() const { return element_.AppendChild(itemTag_); }

TXmlElement TXMLCollectionBinding::InsertItem(int index) const
{
    if (index == Count())
        return AddItem();
    return element_.InsertChildBefore(itemTag_, ItemElement(index));
}

void TXMLCollectionBinding::Clear() const
{
    for (int n = Count(); n > 0; --n)
        element_.RemoveChild(ItemElement(n - 1));
}

void TXMLCollectionBinding::Delete(int index) const { element_.RemoveChild(ItemElement(index)); }

int TXMLCollectionBinding::Remove(TXmlElement item) const
{
    int i = 0;
    for (TXmlElement e = element_.FirstChild(); e; e = e.NextSibling()) {
        if (std::strcmp(e.Node().name(), itemTag_) != 0)
            continue;
        if (e == item) {
            element_.RemoveChild(e);
            return i;
        }
        ++i;
    }
    return -1;
}

// --- scan options --------------------------------------------------------------------------------

bool TXMLScanOptionsType::readFlag(std::string_view name) const
{
    const char *text = element_.AttributeText(name);
    if (!text || !*text) {
        WriteBool(name, false);
        return false;
    }
    return ReadBool(name);
}

ScanChoices TXMLScanOptionsType::Choices() const
{
    ScanChoices choices;
    choices.sizeKind = DiskUsage() ? SizeKind::DiskUsage : SizeKind::Apparent;
    choices.hardLinksOnce = HardLinksOnce();
    choices.oneFileSystem = OneFileSystem();
    const int n = Count();
    for (int i = 0; i < n; ++i)
        choices.exclude.push_back(Pattern(i));
    return choices;
}

void TXMLScanOptionsType::SetChoices(const ScanChoices &choices) const
{
    WriteBool("DiskUsage", choices.sizeKind == SizeKind::DiskUsage);
    WriteBool("HardLinksOnce", choices.hardLinksOnce);
    WriteBool("OneFileSystem", choices.oneFileSystem);
    Clear();
    for (const std::string &pattern : choices.exclude)
        AddItem().SetAttribute("pattern", pattern);
}

// --- root ----------------------------------------------------------------------------------------

namespace {

TXmlElement configRoot(TXmlDocument &document)
{
    TXmlElement root = document.DocumentElement();
    if (root.NodeName() != "config")
        throw TXmlError("The root element is \"" + root.NodeName() + "\", not \"config\"");
    return root;
}

} // namespace

TXMLConfigType::TXMLConfigType(std::shared_ptr<TXmlDocument> document)
    : TXMLElementBinding(configRoot(*document)), document_(std::move(document))
{
}

std::shared_ptr<TXMLConfigType> LoadConfig(const std::string &path)
{
    return std::make_shared<TXMLConfigType>(TXmlDocument::FromFile(path, kMaxConfigFileBytes));
}

std::shared_ptr<TXMLConfigType> ConfigFromText(std::string text)
{
    auto document = std::make_shared<TXmlDocument>();
    document->SetXml(std::move(text));
    return std::make_shared<TXMLConfigType>(std::move(document));
}

} // namespace folvane

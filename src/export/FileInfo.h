#pragma once
// TFileInfo: the worker of one export command. It holds the catalogue document it is handed (not
// owned) and the names of the columns to export, and writes a tree-grid's entries as a catalogue
// XML document, an HTML page, text, CSV or a workbook.
//
// Every writer asks for its file with PromptSaveFile, shows the progress window while it works
// and hides it on every way out, and replaces an existing file only once the new one is complete.
// Writers return false when the user cancelled; errors (a file that cannot be written) are thrown.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/NodeTree.h"
#include "config/XmlDocument.h"
#include "export/ExcelApplication.h"

namespace folvane {

// The application's title: the caption of the message that no spreadsheet program is there.
inline constexpr std::string_view kApplicationTitle = "Folvane";

// The starting text of the catalogue document.
std::string CatalogTemplate();

// The catalogue name of an output file: its name without folder and without anything from its
// first "." ("/out/report.final.htm" gives "report").
std::string CatalogNameOf(std::string_view path);

// Markup characters of a name or value as HTML entities (& < > ").
void AppendHtmlEscaped(std::string &out, std::string_view value);

// A CSV value that holds the separator, a double quote or a line break, quoted as spreadsheet
// programs expect (inner quotes doubled), into `quoted`; false, and nothing written, for a value
// that is written as it is.
bool CsvQuoted(std::string_view value, std::string_view separator, std::string &quoted);

// Column letters of a column number given as decimal text: "1" A, "26" Z, "27" AA, "702" ZZ,
// "703" AAA. A text that is not a whole number, or a number of 0 or less, comes back unchanged.
std::string ExcelColumnName(std::string_view number);

// The most entries a workbook export takes: the grid (entries and header) fills at most 65,535 rows.
inline constexpr std::size_t kExcelMaxEntries = 65534;

class TFileInfo {
public:
    TFileInfo();
    ~TFileInfo();
    TFileInfo(const TFileInfo &) = delete;
    TFileInfo &operator=(const TFileInfo &) = delete;

    // The catalogue document: the main window's one document, shared by all exports. Not owned.
    TXmlDocument *Doc = nullptr;
    // The names of the columns to export, in output order. The command fills it.
    std::vector<std::string> Columns;
    // Creates the spreadsheet automation object; by default CreateOleObject("Excel.Application").
    // Tests replace it, for instance with one that throws as when no spreadsheet program is there.
    std::function<std::unique_ptr<ExcelApplication>()> CreateExcel;

    // --- The catalogue document ---------------------------------------------------------------
    // Replaces the document's text with the template; nothing of an earlier export survives.
    void ResetDocument();
    // The root element, the document parsed first if needed. A document bound to a tree by
    // BuildFromTree gets its elements built here, on this first navigation.
    TXmlElement DocumentRoot();
    // Makes the document the image of the tree-grid's nodes: one "file" element per node, nested
    // as the nodes are, with one attribute per non-empty field. The document is bound to the tree
    // and its elements are built only when something navigates it (DocumentRoot), so saving a
    // large catalogue needs no second copy of it in memory. The tree must stay unchanged until
    // this object is done with the document.
    void BuildFromTree(const TNodeTree &tree);
    // Writes the document to a file: straight from the bound tree when its elements were not
    // built, else through the XML layer; the bytes are the same.
    void SaveDocument(const std::string &fileName);
    // The XML export: prompt (".xml"), then SaveDocument. False when cancelled.
    bool ExportXml(const std::string &initialFileName);

    // --- HTML -----------------------------------------------------------------------------
    bool ExportHtml(const std::string &initialFileName, const TNodeTree &tree);
    // The bytes of the page file for the tree-grid saved as `outputPath` ("" for an empty tree).
    std::string BuildPage(const TNodeTree &tree, const std::string &outputPath) const;

    // --- Text and CSV ---------------------------------------------------------------------
    bool ExportText(const std::string &initialFileName, const std::string &separator, const TNodeTree &tree);
    bool ExportCsv(const std::string &initialFileName, const std::string &separator, const TNodeTree &tree);
    // The bytes of the text file: the header line (every name followed by the separator), then
    // one line per node. With `csvQuoting` a value holding the separator, a double quote or a
    // line break is quoted, inner quotes doubled.
    std::string BuildLines(const std::string &separator, const TNodeTree &tree, bool csvQuoting) const;

    // --- Workbook -------------------------------------------------------------------------
    // Refuses more than kExcelMaxEntries entries with a message before any prompt; prompts
    // (".xlsx"); fills a workbook through the automation object and saves it. False when refused,
    // cancelled or when no spreadsheet program could be started.
    bool ExportExcel(const std::string &initialFileName);
    // Entries below an element: its child nodes, and theirs, at every depth.
    static std::size_t CountEntries(TXmlElement element);
    // Entries of the document: counted from the bound tree while its elements are not built.
    std::size_t CountEntries();

    // True while the document is bound to a tree whose elements are not built yet.
    bool Deferred() const { return bound_ != nullptr; }

private:
    TXmlDocument &doc();
    void buildElements(const TNodeTree &tree, TXmlElement root);
    void streamDocument(const TNodeTree &tree, const std::string &fileName);

    const TNodeTree *bound_ = nullptr;
};

} // namespace folvane

#pragma once
// Catalogue files that open like a scan: Folvane's own XML catalogue (what the XML export writes)
// and the ncdu JSON export format of the terminal analysers (major version 1).
//
// Reading streams the file: what stays in memory is the catalogue being built, never the file,
// and no reader has a depth limit (every walk keeps its own stack). A file that is not a
// catalogue, or breaks its format anywhere, is refused whole with TCatalogFileError: the tree
// handed in is left empty, so a caller that reads into a new tree keeps the catalogue it shows.

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalog/NodeTree.h"
#include "catalog/ScanChoices.h"

namespace folvane {

enum class CatalogFormat { None, Xml, NcduJson };

// The format of a file from its first bytes, strictly, as a dropped file is recognised: an XML
// document whose root element is `fileinfo` (after any byte-order mark, declaration, comments
// and processing instructions), or a JSON array that starts with major version 1. `head` is the
// start of the file (a few kilobytes are enough); None for anything else.
CatalogFormat RecognizeCatalogue(std::string_view head);
// The same for a file on disk; None when it cannot be read.
CatalogFormat RecognizeCatalogueFile(const std::string &path);

// Why a file was refused: the file, where (line and column, or a byte offset when the file has
// no lines to speak of) and what is wrong.
class TCatalogFileError : public std::runtime_error {
public:
    TCatalogFileError(std::string file, std::string reason, std::uint64_t line = 0, std::uint64_t column = 0);
    const std::string &File() const { return file_; }
    const std::string &Reason() const { return reason_; }
    std::uint64_t Line() const { return line_; }     // 1-based; 0 when the fault has no place
    std::uint64_t Column() const { return column_; } // 1-based, in characters

private:
    std::string file_, reason_;
    std::uint64_t line_, column_;
};

struct CatalogReadOptions {
    // The size FileSize holds and how files with several names count, where the file records
    // both sizes and the names' identity (ncdu JSON); an XML catalogue holds one size as written.
    ScanChoices choices;
    // Called now and then from the reading thread with the entries read so far and the bytes
    // their sizes add up to, as a scan reports its progress.
    std::function<void(std::uint64_t entries, std::uint64_t bytes)> progress;
    // When set, reading stops as soon as it can and reports it was cancelled.
    const std::atomic<bool> *cancel = nullptr;
};

struct CatalogReadOutcome {
    bool cancelled = false;
    std::uint64_t entries = 0; // nodes below the top node
    CatalogFormat format = CatalogFormat::None;
};

// Rebuilds `tree` from the catalogue file at `path`, whose format is told by its first bytes
// ("<" an XML catalogue, "[" ncdu JSON): one top node, the entries below it, sizes, shares and
// counts as a scan would have them, and the catalogue's notes (TScanSummary: the file, when it
// was made, what could not be read). Throws TCatalogFileError for a file that is not a catalogue
// or not a sound one; `tree` is then empty. A cancelled read leaves `tree` empty too.
CatalogReadOutcome ReadCatalogFile(TNodeTree &tree, const std::string &path, const CatalogReadOptions &options = {});

} // namespace folvane

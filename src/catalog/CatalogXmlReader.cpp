#include "catalog/CatalogXmlReader.h"

#include <expat.h>

#include <array>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "catalog/CatalogNotes.h"
#include "catalog/FieldReaders.h"
#include "catalog/XmlSplit.h"
#include "catalog/uFileReader.h"
#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane::detail {

namespace {

constexpr std::uint32_t bit(int field) { return 1u << field; }

// A document this large is read by two parsers at once, each from one part (see XmlSplit.h).
std::atomic<std::uint64_t> gSplitFrom{std::uint64_t(32) << 20};

// The bytes handed to expat at a time: small, since expat keeps a buffer of its own and the
// records of a piece wait for the builder in another.
constexpr std::size_t kPiece = 1 << 16;

// The part the first parser reads: a little more than half, as the second first has to find
// where its part begins.
constexpr double kFirstShare = 0.52;

// --- From the parser to the builder ----------------------------------------------------------
//
// The parser turns each element into a record, one after the other:
//   'O', the byte offset of the start tag in the parser's input (8 bytes), the number of
//        attributes (1 byte), then per attribute its field (1 byte), the length of its value
//        (4 bytes) and the value;
//   'C'  the end of the innermost open element.
// The builder takes the records of each piece of the file once the parser is through it.
constexpr char kOpen = 'O';
constexpr char kClose = 'C';

// Where the bytes a parser reads lie in the file: its input may begin with start tags copied
// from earlier in the file (the elements open where its part begins), which it reads first.
struct Part {
    std::uint64_t start = 0;  // the file offset of the part's first byte
    std::uint64_t copied = 0; // bytes of copied start tags before it
    // The file offset of a byte of the input; the start for a copied byte.
    std::uint64_t FileOffset(std::uint64_t input) const { return input < copied ? start : start + input - copied; }
};

[[noreturn]] void failAt(const TCatalogSource &source, std::uint64_t offset, const std::string &reason)
{
    const TFilePlace place = source.PlaceOf(offset);
    if (place.line == 0)
        throw TCatalogFileError(source.Path(), "at byte " + std::to_string(offset) + ": " + reason);
    throw TCatalogFileError(source.Path(), reason, place.line, place.column);
}

// --- Reading the values ---------------------------------------------------------------------

// A text as a whole number: canonical (digits, no leading zero but for "0"), another form of a
// whole number ("007", "+7"), or why it is none.
struct Whole {
    enum Kind { Canonical, OtherForm, Negative, TooLarge, NotWhole } kind = NotWhole;
    std::uint64_t value = 0;
};

Whole wholeNumber(std::string_view text)
{
    Whole w;
    std::string_view digits = text;
    const bool negative = digits.starts_with('-');
    if (negative || digits.starts_with('+'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return w;
    if (negative) {
        w.kind = digits.find_first_not_of('0') == std::string_view::npos ? Whole::OtherForm : Whole::Negative; // "-0" is 0
        return w;
    }
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), w.value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        w.kind = Whole::TooLarge;
        return w;
    }
    const bool canonical = digits.size() == text.size() && (digits.size() == 1 || digits[0] != '0');
    w.kind = canonical ? Whole::Canonical : Whole::OtherForm;
    return w;
}

std::string decimalText(std::uint64_t n)
{
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
    (void)ec;
    return std::string(buffer, end);
}

struct Element {
    std::uint64_t at = 0; // byte offset of the start tag
    std::array<std::string_view, kFieldCount> value{};
    std::uint32_t has = 0;
};

// Builds the catalogue from one part's records. The builders of two parts fill one tree at once,
// each its own nodes: names go through a text writer of its own, and what changes shared tables
// (fields held as written) waits for Finish.
class Builder {
public:
    Builder(TNodeTree &tree, const TCatalogSource &source, const std::atomic<bool> &stop)
        : tree_(tree), writer_(tree), source_(source), stop_(stop)
    {
    }
    // Where the records' offsets lie in the file; before the first record.
    void SetPart(Part part) { part_ = part; }

    // Takes the records of one piece; false once reading is to stop.
    bool Take(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const char kind = bytes.front();
            bytes.remove_prefix(1);
            if (kind == kClose) {
                close();
                continue;
            }
            Element e;
            std::memcpy(&e.at, bytes.data(), sizeof e.at);
            const auto count = static_cast<unsigned char>(bytes[sizeof e.at]);
            bytes.remove_prefix(sizeof e.at + 1);
            for (unsigned i = 0; i < count; ++i) {
                const int field = static_cast<unsigned char>(bytes[0]);
                std::uint32_t length;
                std::memcpy(&length, bytes.data() + 1, sizeof length);
                e.value[std::size_t(field)] = bytes.substr(1 + sizeof length, length);
                e.has |= bit(field);
                bytes.remove_prefix(1 + sizeof length + length);
            }
            open(e);
        }
        return !stop_.load(std::memory_order_relaxed);
    }

    // The fields held as written, set once no other builder runs.
    void ApplyWritten()
    {
        for (const Written &w : written_) {
            if (w.asField)
                tree_.SetField(w.node, w.field, w.text);
            else
                tree_.SetWrittenText(w.node, w.field, w.text);
        }
        written_.clear();
    }

    // The elements of the part's first element that are open at its end, outermost first, and
    // the entries read of each of them.
    std::size_t OpenDepth() const { return open_.size(); }
    NodeId OpenNode(std::size_t depth) const { return open_[depth].node; }
    std::vector<NodeId> &Children(std::size_t depth) { return children(depth); }
    // The entries read directly below the root.
    std::vector<NodeId> &Tops() { return tops_; }
    // The entries read below each element whose start tag was copied before the part.
    std::vector<std::vector<NodeId>> &CopiedChildren() { return copiedChildren_; }

    std::uint64_t Entries() const { return entries_.load(std::memory_order_relaxed); }
    std::uint64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }
    std::uint64_t TimesNotRead() const { return timesNotRead_; }

private:
    [[noreturn]] void fail(const Element &e, const std::string &reason) const
    {
        failAt(source_, part_.FileOffset(e.at), reason);
    }
    [[noreturn]] void failValue(const Element &e, int field, const std::string &problem) const
    {
        fail(e, FieldAttributeNames()[std::size_t(field)] + " \"" + std::string(e.value[std::size_t(field)]) + "\" " + problem);
    }

    struct Open {
        NodeId node;            // kNoNode for an element whose start tag was copied before the part
        bool folder;
        std::size_t pathBefore; // the length of path_ before this element's name was added
    };
    struct Written {
        NodeId node;
        int field;
        bool asField; // SetField, which holds a rendered value typed; else the text as written
        std::string text;
    };

    void open(const Element &e)
    {
        const bool nested = !open_.empty();
        const std::string_view name = e.value[FileName];
        const std::string_view type = e.value[FileType];
        const bool folder = type == "folder";
        const std::size_t pathBefore = path_.size();
        const std::string_view fullPath = e.value[FullPath];
        if (e.at < part_.copied) {
            // Read by the other part: here only the way to the entries below it.
            extendPath(nested, name, fullPath);
            open_.push_back({kNoNode, true, pathBefore});
            children(open_.size() - 1).clear();
            return;
        }
        if (nested && !open_.back().folder)
            fail(e, "a file cannot hold entries");
        if (name.empty())
            fail(e, "an entry has no FileName");
        if (type != "folder" && type != "file")
            fail(e, (e.has & bit(FileType)) ? "FileType \"" + std::string(type) + "\" is neither \"folder\" nor \"file\""
                                            : std::string("an entry has no FileType"));
        if (nested && name.find('/') != std::string_view::npos)
            failValue(e, FileName, "holds \"/\": below the top folder a name is one name");
        if (nested && (name == "." || name == ".."))
            failValue(e, FileName, "is not allowed below the top folder");

        const NodeId id = tree_.AddDetached();
        TFileNodeData &d = tree_.Data(id);
        d.flags |= folder ? TFileNodeData::Folder : TFileNodeData::File;
        extendPath(nested, name, fullPath);
        // The record's text: the name, or for a top-level entry its whole path ending in the name.
        const std::string_view text = nested ? name : std::string_view(path_);
        d.textRef = writer_.Append(text);
        d.textLen = std::uint32_t(text.size());
        d.nameLen = std::uint16_t(std::min<std::size_t>(name.size(), UINT16_MAX));
        if (!nested)
            d.flags |= TFileNodeData::ExplicitPath;
        d.present |= bit(FileName) | bit(FileType);
        setDerived(id, FullPath, e, path_);
        readSize(id, e);
        setDerived(id, FileExt, e, ExtensionOf(name));
        setDerived(id, DOSName, e, name);
        if (e.has & bit(FileNameLength)) {
            checkWhole(e, FileNameLength);
            setDerived(id, FileNameLength, e, decimalText(CodePointCount(name)));
        }
        if (e.has & bit(PathNameLength)) {
            checkWhole(e, PathNameLength);
            setDerived(id, PathNameLength, e, decimalText(CodePointCount(path_)));
        }
        readPercentage(id, e);
        for (int field : {CreateTime, AccessTime, WriteTime})
            readTime(id, field, e);
        readCount(id, e);
        for (int field : {CreateAgeRange, AccessAgeRange, WriteAgeRange, SizeRange})
            readClass(id, field, e);
        for (int field : {Description, CatalogName})
            if (e.has & bit(field))
                written_.push_back({id, field, false, std::string(e.value[std::size_t(field)])});

        if (nested)
            children(open_.size() - 1).push_back(id);
        else
            tops_.push_back(id);
        open_.push_back({id, folder, pathBefore});
        children(open_.size() - 1).clear();
        entries_.fetch_add(1, std::memory_order_relaxed);
        if (!folder)
            bytes_.fetch_add(d.size, std::memory_order_relaxed);
    }

    // path_ becomes the full path of the entry opened: its parent's and its name, or for a
    // top-level entry the path it gives when that ends in its name.
    void extendPath(bool nested, std::string_view name, std::string_view fullPath)
    {
        if (nested) {
            if (!path_.empty() && path_.back() != '/')
                path_ += '/';
            path_ += name;
            return;
        }
        const bool ends = fullPath.size() > name.size() && fullPath.ends_with(name) &&
                          fullPath[fullPath.size() - name.size() - 1] == '/';
        path_ = ends || fullPath == name ? fullPath : name;
    }

    void close()
    {
        const Open done = open_.back();
        const std::size_t depth = open_.size() - 1;
        if (done.node != kNoNode) {
            tree_.AdoptChildren(done.node, children(depth));
        } else {
            // The other part holds this element: its entries from this part wait for it.
            if (copiedChildren_.size() <= depth)
                copiedChildren_.resize(depth + 1);
            copiedChildren_[depth] = std::move(children(depth));
        }
        open_.pop_back();
        path_.resize(done.pathBefore);
    }

    std::vector<NodeId> &children(std::size_t depth)
    {
        if (childLists_.size() <= depth)
            childLists_.resize(depth + 1);
        return childLists_[depth];
    }

    // A field the record renders from its name and path: held as rendered when the file says
    // the same, else as written.
    void setDerived(NodeId id, int field, const Element &e, std::string_view rendered)
    {
        if (!(e.has & bit(field)))
            return;
        if (e.value[std::size_t(field)] == rendered)
            tree_.Data(id).present |= bit(field);
        else
            written_.push_back({id, field, false, std::string(e.value[std::size_t(field)])});
    }

    void checkWhole(const Element &e, int field) const
    {
        if (!(e.has & bit(field)))
            return;
        switch (wholeNumber(e.value[std::size_t(field)]).kind) {
        case Whole::Canonical:
        case Whole::OtherForm: return;
        case Whole::Negative: failValue(e, field, "is negative");
        case Whole::TooLarge: failValue(e, field, "is out of range");
        case Whole::NotWhole: failValue(e, field, "is not a whole number");
        }
    }

    void readSize(NodeId id, const Element &e)
    {
        if (!(e.has & bit(FileSize)))
            return;
        const std::string_view text = e.value[FileSize];
        const Whole w = wholeNumber(text);
        if (w.kind == Whole::Canonical || w.kind == Whole::OtherForm)
            return tree_.SetSize(id, w.value);
        if (w.kind == Whole::Negative)
            failValue(e, FileSize, "is negative");
        if (w.kind == Whole::TooLarge)
            failValue(e, FileSize, "is out of range");
        // The floating form of older files, with this machine's decimal separator or a point.
        std::optional<double> v = ParseFloat(text);
        if (!v && Forms().decimal != ".") {
            TextForms point = Forms();
            point.decimal = ".";
            v = ParseFloat(text, point);
        }
        if (!v || !std::isfinite(*v))
            failValue(e, FileSize, "is not a number");
        if (*v < 0)
            failValue(e, FileSize, "is negative");
        const double rounded = std::round(*v); // halves away from zero
        if (rounded >= 18446744073709551616.0)
            failValue(e, FileSize, "is out of range");
        tree_.SetSize(id, std::uint64_t(rounded));
    }

    void readPercentage(NodeId id, const Element &e)
    {
        if (!(e.has & bit(SizePercentage)))
            return;
        const std::string_view text = e.value[SizePercentage];
        // The form the roll-up writes ("12.34" with this machine's separator) held typed without
        // a round trip through floating point.
        const std::string &separator = Forms().decimal;
        const std::size_t sep = text.find(separator);
        if (sep != std::string_view::npos && sep > 0 && text.size() == sep + separator.size() + 2) {
            const Whole whole = wholeNumber(text.substr(0, sep));
            const std::string_view cents = text.substr(sep + separator.size());
            if (whole.kind == Whole::Canonical && whole.value < 21474836 && std::isdigit(static_cast<unsigned char>(cents[0])) &&
                std::isdigit(static_cast<unsigned char>(cents[1]))) {
                TFileNodeData &d = tree_.Data(id);
                d.percent = std::int32_t(whole.value * 100 + std::uint64_t(cents[0] - '0') * 10 + std::uint64_t(cents[1] - '0'));
                d.present |= bit(SizePercentage);
                return;
            }
        }
        const std::optional<double> v = ParseFloat(text);
        if (!v)
            failValue(e, SizePercentage, "is not a number");
        if (*v < 0)
            failValue(e, SizePercentage, "is negative");
        written_.push_back({id, SizePercentage, true, std::string(text)}); // "0", or another form
    }

    void readTime(NodeId id, int field, const Element &e)
    {
        if (!(e.has & bit(field)))
            return;
        if (const std::optional<LocalSeconds> t = ParseDateTime(e.value[std::size_t(field)])) {
            TFileNodeData &d = tree_.Data(id);
            d.times[field - CreateTime] = *t;
            d.present |= bit(field);
        } else {
            ++timesNotRead_; // left empty, and out of the age classes
        }
    }

    void readCount(NodeId id, const Element &e)
    {
        if (!(e.has & bit(FileCount)))
            return;
        checkWhole(e, FileCount);
        const Whole w = wholeNumber(e.value[FileCount]);
        if (w.value > UINT32_MAX)
            failValue(e, FileCount, "is out of range");
        if (w.kind == Whole::Canonical)
            tree_.SetCount(id, std::uint32_t(w.value));
        else
            written_.push_back({id, FileCount, false, std::string(e.value[FileCount])});
    }

    void readClass(NodeId id, int field, const Element &e)
    {
        if (!(e.has & bit(field)))
            return;
        checkWhole(e, field);
        const Whole w = wholeNumber(e.value[std::size_t(field)]);
        if (w.kind == Whole::Canonical && w.value <= 255)
            tree_.SetClass(id, field, std::uint8_t(w.value));
        else
            written_.push_back({id, field, false, std::string(e.value[std::size_t(field)])});
    }

    TNodeTree &tree_;
    TNodeTree::TextWriter writer_;
    const TCatalogSource &source_;
    Part part_;
    const std::atomic<bool> &stop_;
    std::vector<Open> open_;
    std::vector<std::vector<NodeId>> childLists_;     // the entries of each open element, by depth
    std::vector<std::vector<NodeId>> copiedChildren_; // of each element read by the other part, by depth
    std::vector<NodeId> tops_;                        // the entries right below the root
    std::string path_;                                // the full path of the innermost open entry
    std::vector<Written> written_;
    std::atomic<std::uint64_t> entries_{0}, bytes_{0};
    std::uint64_t timesNotRead_ = 0;
};

// Parses one part of the document with expat and hands each piece's records to its builder.
class Parser {
public:
    Parser(const TCatalogSource &source, Part part, Builder &builder) : source_(source), part_(part), builder_(builder)
    {
        parser_.reset(XML_ParserCreate(nullptr));
        if (!parser_)
            throw std::bad_alloc();
        XML_SetUserData(parser_.get(), this);
        XML_SetElementHandler(parser_.get(), &Parser::onStart, &Parser::onEnd);
        XML_SetCharacterDataHandler(parser_.get(), &Parser::onText);
        XML_SetStartDoctypeDeclHandler(parser_.get(), &Parser::onDoctype);
    }

    // Parses the next `size` bytes, which `fill` writes into the buffer it is given (it answers
    // how many it wrote), the last piece when `last`; then the builder takes the records. Throws
    // TCatalogFileError; false once the builder says to stop.
    template <typename Fill> bool Feed(std::size_t size, bool last, Fill fill)
    {
        void *into = XML_GetBuffer(parser_.get(), int(size));
        if (!into)
            throw std::bad_alloc();
        const std::size_t got = fill(static_cast<char *>(into));
        if (XML_ParseBuffer(parser_.get(), int(got), last) != XML_STATUS_OK) {
            if (fault_)
                throw *fault_;
            std::string reason = XML_ErrorString(XML_GetErrorCode(parser_.get()));
            if (last)
                reason += " (is the file cut short?)";
            throw here("not well-formed XML: " + reason);
        }
        const bool goOn = builder_.Take(records_);
        records_.clear();
        return goOn;
    }

private:
    struct ParserFree {
        void operator()(XML_ParserStruct *p) const { XML_ParserFree(p); }
    };

    // A fault at the current event: where expat says for the part that starts the file, else
    // at the event's offset in the file.
    TCatalogFileError here(const std::string &reason) const
    {
        XML_Parser p = parser_.get();
        if (part_.start == 0 && part_.copied == 0)
            return TCatalogFileError(source_.Path(), reason, XML_GetCurrentLineNumber(p), XML_GetCurrentColumnNumber(p) + 1);
        const std::uint64_t offset = part_.FileOffset(std::uint64_t(std::max<XML_Index>(XML_GetCurrentByteIndex(p), 0)));
        const TFilePlace place = source_.PlaceOf(offset);
        return TCatalogFileError(source_.Path(), reason, place.line, place.column);
    }

    // Ends the parse with a fault at the current event.
    void refuse(const std::string &reason)
    {
        if (!fault_)
            fault_ = here(reason);
        XML_StopParser(parser_.get(), XML_FALSE);
    }

    void put(const void *bytes, std::size_t size) { records_.append(static_cast<const char *>(bytes), size); }

    void startElement(const char *name, const char **attributes)
    {
        if (depth_++ == 0) {
            if (std::strcmp(name, "fileinfo") != 0)
                return refuse(std::string("not a Folvane catalogue: its root element is <") + name + ">, not <fileinfo>");
            for (const char **a = attributes; *a; a += 2)
                if (std::strcmp(*a, "generated") != 0)
                    return refuse(std::string("<fileinfo> has an attribute the catalogue does not know: \"") + *a + "\"");
            return;
        }
        if (std::strcmp(name, "file") != 0)
            return refuse(std::string("an element the catalogue does not know: <") + name + ">");
        const auto &names = FieldAttributeNames();
        unsigned char count = 0;
        for (const char **a = attributes; *a; a += 2)
            ++count; // at most one of each of the nineteen: expat refuses a repeated attribute
        const std::size_t recordAt = records_.size();
        const std::uint64_t at = std::uint64_t(XML_GetCurrentByteIndex(parser_.get()));
        records_.push_back(kOpen);
        put(&at, sizeof at);
        records_.push_back(char(count));
        int guess = 0; // the export writes the attributes in field order
        for (const char **a = attributes; *a; a += 2) {
            int field = -1;
            for (int k = 0; k < kFieldCount && field < 0; ++k) {
                const int candidate = (guess + k) % kFieldCount;
                const std::string &n = names[std::size_t(candidate)];
                if (std::strncmp(n.c_str(), *a, n.size() + 1) == 0) // the same name, up to its end
                    field = candidate;
            }
            if (field < 0) {
                records_.resize(recordAt);
                return refuse(std::string("an attribute the catalogue does not know: \"") + *a + "\"");
            }
            guess = field + 1;
            const auto valueLength = std::uint32_t(std::strlen(a[1]));
            records_.push_back(char(field));
            put(&valueLength, sizeof valueLength);
            put(a[1], valueLength);
        }
    }

    void endElement()
    {
        if (--depth_ > 0)
            records_.push_back(kClose);
    }

    void text(const char *s, int length)
    {
        for (int i = 0; i < length; ++i)
            if (s[i] != ' ' && s[i] != '\t' && s[i] != '\n' && s[i] != '\r')
                return refuse("text where only elements belong");
    }

    static void XMLCALL onStart(void *self, const XML_Char *name, const XML_Char **attributes)
    {
        static_cast<Parser *>(self)->startElement(name, attributes);
    }
    static void XMLCALL onEnd(void *self, const XML_Char *) { static_cast<Parser *>(self)->endElement(); }
    static void XMLCALL onText(void *self, const XML_Char *s, int length) { static_cast<Parser *>(self)->text(s, length); }
    static void XMLCALL onDoctype(void *self, const XML_Char *, const XML_Char *, const XML_Char *, int)
    {
        static_cast<Parser *>(self)->refuse("a document type declaration, which a catalogue does not have");
    }

    const TCatalogSource &source_;
    const Part part_;
    Builder &builder_;
    std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
    std::string records_;
    int depth_ = 0;
    std::optional<TCatalogFileError> fault_;
};

// The second part: from the cut to the end, after the start tags open at the cut.
void readSecondPart(Builder &builder, const TCatalogSource &first, const TXmlCut &cut, const Part &part)
{
    TCatalogSource source(first.Path(), cut.at);
    Parser parser(first, part, builder);
    if (!parser.Feed(cut.openTags.size(), false, [&](char *into) {
            std::memcpy(into, cut.openTags.data(), cut.openTags.size());
            return cut.openTags.size();
        }))
        return;
    for (;;) {
        std::size_t got = 0;
        const bool goOn = parser.Feed(kPiece, false, [&](char *into) {
            return got = source.Read(into, kPiece);
        });
        if (!goOn)
            return;
        if (got == 0)
            break;
    }
    parser.Feed(0, true, [](char *) { return std::size_t(0); });
}

// Puts what the second part read below the elements the first part left open at the cut, and
// its top-level entries after the first part's; false when the two do not meet.
bool join(TNodeTree &tree, Builder &first, Builder &second)
{
    auto &copied = second.CopiedChildren();
    const std::size_t depth = first.OpenDepth();
    if (copied.size() != depth)
        return false;
    for (std::size_t k = depth; k-- > 0;) {
        std::vector<NodeId> &children = first.Children(k);
        children.insert(children.end(), copied[k].begin(), copied[k].end());
        tree.AdoptChildren(first.OpenNode(k), children);
    }
    first.Tops().insert(first.Tops().end(), second.Tops().begin(), second.Tops().end());
    return true;
}

// The top folder: the one top-level entry, or for a list's entries (or none) a folder named
// after the file that holds them; then the summary.
void finish(TNodeTree &tree, const TCatalogSource &source, const std::vector<NodeId> &tops, const CatalogReadOptions &options,
            std::uint64_t timesNotRead)
{
    const bool wrapped = tops.size() != 1 || !IsFolder(tree, tops.front());
    NodeId top = tops.empty() ? kNoNode : tops.front();
    if (wrapped) {
        const std::string &path = source.Path();
        const std::string name = path.substr(path.rfind('/') + 1);
        top = tree.AddDetached();
        tree.SetExplicitPath(top, name, name.size());
        TFileNodeData &d = tree.Data(top);
        d.flags |= TFileNodeData::Folder;
        d.present |= bit(FileName) | bit(FullPath) | bit(FileType);
        tree.AdoptChildren(top, tops);
        std::uint64_t total = 0;
        for (NodeId n : tops)
            if (auto size = SizeOf(tree, n))
                total = AddBytes(total, size->bytes);
        tree.SetSize(top, total);
        tree.SetPercentage(top, total, total);
    }
    tree.AdoptChildren(TNodeTree::Root(), std::span<const NodeId>(&top, 1));
    if (wrapped)
        tree.SetCount(top, tree.NodeCount() - 1);
    TScanSummary &s = tree.Notes().summary;
    s.folder = tree.PathBytes(top);
    s.sizeKind = options.choices.sizeKind;
    s.sizeKindKnown = false;
    s.hardLinksOnce = options.choices.hardLinksOnce;
    s.timesNotRead = timesNotRead;
}

} // namespace

void SetXmlSplitThreshold(std::uint64_t bytes)
{
    gSplitFrom = bytes;
}

namespace {

// Reads the document, in two parts at once when `mayCut` and it is large (see XmlSplit.h).
std::optional<std::int64_t> readDocument(TNodeTree &tree, TCatalogSource &source, const CatalogReadOptions &options,
                                         CatalogReadOutcome &outcome, bool mayCut)
{
    tree.Notes(); // made before any builder runs
    // An entry takes at least 36 bytes: <file FileName="x" FileType="file"/>.
    tree.ReserveDetached(std::size_t(source.Size() / 32));
    std::atomic<bool> stop{false};
    const bool split = mayCut && source.Seekable() && source.Size() >= gSplitFrom.load();
    const std::uint64_t target = split ? std::uint64_t(double(source.Size()) * kFirstShare) : 0;

    Builder first(tree, source, stop);
    Builder second(tree, source, stop);
    // The second part's thread finds the cut, says where it is, and reads from there to the end.
    std::promise<std::uint64_t> cutFound;
    std::future<std::uint64_t> cutAt = cutFound.get_future();
    std::exception_ptr secondFault;
    std::thread secondThread;
    if (split) {
        try {
            secondThread = std::thread([&] {
                TXmlCut cut;
                try {
                    cut = FindXmlCut(source.Path(), target);
                } catch (...) {
                    cut.at = 0; // no cut: the first part is the whole document
                }
                cutFound.set_value(cut.at);
                if (!cut.at)
                    return;
                try {
                    const Part part{cut.at, cut.openTags.size()};
                    second.SetPart(part);
                    readSecondPart(second, source, cut, part);
                } catch (...) {
                    secondFault = std::current_exception();
                }
            });
        } catch (const std::system_error &) {
            cutFound.set_value(0); // no second thread: one parser reads it all
        }
    } else {
        cutFound.set_value(0);
    }
    // However the first part ends, the second is told to stop and waited for.
    struct Join {
        std::atomic<bool> &stop;
        std::thread &thread;
        ~Join()
        {
            stop = true;
            if (thread.joinable())
                thread.join();
        }
    } joinSecond{stop, secondThread};

    // The first part, on this thread: up to the cut once it is known, else to the end.
    Parser parser(source, Part{}, first);
    std::uint64_t end = UINT64_MAX;
    bool endKnown = !split;
    std::uint64_t read = 0;
    auto report = [&] {
        if (options.progress)
            options.progress(first.Entries() + second.Entries(), first.Bytes() + second.Bytes());
        if (options.cancel && options.cancel->load(std::memory_order_relaxed)) {
            outcome.cancelled = true;
            stop = true;
        }
    };
    for (;;) {
        if (!endKnown && read + kPiece > target) {
            if (const std::uint64_t at = cutAt.get())
                end = at;
            endKnown = true;
        }
        const std::size_t want = std::size_t(std::min<std::uint64_t>(kPiece, end - read));
        if (want == 0)
            break; // at the cut: the rest is the second part's
        std::size_t got = 0;
        parser.Feed(want, false, [&](char *into) { return got = source.Read(into, want); });
        read += got;
        report();
        if (outcome.cancelled)
            return std::nullopt;
        if (got == 0) {
            parser.Feed(0, true, [](char *) { return std::size_t(0); });
            break;
        }
    }
    if (end != UINT64_MAX) {
        secondThread.join();
        report();
        if (outcome.cancelled)
            return std::nullopt;
        if (secondFault)
            std::rethrow_exception(secondFault);
        if (!join(tree, first, second)) {
            // The parts do not meet where the cut said they would: read it again with one parser.
            tree.Clear();
            TCatalogSource again(source.Path());
            return readDocument(tree, again, options, outcome, false);
        }
        second.ApplyWritten();
    } else if (first.OpenDepth() != 0) {
        throw TCatalogFileError(source.Path(), "the document ends inside an entry (is it cut short?)");
    }
    first.ApplyWritten();
    finish(tree, source, first.Tops(), options, first.TimesNotRead() + second.TimesNotRead());
    return std::nullopt;
}

} // namespace

std::optional<std::int64_t> ReadCatalogXml(TNodeTree &tree, TCatalogSource &source, const CatalogReadOptions &options,
                                           CatalogReadOutcome &outcome)
{
    return readDocument(tree, source, options, outcome, true);
}

} // namespace folvane::detail

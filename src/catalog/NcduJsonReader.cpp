#include "catalog/NcduJsonReader.h"

#include <sys/sysmacros.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "catalog/CatalogNotes.h"
#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane::detail {

namespace {

constexpr std::size_t kMaxName = UINT16_MAX;  // what a record holds of a name
constexpr std::size_t kMaxTopName = 1 << 20;   // a full path
constexpr std::size_t kMaxOtherText = 1 << 20; // any other text, kept or skipped
constexpr std::uint64_t kReportEvery = 1 << 16;

constexpr std::uint32_t bit(int field) { return 1u << field; }
// What a scan fills in for an entry, but the creation and access times, which the format lacks.
constexpr std::uint32_t kEntryFields = bit(FileName) | bit(FullPath) | bit(FileSize) | bit(FileType) |
                                       bit(FileNameLength) | bit(PathNameLength) | bit(DOSName);
constexpr std::uint32_t kTopFields = bit(FileName) | bit(FullPath) | bit(FileType);

bool isBlank(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

void appendUtf8(std::string &out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// One entry's object, as read.
struct Info {
    std::string name, excluded;
    std::uint64_t asize = 0, dsize = 0, dev = 0, ino = 0, nlink = 0, mtime = 0;
    bool hasName = false, hasDev = false, hasMtime = false, hlnkc = false, readError = false;

    void Reset()
    {
        name.clear();
        excluded.clear();
        asize = dsize = dev = ino = nlink = mtime = 0;
        hasName = hasDev = hasMtime = hlnkc = readError = false;
    }
};

class Parser {
public:
    Parser(TNodeTree &tree, TCatalogSource &source, const CatalogReadOptions &options, CatalogReadOutcome &outcome)
        : tree_(tree), notes_(tree.Notes()), source_(source), options_(options), outcome_(outcome),
          buffer_(std::make_unique_for_overwrite<char[]>(TCatalogSource::kPiece))
    {
        p_ = end_ = buffer_.get();
    }

    std::optional<std::int64_t> Run()
    {
        // An entry takes at least twelve bytes ({"name":"x"}).
        tree_.ReserveDetached(std::size_t(source_.Size() / 12));
        readHeader();
        skipBlanks();
        if (peek() != '[')
            fail(peek() < 0 ? "the file ends before its top folder" : "the top folder must be an array");
        readFolders();
        if (outcome_.cancelled)
            return made_;
        skipBlanks();
        if (peek() == ',')
            fail("more content after the top folder than the format has");
        expect(']', "\"]\" closing the file");
        skipBlanks();
        if (peek() >= 0)
            fail("more content after the end of the file's array");
        finish();
        return made_;
    }

private:
    // --- Input ----------------------------------------------------------------------------
    bool refill()
    {
        if (p_ < end_)
            return true;
        base_ += std::uint64_t(end_ - buffer_.get());
        const std::size_t got = source_.Read(buffer_.get(), TCatalogSource::kPiece);
        p_ = buffer_.get();
        end_ = p_ + got;
        return got > 0;
    }
    int peek()
    {
        if (p_ == end_ && !refill())
            return -1;
        return static_cast<unsigned char>(*p_);
    }
    int next()
    {
        if (p_ == end_ && !refill())
            return -1;
        return static_cast<unsigned char>(*p_++);
    }
    std::uint64_t offset() const { return base_ + std::uint64_t(p_ - buffer_.get()); }
    void skipBlanks()
    {
        for (;;) {
            while (p_ < end_ && isBlank(*p_))
                ++p_;
            if (p_ < end_ || !refill())
                return;
        }
    }
    void expect(char c, const char *what)
    {
        skipBlanks();
        if (peek() != c)
            fail(peek() < 0 ? std::string("the file ends where ") + what + " belongs (is it cut short?)"
                            : std::string("expected ") + what);
        ++p_;
    }

    [[noreturn]] void failAt(std::uint64_t at, const std::string &reason) const
    {
        const TFilePlace place = source_.PlaceOf(at);
        if (place.line == 0)
            throw TCatalogFileError(source_.Path(), "at byte " + std::to_string(at) + ": " + reason);
        throw TCatalogFileError(source_.Path(), reason, place.line, place.column);
    }
    [[noreturn]] void fail(const std::string &reason) const { failAt(offset(), reason); }

    // --- Values ---------------------------------------------------------------------------
    // A JSON text after its opening quote, into `out`, or checked and passed over when `out` is
    // null. Escapes become the bytes they stand for (\u as UTF-8, a lone surrogate as U+FFFD);
    // other bytes are kept as they are, whether UTF-8 or not.
    void readText(std::string *out, std::size_t limit, const char *what)
    {
        const std::uint64_t start = offset() - 1;
        std::string &into = out ? *out : skipped_;
        into.clear();
        std::uint32_t high = 0; // a high surrogate waiting for the low one that completes it
        auto endSurrogate = [&] {
            if (high)
                appendUtf8(into, 0xFFFD);
            high = 0;
        };
        for (;;) {
            const char *from = p_;
            while (p_ < end_) {
                const auto c = static_cast<unsigned char>(*p_);
                if (c == '"' || c == '\\' || c < 0x20)
                    break;
                ++p_;
            }
            if (p_ != from) {
                endSurrogate();
                into.append(from, std::size_t(p_ - from));
            }
            if (into.size() > limit)
                failAt(start, std::string(what) + " is longer than " + std::to_string(limit) + " bytes");
            if (p_ == end_ && refill())
                continue; // the text goes on in the next piece
            const int c = next();
            if (c < 0)
                fail("the file ends inside a text (is it cut short?)");
            if (c == '"') {
                endSurrogate();
                return;
            }
            if (c != '\\')
                failAt(offset() - 1, "a control character inside a text must be written as an escape");
            const int e = next();
            if (e == 'u') {
                const std::uint32_t unit = readHex4();
                if (high && unit >= 0xDC00 && unit < 0xE000) {
                    appendUtf8(into, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
                    high = 0;
                    continue;
                }
                endSurrogate();
                if (unit >= 0xD800 && unit < 0xDC00)
                    high = unit;
                else
                    appendUtf8(into, unit >= 0xDC00 && unit < 0xE000 ? 0xFFFD : unit);
                continue;
            }
            endSurrogate();
            switch (e) {
            case '"': into += '"'; break;
            case '\\': into += '\\'; break;
            case '/': into += '/'; break;
            case 'b': into += '\b'; break;
            case 'f': into += '\f'; break;
            case 'n': into += '\n'; break;
            case 'r': into += '\r'; break;
            case 't': into += '\t'; break;
            default: failAt(offset() - 2, e < 0 ? "the file ends inside a text (is it cut short?)" : "an unknown escape in a text");
            }
        }
    }
    std::uint32_t readHex4()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = next();
            int digit = isDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (digit < 0)
                fail("\\u must be followed by four hexadecimal digits");
            value = value * 16 + std::uint32_t(digit);
        }
        return value;
    }
    void readTextValue(std::string *out, std::size_t limit, const std::string &key)
    {
        skipBlanks();
        if (peek() != '"')
            fail("\"" + key + "\" must be a text");
        ++p_;
        readText(out, limit, ("\"" + key + "\"").c_str());
    }
    // A whole number of 0 or more, as every number of the format is.
    std::uint64_t readUnsigned(const std::string &key)
    {
        skipBlanks();
        const std::uint64_t start = offset();
        int c = peek();
        if (c == '-') {
            ++p_;
            if (isDigit(peek()))
                failAt(start, "\"" + key + "\" is negative");
            failAt(start, "\"" + key + "\" must be a number");
        }
        if (!isDigit(c))
            failAt(start, "\"" + key + "\" must be a whole number");
        std::uint64_t value = 0;
        bool tooLarge = false;
        const bool zero = c == '0';
        while (isDigit(c = peek())) {
            const auto digit = std::uint64_t(c - '0');
            if (value > (UINT64_MAX - digit) / 10)
                tooLarge = true;
            value = value * 10 + digit;
            ++p_;
            if (zero)
                break;
        }
        c = peek();
        if (c == '.' || c == 'e' || c == 'E' || isDigit(c))
            failAt(start, "\"" + key + "\" must be a whole number");
        if (tooLarge)
            failAt(start, "\"" + key + "\" is out of range (above 18446744073709551615)");
        return value;
    }
    bool readBool(const std::string &key)
    {
        skipBlanks();
        const std::uint64_t start = offset();
        const char *word = peek() == 't' ? "true" : peek() == 'f' ? "false" : nullptr;
        if (word)
            for (const char *w = word; *w; ++w)
                if (next() != *w) {
                    word = nullptr;
                    break;
                }
        if (!word)
            failAt(start, "\"" + key + "\" must be true or false");
        return word[0] == 't';
    }
    void skipLiteral(const char *word)
    {
        for (const char *w = word; *w; ++w)
            if (next() != *w)
                fail("not a JSON value");
    }
    void skipNumber()
    {
        if (peek() == '-')
            ++p_;
        if (!isDigit(peek()))
            fail("not a JSON value");
        if (next() != '0')
            while (isDigit(peek()))
                ++p_;
        if (peek() == '.') {
            ++p_;
            if (!isDigit(peek()))
                fail("not a JSON number");
            while (isDigit(peek()))
                ++p_;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++p_;
            if (peek() == '+' || peek() == '-')
                ++p_;
            if (!isDigit(peek()))
                fail("not a JSON number");
            while (isDigit(peek()))
                ++p_;
        }
    }
    // Any JSON value (of a key the format does not know), checked and passed over; nested
    // values are followed on a stack of their own.
    void skipValue()
    {
        std::vector<char> open; // '{' or '[' of each container entered
        for (;;) {
            skipBlanks();
            bool closed = false; // the value just read is complete
            switch (peek()) {
            case '{':
            case '[': {
                const char kind = char(next());
                skipBlanks();
                if (peek() == (kind == '{' ? '}' : ']')) {
                    ++p_;
                    closed = true;
                } else {
                    open.push_back(kind);
                    if (kind == '{') {
                        expect('"', "a key");
                        readText(nullptr, kMaxOtherText, "a key");
                        expect(':', "\":\" after a key");
                    }
                }
                break;
            }
            case '"':
                ++p_;
                readText(nullptr, kMaxOtherText, "a text");
                closed = true;
                break;
            case 't': skipLiteral("true"), closed = true; break;
            case 'f': skipLiteral("false"), closed = true; break;
            case 'n': skipLiteral("null"), closed = true; break;
            default:
                if (peek() < 0)
                    fail("the file ends inside a value (is it cut short?)");
                skipNumber();
                closed = true;
            }
            // After a complete value: a comma leads to the next one, a bracket closes its container.
            while (closed) {
                if (open.empty())
                    return;
                skipBlanks();
                const int c = peek();
                if (c == ',') {
                    ++p_;
                    if (open.back() == '{') {
                        expect('"', "a key");
                        readText(nullptr, kMaxOtherText, "a key");
                        expect(':', "\":\" after a key");
                    }
                    closed = false;
                } else if (c == (open.back() == '{' ? '}' : ']')) {
                    ++p_;
                    open.pop_back();
                } else {
                    fail(c < 0 ? "the file ends inside a value (is it cut short?)" : "expected \",\" or a closing bracket");
                }
            }
        }
    }

    // The keys of an object, one by one: false after its closing brace.
    bool nextKey(bool first)
    {
        skipBlanks();
        if (peek() == '}') {
            ++p_;
            return false;
        }
        if (!first) {
            expect(',', "\",\" or \"}\" in an object");
            skipBlanks();
        }
        if (peek() != '"')
            fail(peek() < 0 ? "the file ends inside an object (is it cut short?)" : "expected a key");
        ++p_;
        readText(&key_, kMaxOtherText, "a key");
        expect(':', "\":\" after a key");
        return true;
    }

    // --- Structure ------------------------------------------------------------------------
    void readHeader()
    {
        // A byte-order mark, which some tools put before JSON too, is passed over.
        if (peek() == 0xEF && end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0)
            p_ += 3;
        skipBlanks();
        if (peek() != '[')
            fail("not an ncdu JSON export: it does not start with \"[\"");
        ++p_;
        skipBlanks();
        if (!isDigit(peek()))
            fail("not an ncdu JSON export: it does not start with a version number");
        const std::uint64_t majorAt = offset();
        const std::uint64_t major = readUnsigned("major version");
        if (major != 1)
            failAt(majorAt, "major version " + std::to_string(major) +
                                " of the ncdu JSON format is not supported (only major version 1 is)");
        expect(',', "\",\" after the major version");
        readUnsigned("minor version"); // later minor versions only add keys, which are ignored
        expect(',', "\",\" after the minor version");
        expect('{', "the metadata object");
        for (bool first = true; nextKey(first); first = false) {
            if (key_ == "timestamp") {
                const std::uint64_t at = offset();
                const std::uint64_t t = readUnsigned(key_);
                if (t > std::uint64_t(INT64_MAX))
                    failAt(at, "\"timestamp\" is out of range");
                made_ = std::int64_t(t);
            } else {
                skipValue();
            }
        }
        expect(',', "\",\" before the top folder");
    }

    void readInfo(bool top)
    {
        info_.Reset();
        infoAt_ = offset();
        expect('{', "an entry's object");
        for (bool first = true; nextKey(first); first = false) {
            const std::string &k = key_;
            if (k == "name") {
                readTextValue(&info_.name, top ? kMaxTopName : kMaxName, k);
                info_.hasName = true;
            } else if (k == "asize") {
                info_.asize = readUnsigned(k);
            } else if (k == "dsize") {
                info_.dsize = readUnsigned(k);
            } else if (k == "dev") {
                info_.dev = readUnsigned(k);
                info_.hasDev = true;
            } else if (k == "ino") {
                info_.ino = readUnsigned(k);
            } else if (k == "nlink") {
                info_.nlink = readUnsigned(k);
            } else if (k == "mtime") {
                info_.mtime = readUnsigned(k);
                info_.hasMtime = true;
            } else if (k == "hlnkc") {
                info_.hlnkc = readBool(k);
            } else if (k == "read_error") {
                info_.readError = readBool(k);
            } else if (k == "notreg") {
                readBool(k); // such a file counts with the size given, like any other
            } else if (k == "excluded") {
                readTextValue(&info_.excluded, kMaxOtherText, k);
            } else {
                skipValue(); // uid, gid, mode and keys of later versions
            }
        }
        checkName(top);
    }

    void checkName(bool top) const
    {
        const std::string &name = info_.name;
        if (!info_.hasName)
            failAt(infoAt_, "an entry has no \"name\"");
        if (name.empty())
            failAt(infoAt_, "an entry's name is empty");
        if (name.find('\0') != std::string::npos)
            failAt(infoAt_, "an entry's name holds a NUL character");
        if (top)
            return;
        if (name.find('/') != std::string::npos)
            failAt(infoAt_, "the name \"" + ValidUtf8(name) + "\" holds \"/\": below the top folder a name is one name");
        if (name == "." || name == "..")
            failAt(infoAt_, "the name \"" + name + "\" is not allowed below the top folder");
    }

    struct Frame {
        NodeId node;         // kNoNode inside a folder left out by a pattern
        std::uint64_t dev;   // inherited by the entries that give none
    };

    // The top folder and everything below it, the file's nesting followed on `frames`.
    void readFolders()
    {
        std::vector<Frame> frames;
        ++p_; // the top folder's "["
        readInfo(true);
        frames.push_back({addEntry(true, true, nullptr), info_.hasDev ? info_.dev : 0});
        childLists_.resize(1);
        childLists_[0].clear();
        for (;;) {
            skipBlanks();
            const int c = peek();
            if (c == ',') {
                ++p_;
                skipBlanks();
                const int kind = peek();
                if (kind == '{') {
                    readInfo(false);
                    addEntry(false, false, &frames);
                } else if (kind == '[') {
                    ++p_;
                    readInfo(false);
                    const NodeId folder = addEntry(false, true, &frames);
                    frames.push_back({folder, info_.hasDev ? info_.dev : frames.back().dev});
                    if (childLists_.size() < frames.size())
                        childLists_.resize(frames.size());
                    childLists_[frames.size() - 1].clear();
                } else {
                    fail(kind < 0 ? "the file ends inside a folder (is it cut short?)"
                                  : "expected an entry: an object for a file, an array for a folder");
                }
            } else if (c == ']') {
                ++p_;
                const Frame done = frames.back();
                if (done.node != kNoNode)
                    tree_.AdoptChildren(done.node, childLists_[frames.size() - 1]);
                frames.pop_back();
                if (frames.empty()) {
                    const NodeId top = done.node;
                    tree_.AdoptChildren(TNodeTree::Root(), std::span<const NodeId>(&top, 1));
                    return;
                }
            } else {
                fail(c < 0 ? "the file ends inside a folder (is it cut short?)" : "expected \",\" or \"]\" after an entry");
            }
            if (outcome_.cancelled)
                return;
        }
    }

    // Adds the entry just read below the innermost folder; kNoNode for an entry left out.
    NodeId addEntry(bool top, bool folderArray, std::vector<Frame> *frames)
    {
        const Info &in = info_;
        if (frames && frames->back().node == kNoNode)
            return kNoNode; // inside a folder left out by a pattern
        if (!top && in.excluded == "pattern") {
            ++notes_.summary.excluded;
            return kNoNode;
        }
        const bool notWalked = !in.excluded.empty();
        const bool folder = folderArray || in.excluded == "otherfs" || in.excluded == "kernfs" || in.excluded == "frmlnk";

        const NodeId id = tree_.AddDetached();
        if (top)
            tree_.SetExplicitPath(id, in.name, in.name.size());
        else
            tree_.SetName(id, in.name);
        TFileNodeData &d = tree_.Data(id);
        d.flags |= folder ? TFileNodeData::Folder : TFileNodeData::File;
        if (top) {
            d.present = kTopFields;
        } else {
            d.present = kEntryFields | (folder ? 0u : bit(FileExt)) | (in.hasMtime ? bit(WriteTime) : 0u);
            if (in.hasMtime) {
                if (in.mtime > std::uint64_t(INT64_MAX / 2))
                    failAt(infoAt_, "\"mtime\" is out of range");
                d.times[WriteTime - CreateTime] = ToLocalSeconds(std::int64_t(in.mtime));
            }
        }
        if (!folder) {
            const bool disk = options_.choices.sizeKind == SizeKind::DiskUsage;
            d.size = disk ? in.dsize : in.asize;
            d.otherSize = disk ? in.asize : in.dsize;
            bytes_ = AddBytes(bytes_, d.size);
        }
        if (in.readError) {
            d.flags |= TFileNodeData::Unreadable;
            notes_.reasons[id] = {ReasonKind::Text, 0, "Could not be read"};
            if (folder)
                ++notes_.summary.foldersNotRead;
        } else if (notWalked) {
            d.flags |= TFileNodeData::NotScanned;
            if (in.excluded == "kernfs") {
                notes_.reasons[id] = {ReasonKind::KernelFileSystem, 0, {}};
                ++notes_.summary.kernelFolders;
            } else {
                notes_.reasons[id] = in.excluded == "otherfs"  ? TEntryReason{ReasonKind::OtherFileSystem, 0, {}}
                                     : in.excluded == "frmlnk" ? TEntryReason{ReasonKind::Text, 0, kFirmlinkReason}
                                                               : TEntryReason{ReasonKind::Text, 0, "Not scanned: " + ValidUtf8(in.excluded)};
                ++notes_.summary.otherFsFolders;
            }
        }
        const std::uint64_t dev = in.hasDev ? in.dev : frames ? frames->back().dev : 0;
        if (!folder && in.ino != 0 && (in.hlnkc || in.nlink > 1)) {
            if (in.nlink > UINT32_MAX)
                failAt(infoAt_, "\"nlink\" is out of range");
            // A file marked as one of several names counts as having at least two.
            const auto links = std::uint32_t(std::max<std::uint64_t>(in.nlink, 2));
            notes_.links.push_back({id, TLinkName::Device(std::uint32_t(gnu_dev_major(dev)), std::uint32_t(gnu_dev_minor(dev))),
                                    links, std::uint32_t(in.ino), std::uint32_t(in.ino >> 32)});
        }
        if (frames)
            childLists_[frames->size() - 1].push_back(id);
        if (++entries_ % kReportEvery == 0)
            report();
        return id;
    }

    void report()
    {
        if (options_.progress)
            options_.progress(entries_, bytes_);
        if (options_.cancel && options_.cancel->load(std::memory_order_relaxed))
            outcome_.cancelled = true;
    }

    void finish()
    {
        TScanSummary &s = notes_.summary;
        s.folder = std::string(tree_.PathBytes(tree_.First()));
        s.sizeKind = options_.choices.sizeKind;
        OrderLinkNames(tree_);
        ApplyCountingChoices(tree_, options_.choices.sizeKind, options_.choices.hardLinksOnce);
        if (options_.progress)
            options_.progress(entries_, bytes_);
    }

    TNodeTree &tree_;
    TCatalogNotes &notes_;
    TCatalogSource &source_;
    const CatalogReadOptions &options_;
    CatalogReadOutcome &outcome_;
    std::unique_ptr<char[]> buffer_;
    const char *p_ = nullptr, *end_ = nullptr;
    std::uint64_t base_ = 0; // the file offset of the buffer's first byte
    std::string key_, skipped_;
    Info info_;
    std::uint64_t infoAt_ = 0;
    std::vector<std::vector<NodeId>> childLists_; // the entries of each open folder, by depth
    std::optional<std::int64_t> made_;
    std::uint64_t entries_ = 0, bytes_ = 0;
};

} // namespace

std::optional<std::int64_t> ReadNcduJson(TNodeTree &tree, TCatalogSource &source, const CatalogReadOptions &options,
                                         CatalogReadOutcome &outcome)
{
    Parser parser(tree, source, options, outcome);
    return parser.Run();
}

} // namespace folvane::detail

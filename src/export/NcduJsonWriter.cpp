#include "export/NcduJsonWriter.h"

#include <sys/sysmacros.h>

#include <charconv>
#include <ctime>
#include <stdexcept>
#include <unordered_map>

#include "catalog/CatalogNotes.h"
#include "catalog/FieldReaders.h"
#include "common/ProductVersion.h"
#include "common/SafeFile.h"

namespace folvane {

namespace {

void appendNumber(std::string &out, std::uint64_t n)
{
    char buffer[24];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
    (void)ec;
    out.append(buffer, end);
}

// A JSON text of the name's bytes: quotes, backslashes and control characters escaped, every
// other byte as it is (UTF-8 or not).
void appendName(std::string &out, std::string_view bytes)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (u < 0x20) {
                out += "\\u00";
                out += kHex[u >> 4];
                out += kHex[u & 15];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void appendKey(std::string &out, const char *key, std::uint64_t value)
{
    out += ",\"";
    out += key;
    out += "\":";
    appendNumber(out, value);
}

// Where a folder not walked stands in ncdu's words.
const char *excludedWord(const TNodeTree &tree, NodeId node)
{
    const TCatalogNotes *notes = tree.FindNotes();
    if (notes)
        if (auto found = notes->reasons.find(node); found != notes->reasons.end()) {
            switch (found->second.kind) {
            case ReasonKind::OtherFileSystem: return "otherfs";
            case ReasonKind::Text:
                if (found->second.detail == kFirmlinkReason)
                    return "frmlnk";
                break;
            default: break;
            }
        }
    return "kernfs"; // kernel file systems and automount points: what the scan does not walk of itself
}

class Writer {
public:
    Writer(const TNodeTree &tree, AtomicFile &file) : tree_(tree), file_(file)
    {
        if (const TCatalogNotes *notes = tree.FindNotes()) {
            summary_ = &notes->summary;
            for (const TLinkName &link : notes->links)
                links_.emplace(link.node, &link);
        }
    }

    void Write(const NcduSelection *selection, std::int64_t timestamp)
    {
        out_ += "[1,2,{\"progname\":\"folvane\",\"progver\":\"";
        out_ += kProductVersion;
        out_ += "\",\"timestamp\":";
        appendNumber(out_, std::uint64_t(std::max<std::int64_t>(timestamp, 0)));
        out_ += "},\n";
        const NodeId top = tree_.First();
        // The nesting is followed on a stack of its own: no depth exhausts the thread's stack.
        struct Frame {
            NodeId folder;
            std::uint32_t next; // the row of the next child to look at
            bool whole;         // everything below is written
        };
        std::vector<Frame> open;
        auto wanted = [&](NodeId n, bool parentWhole) -> std::uint8_t {
            return parentWhole ? kWhole : n < selection->size() ? (*selection)[n] : 0;
        };
        const bool topWhole = !selection || wanted(top, false) == kWhole;
        entry(top, true);
        open.push_back({top, 0, topWhole});
        while (!open.empty()) {
            Frame &f = open.back();
            const NodeId child = tree_.Child(f.folder, f.next);
            if (child == kNoNode) {
                out_ += ']';
                open.pop_back();
                continue;
            }
            ++f.next;
            const std::uint8_t want = wanted(child, f.whole);
            if (want == 0)
                continue;
            out_ += ",\n";
            if (entry(child, false))
                open.push_back({child, 0, want == kWhole});
            if (out_.size() >= (1 << 20))
                flush();
        }
        out_ += "]\n";
        flush();
    }

private:
    // Writes a node's object, opening its array first when it is a folder to be written with its
    // entries; answers whether it did.
    bool entry(NodeId n, bool top)
    {
        const TFileNodeData &d = tree_.Data(n);
        const bool folder = d.Kind() == NodeKind::Folder;
        const bool notWalked = folder && (d.flags & TFileNodeData::NotScanned);
        // ncdu writes a folder it did not walk as an object; the top folder is an array whatever it holds.
        const bool array = folder && (top || !notWalked);
        if (array)
            out_ += '[';
        out_ += "{\"name\":";
        if (top)
            appendName(out_, tree_.PathBytes(n));
        else
            appendName(out_, tree_.NameBytes(n));
        if (!folder) {
            const std::uint64_t size = SizeOf(tree_, n).value_or(SizeNumber{}).bytes;
            const bool known = !summary_ || summary_->sizeKindKnown;
            const bool disk = summary_ && summary_->sizeKind == SizeKind::DiskUsage;
            // One size of unknown kind stands for both.
            const std::uint64_t other = known ? d.otherSize : size;
            appendKey(out_, "asize", disk ? other : size);
            appendKey(out_, "dsize", disk ? size : other);
            if (auto link = links_.find(n); link != links_.end()) {
                const TLinkName &l = *link->second;
                appendKey(out_, "dev", gnu_dev_makedev(l.device >> 20, l.device & 0xFFFFF));
                appendKey(out_, "ino", l.Inode());
                out_ += ",\"hlnkc\":true";
                appendKey(out_, "nlink", l.linkCount);
            }
        }
        if (d.flags & TFileNodeData::Unreadable)
            out_ += ",\"read_error\":true";
        else if (notWalked) {
            out_ += ",\"excluded\":\"";
            out_ += excludedWord(tree_, n);
            out_ += '"';
        }
        if (const std::optional<LocalSeconds> t = TimeOf(tree_, n, WriteTime))
            if (const std::int64_t utc = UtcOfLocalSeconds(*t); utc >= 0)
                appendKey(out_, "mtime", std::uint64_t(utc));
        out_ += '}';
        return array;
    }

    void flush()
    {
        file_.Write(out_);
        out_.clear();
    }

    const TNodeTree &tree_;
    AtomicFile &file_;
    const TScanSummary *summary_ = nullptr;
    std::unordered_map<NodeId, const TLinkName *> links_;
    std::string out_;
};

} // namespace

NcduSelection SelectionOfList(const TNodeTree &catalogue, const TNodeTree &list)
{
    NcduSelection selection(std::size_t(catalogue.NodeCount()) + 1, 0);
    const NodeId top = catalogue.First();
    if (top == kNoNode)
        return selection;
    const std::string topPath = catalogue.PathBytes(top);
    // The children of the folders met, by name, made once per folder: a list of a folder of
    // 100,000 entries finds each of them at once.
    std::unordered_map<NodeId, std::unordered_map<std::string_view, NodeId>> byName;
    auto childNamed = [&](NodeId folder, std::string_view name) {
        auto [at, made] = byName.try_emplace(folder);
        if (made)
            for (NodeId c = catalogue.FirstChild(folder); c != kNoNode; c = catalogue.NextSibling(c))
                at->second.emplace(catalogue.NameBytes(c), c);
        auto found = at->second.find(name);
        return found == at->second.end() ? kNoNode : found->second;
    };
    for (NodeId entry = list.First(); entry != kNoNode; entry = list.Next(entry)) {
        const std::string path = PathBytesOf(list, entry);
        NodeId at = kNoNode;
        if (path == topPath) {
            at = top;
        } else if (path.size() > topPath.size() && path.starts_with(topPath) &&
                   (topPath.ends_with('/') || path[topPath.size()] == '/')) {
            std::string_view rest = std::string_view(path).substr(topPath.size());
            at = top;
            while (at != kNoNode && !rest.empty()) {
                if (rest.front() == '/') {
                    rest.remove_prefix(1);
                    continue;
                }
                const std::size_t slash = std::min(rest.find('/'), rest.size());
                at = childNamed(at, rest.substr(0, slash));
                rest.remove_prefix(slash);
            }
        }
        if (at == kNoNode)
            continue;
        // Node numbers may outrun the count where a catalogue changed in place: room as needed.
        auto mark = [&](NodeId n) -> std::uint8_t & {
            if (n >= selection.size())
                selection.resize(std::size_t(n) + 1, 0);
            return selection[n];
        };
        mark(at) = kWhole;
        for (NodeId up = catalogue.Parent(at); up != TNodeTree::Root() && up != kNoNode; up = catalogue.Parent(up)) {
            if (mark(up) != 0)
                break; // the way up is marked already
            mark(up) = kAncestor;
        }
    }
    return selection;
}

void WriteNcduJson(const TNodeTree &tree, const std::string &path, const NcduSelection *selection, std::int64_t timestamp)
{
    if (tree.First() == kNoNode)
        throw std::invalid_argument("There is no catalogue to write: it is empty.");
    AtomicFile file(path);
    Writer writer(tree, file);
    writer.Write(selection, timestamp >= 0 ? timestamp : std::int64_t(std::time(nullptr)));
    file.Commit();
}

} // namespace folvane

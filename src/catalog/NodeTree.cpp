#include "NodeTree.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <utility>

#include "catalog/CatalogNotes.h"
#include "catalog/uFileReader.h"
#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane {

namespace {

// A canonical unsigned decimal: digits only, no leading zero unless the number is 0.
template <typename T> std::optional<T> canonicalUnsigned(std::string_view text)
{
    if (text.empty() || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    T value{};
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

template <typename T> std::string decimal(T value)
{
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    return std::string(buf, end);
}

constexpr std::uint32_t bit(int field) { return 1u << field; }

} // namespace

TNodeTree::TNodeTree() = default;
TNodeTree::~TNodeTree() = default;

TNodeTree::TNodeTree(TNodeTree &&other) noexcept
{
    *this = std::move(other);
}

TNodeTree &TNodeTree::operator=(TNodeTree &&other) noexcept
{
    if (this == &other)
        return *this;
    // Every member moves without allocating; the source is left an empty tree.
    nodes_ = std::move(other.nodes_);
    nodeCount_.store(other.nodeCount_.exchange(0));
    childIds_ = std::move(other.childIds_);
    other.childIds_.clear();
    textChunks_ = std::move(other.textChunks_);
    overrides_ = std::move(other.overrides_);
    other.overrides_.clear();
    notes_ = std::move(other.notes_);
    freeIds_ = std::move(other.freeIds_);
    other.freeIds_.clear();
    textAllocated_ = std::exchange(other.textAllocated_, 0);
    deadText_ = std::exchange(other.deadText_, 0);
    deadSlots_ = std::exchange(other.deadSlots_, 0);
    bulk_ = std::exchange(other.bulk_, false);
    bulkDelta_ = std::exchange(other.bulkDelta_, 0);
    writer_.chunk_ = other.writer_.chunk_;
    writer_.used_ = other.writer_.used_;
    writer_.capacity_ = other.writer_.capacity_;
    other.writer_ = TextWriter(other);
    return *this;
}

void TNodeTree::Clear()
{
    *this = TNodeTree();
}

NodeId TNodeTree::allocateNodes(std::uint32_t count)
{
    if (std::uint64_t(nodes_.Size()) + count >= std::uint64_t(kNoNode))
        throw std::length_error("too many entries for one catalogue");
    NodeId first = nodes_.Append(count);
    nodeCount_.store(nodes_.Size(), std::memory_order_release);
    return first;
}

void TNodeTree::ensureRoot()
{
    if (nodes_.Size() == 0)
        allocateNodes(1); // the invisible root
}

void TNodeTree::addToAncestors(NodeId parent, std::uint32_t count)
{
    for (NodeId p = parent; p != kNoNode; p = node(p).parent) {
        if (bulk_)
            std::atomic_ref<std::uint32_t>(node(p).subtree).fetch_add(count, std::memory_order_relaxed);
        else
            node(p).subtree += count;
    }
}

NodeId TNodeTree::AddChild(NodeId parent)
{
    if (bulk_)
        throw std::logic_error("AddChild during a bulk build");
    ensureRoot();
    if (parent >= nodes_.Size())
        throw std::out_of_range("AddChild: no such parent");
    NodeId id = newNode();
    Node &p = node(parent);
    Node &n = node(id);
    n.parent = parent;
    n.row = p.childCount;
    if (p.childCount == p.childCap) {
        std::uint32_t newCap = std::max<std::uint32_t>(4, p.childCap * 2);
        if (p.childCap > 0 && p.childBegin + p.childCap == childIds_.size()) {
            childIds_.resize(p.childBegin + newCap); // the slice is last: grow it in place
        } else {
            std::uint32_t begin = std::uint32_t(childIds_.size());
            childIds_.resize(begin + newCap);
            std::copy_n(childIds_.begin() + p.childBegin, p.childCount, childIds_.begin() + begin);
            p.childBegin = begin;
            deadSlots_ += p.childCap;
        }
        p.childCap = newCap;
    }
    childIds_[p.childBegin + p.childCount++] = id;
    addToAncestors(parent, 1);
    return id;
}

void TNodeTree::BeginBulk()
{
    std::lock_guard lock(mutex_);
    ensureRoot();
    bulk_ = true;
    bulkDelta_ = std::int64_t(childIds_.size()) - std::int64_t(nodeCount_.load());
}

NodeId TNodeTree::AddChildBlock(NodeId parent, std::uint32_t count)
{
    if (count == 0)
        return kNoNode;
    NodeId first;
    {
        std::lock_guard lock(mutex_);
        first = allocateNodes(count);
    }
    Node &p = node(parent);
    p.childBegin = std::uint32_t(std::int64_t(first) + bulkDelta_);
    p.childCount = count;
    p.childCap = count;
    for (std::uint32_t r = 0; r < count; ++r) {
        Node &n = node(first + r);
        n.parent = parent;
        n.row = r;
    }
    addToAncestors(parent, count);
    return first;
}

void TNodeTree::FinishBulk()
{
    std::lock_guard lock(mutex_);
    if (!bulk_)
        return;
    std::size_t begin = childIds_.size();
    std::size_t end = std::size_t(std::int64_t(nodeCount_.load()) + bulkDelta_);
    childIds_.resize(end);
    for (std::size_t slot = begin; slot < end; ++slot)
        childIds_[slot] = std::uint32_t(std::int64_t(slot) - bulkDelta_);
    bulk_ = false;
}

NodeId TNodeTree::AddDetached()
{
    std::lock_guard lock(mutex_);
    if (bulk_)
        throw std::logic_error("AddDetached during a bulk build");
    ensureRoot();
    return allocateNodes(1);
}

void TNodeTree::AdoptChildren(NodeId parent, std::span<const NodeId> children)
{
    if (parent >= nodeCount_.load(std::memory_order_acquire) || node(parent).childCount != 0)
        throw std::invalid_argument("AdoptChildren: not a parent without children");
    if (children.empty())
        return;
    Node &p = node(parent);
    {
        std::lock_guard lock(mutex_); // readers building parts of one tree on several threads share the child list
        if (childIds_.size() + children.size() >= std::size_t(kNoNode))
            throw std::length_error("too many entries for one catalogue");
        p.childBegin = std::uint32_t(childIds_.size());
        childIds_.insert(childIds_.end(), children.begin(), children.end());
    }
    p.childCount = p.childCap = std::uint32_t(children.size());
    std::uint32_t below = 0;
    for (std::uint32_t r = 0; r < p.childCount; ++r) {
        Node &c = node(children[r]);
        c.parent = parent;
        c.row = r;
        below += c.subtree;
    }
    addToAncestors(parent, below);
}

void TNodeTree::ReserveDetached(std::size_t nodes)
{
    std::lock_guard lock(mutex_);
    childIds_.reserve(childIds_.size() + std::min<std::size_t>(nodes, kNoNode));
}

NodeId TNodeTree::Parent(NodeId id) const
{
    return id < nodeCount_.load(std::memory_order_relaxed) ? node(id).parent : kNoNode;
}

NodeId TNodeTree::FirstChild(NodeId id) const
{
    return ChildCount(id) ? childIds_[node(id).childBegin] : kNoNode;
}

std::uint32_t TNodeTree::ChildCount(NodeId id) const
{
    return id < nodeCount_.load(std::memory_order_relaxed) ? node(id).childCount : 0;
}

NodeId TNodeTree::Child(NodeId parent, std::uint32_t row) const
{
    if (row >= ChildCount(parent))
        return kNoNode;
    return childIds_[node(parent).childBegin + row];
}

std::uint32_t TNodeTree::Row(NodeId id) const
{
    return node(id).row;
}

NodeId TNodeTree::NextSibling(NodeId id) const
{
    if (!IsValid(id))
        return kNoNode;
    const Node &n = node(id);
    return Child(n.parent, n.row + 1);
}

NodeId TNodeTree::PrevSibling(NodeId id) const
{
    if (!IsValid(id) || node(id).row == 0)
        return kNoNode;
    const Node &n = node(id);
    return Child(n.parent, n.row - 1);
}

NodeId TNodeTree::Next(NodeId id) const
{
    if (id == kNoNode)
        return kNoNode;
    if (ChildCount(id))
        return FirstChild(id);
    while (id != Root() && id != kNoNode) {
        NodeId sibling = NextSibling(id);
        if (sibling != kNoNode)
            return sibling;
        id = node(id).parent;
    }
    return kNoNode;
}

std::uint32_t TNodeTree::Level(NodeId id) const
{
    if (!IsValid(id))
        return 0;
    std::uint32_t level = 0;
    for (NodeId p = node(id).parent; p != Root(); p = node(p).parent)
        ++level;
    return level;
}

std::uint32_t TNodeTree::TotalCount(NodeId id) const
{
    if (id < nodeCount_.load(std::memory_order_relaxed))
        return node(id).subtree;
    return id == Root() ? 1 : 0; // the root of a tree that has had no node yet
}

std::uint32_t TNodeTree::NodeCount() const
{
    std::uint32_t n = nodeCount_.load(std::memory_order_relaxed);
    return n ? n - 1 - std::uint32_t(freeIds_.size()) : 0;
}

void TNodeTree::ReorderChildren(NodeId parent, std::span<const NodeId> order)
{
    if (order.size() != ChildCount(parent))
        throw std::invalid_argument("ReorderChildren: not a permutation of the children");
    if (order.empty())
        return; // also the root of a tree that has no node yet
    Node &p = node(parent);
    for (std::uint32_t r = 0; r < p.childCount; ++r) {
        if (!IsValid(order[r]) || node(order[r]).parent != parent)
            throw std::invalid_argument("ReorderChildren: not a child of the node");
        childIds_[p.childBegin + r] = order[r];
        node(order[r]).row = r;
    }
}

std::vector<NodeId> TNodeTree::Children(NodeId parent) const
{
    std::uint32_t n = ChildCount(parent);
    if (n == 0)
        return {};
    auto begin = childIds_.begin() + node(parent).childBegin;
    return std::vector<NodeId>(begin, begin + n);
}

void TNodeTree::SetExpanded(NodeId id, bool expanded)
{
    auto &flags = node(id).data.flags;
    flags = expanded ? (flags | TFileNodeData::Expanded) : (flags & ~TFileNodeData::Expanded);
}

// --- Text store ---------------------------------------------------------------------------

std::uint64_t TNodeTree::newTextChunk(std::uint32_t minSize, std::uint32_t &capacity)
{
    // Each writer's chunks double from 4 KiB to 1 MiB; a longer text gets a chunk of its own size.
    capacity = std::max(minSize, std::clamp(capacity * 2, kFirstTextChunk, kMaxTextChunk));
    auto chunk = std::make_unique_for_overwrite<char[]>(capacity);
    std::lock_guard lock(mutex_);
    std::uint32_t index = textChunks_.Append(1);
    textChunks_[index] = std::move(chunk);
    textAllocated_ += capacity;
    return index;
}

std::uint64_t TNodeTree::TextWriter::Append(std::string_view bytes)
{
    if (bytes.size() > UINT32_MAX)
        throw std::length_error("text too long");
    auto len = std::uint32_t(bytes.size());
    if (capacity_ - used_ < len || capacity_ == 0) {
        chunk_ = tree_->newTextChunk(len, capacity_);
        used_ = 0;
    }
    char *base = tree_->textChunks_[std::uint32_t(chunk_)].get();
    std::memcpy(base + used_, bytes.data(), len);
    std::uint64_t ref = (chunk_ << 32) | used_;
    used_ += len;
    return ref;
}

std::string TNodeTree::PathBytes(NodeId id) const
{
    // Collect the names up to the nearest node that knows its whole path, then join them.
    thread_local std::vector<NodeId> chain;
    chain.clear();
    NodeId n = id;
    while (IsValid(n) && !(Data(n).flags & TFileNodeData::ExplicitPath) && node(n).parent != Root()) {
        chain.push_back(n);
        n = node(n).parent;
    }
    std::string path;
    if (IsValid(n)) {
        const TFileNodeData &d = Data(n);
        path = (d.flags & TFileNodeData::ExplicitPath) ? std::string(text(d.textRef, d.textLen))
                                                        : std::string(NameBytes(n));
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (path.empty() || path.back() != '/')
            path += '/';
        path += NameBytes(*it);
    }
    return path;
}

void TNodeTree::SetName(NodeId id, std::string_view nameBytes)
{
    TFileNodeData &d = Data(id);
    deadText_ += d.textLen;
    d.textRef = writer_.Append(nameBytes);
    d.textLen = std::uint32_t(nameBytes.size());
    d.nameLen = std::uint16_t(std::min<std::size_t>(nameBytes.size(), UINT16_MAX));
    d.flags &= ~TFileNodeData::ExplicitPath;
    d.present |= bit(FileName);
    eraseOverride(id, FileName);
}

void TNodeTree::SetExplicitPath(NodeId id, std::string_view pathBytes, std::size_t nameLen)
{
    TFileNodeData &d = Data(id);
    deadText_ += d.textLen;
    d.textRef = writer_.Append(pathBytes);
    d.textLen = std::uint32_t(pathBytes.size());
    d.nameLen = std::uint16_t(std::min<std::size_t>({nameLen, pathBytes.size(), UINT16_MAX}));
    d.flags |= TFileNodeData::ExplicitPath;
}

// --- Field text -----------------------------------------------------------------------------

std::string TNodeTree::renderTyped(NodeId id, int field) const
{
    const TFileNodeData &d = Data(id);
    switch (field) {
    case FileName:
    case DOSName: return ValidUtf8(NameBytes(id));
    case FullPath: return ValidUtf8(PathBytes(id));
    case FileSize: return decimal(d.size);
    case FileExt: return ValidUtf8(ExtensionOf(NameBytes(id)));
    case FileType: return d.Kind() == NodeKind::Folder ? "folder" : d.Kind() == NodeKind::File ? "file" : "";
    case FileNameLength: return decimal(CodePointCount(NameBytes(id)));
    case PathNameLength: return decimal(CodePointCount(PathBytes(id)));
    case SizePercentage:
        return d.percent == TFileNodeData::kZeroTotal ? std::string("0") : FormatHundredths(d.percent, false);
    case CreateTime:
    case AccessTime:
    case WriteTime: return FormatDateTime(d.times[field - CreateTime]);
    case FileCount: return decimal(d.count);
    case CreateAgeRange:
    case AccessAgeRange:
    case WriteAgeRange:
    case SizeRange: return decimal(unsigned(d.classes[field - CreateAgeRange]));
    default: return {}; // Description, CatalogName: only written text
    }
}

std::string TNodeTree::Field(NodeId id, int field) const
{
    if (!IsValid(id) || field < 0 || field >= kFieldCount)
        return {};
    const TFileNodeData &d = Data(id);
    if (!d.Has(field))
        return {};
    if (const std::string *written = Override(id, field))
        return *written;
    return renderTyped(id, field);
}

bool TNodeTree::FieldEmpty(NodeId id, int field) const
{
    if (!IsValid(id) || field < 0 || field >= kFieldCount || !Data(id).Has(field))
        return true;
    if (const std::string *written = Override(id, field))
        return written->empty();
    return field == Description || field == CatalogName;
}

const std::string *TNodeTree::findOverride(NodeId id, int field) const
{
    auto it = overrides_.find(overrideKey(id, field));
    return it == overrides_.end() ? nullptr : &it->second;
}

void TNodeTree::setOverride(NodeId id, int field, std::string_view value)
{
    overrides_[overrideKey(id, field)] = std::string(value);
    TFileNodeData &d = Data(id);
    d.flags |= TFileNodeData::HasOverride;
    d.present |= bit(field);
}

void TNodeTree::SetWrittenText(NodeId id, int field, std::string_view text)
{
    if (IsValid(id) && field >= 0 && field < kFieldCount)
        setOverride(id, field, text);
}

void TNodeTree::eraseOverride(NodeId id, int field)
{
    if (Data(id).flags & TFileNodeData::HasOverride)
        overrides_.erase(overrideKey(id, field));
}

void TNodeTree::ClearField(NodeId id, int field)
{
    eraseOverride(id, field);
    TFileNodeData &d = Data(id);
    d.present &= ~bit(field);
    if (field == FileType)
        d.flags &= ~(TFileNodeData::Folder | TFileNodeData::File);
}

void TNodeTree::SetSize(NodeId id, std::uint64_t size)
{
    eraseOverride(id, FileSize);
    Data(id).size = size;
    Data(id).present |= bit(FileSize);
}

void TNodeTree::SetCount(NodeId id, std::uint32_t count)
{
    eraseOverride(id, FileCount);
    Data(id).count = count;
    Data(id).present |= bit(FileCount);
}

void TNodeTree::SetPercentage(NodeId id, std::uint64_t size, std::uint64_t total)
{
    eraseOverride(id, SizePercentage);
    TFileNodeData &d = Data(id);
    if (total == 0) {
        d.percent = TFileNodeData::kZeroTotal;
    } else if (Hundredths h = PercentHundredths(size, total); h <= INT32_MAX) {
        d.percent = std::int32_t(h);
    } else {
        // Only a total far below the size gets here (above 21 million per cent): kept as text.
        setOverride(id, SizePercentage, PercentText(size, total));
        return;
    }
    d.present |= bit(SizePercentage);
}

void TNodeTree::SetClass(NodeId id, int field, std::uint8_t index)
{
    eraseOverride(id, field);
    TFileNodeData &d = Data(id);
    d.classes[field - CreateAgeRange] = index;
    d.present |= bit(field);
}

void TNodeTree::SetField(NodeId id, int field, std::string_view value)
{
    if (!IsValid(id) || field < 0 || field >= kFieldCount)
        return;
    if (value.empty()) {
        ClearField(id, field);
        return;
    }
    TFileNodeData &d = Data(id);
    auto markRendered = [&] {
        eraseOverride(id, field);
        d.present |= bit(field);
    };
    // Fields derived from the name or path hold the written text unless it is what they render.
    auto keepIfRendered = [&] {
        if (renderTyped(id, field) == value)
            markRendered();
        else
            setOverride(id, field, value);
    };
    switch (field) {
    case FileName:
        if (d.textLen == 0 && !(d.flags & TFileNodeData::ExplicitPath) && IsValidUtf8(value))
            SetName(id, value);
        else
            keepIfRendered();
        return;
    case FullPath:
    case FileExt:
    case FileNameLength:
    case PathNameLength:
    case DOSName: keepIfRendered(); return;
    case FileSize:
        if (auto v = canonicalUnsigned<std::uint64_t>(value))
            SetSize(id, *v);
        else
            setOverride(id, field, value);
        return;
    case FileType:
        d.flags &= ~(TFileNodeData::Folder | TFileNodeData::File);
        if (value == "folder" || value == "file") {
            d.flags |= value == "folder" ? TFileNodeData::Folder : TFileNodeData::File;
            markRendered();
        } else {
            setOverride(id, field, value);
        }
        return;
    case SizePercentage:
        if (value == "0") {
            d.percent = TFileNodeData::kZeroTotal;
            markRendered();
            return;
        }
        if (auto v = ParseFloat(value)) {
            Hundredths h = ToHundredths(*v);
            if (h >= INT32_MIN + 1 && h <= INT32_MAX && FormatHundredths(h, false) == value) {
                d.percent = std::int32_t(h);
                markRendered();
                return;
            }
        }
        setOverride(id, field, value);
        return;
    case CreateTime:
    case AccessTime:
    case WriteTime:
        if (auto t = ParseDateTime(value); t && FormatDateTime(*t) == value) {
            d.times[field - CreateTime] = *t;
            markRendered();
        } else {
            setOverride(id, field, value);
        }
        return;
    case FileCount:
        if (auto v = canonicalUnsigned<std::uint32_t>(value))
            SetCount(id, *v);
        else
            setOverride(id, field, value);
        return;
    case CreateAgeRange:
    case AccessAgeRange:
    case WriteAgeRange:
    case SizeRange:
        if (auto v = canonicalUnsigned<std::uint8_t>(value))
            SetClass(id, field, *v);
        else
            setOverride(id, field, value);
        return;
    default: setOverride(id, field, value); return; // Description, CatalogName
    }
}

TCatalogNotes &TNodeTree::Notes()
{
    if (!notes_)
        notes_ = std::make_unique<TCatalogNotes>();
    return *notes_;
}

// --- Changing a catalogue in place ------------------------------------------------------------

NodeId TNodeTree::newNode()
{
    if (freeIds_.empty())
        return allocateNodes(1);
    NodeId id = freeIds_.back();
    freeIds_.pop_back();
    node(id) = Node{};
    return id;
}

// Frees `top` and everything below it; its parent's child list and the counts above are the caller's.
void TNodeTree::freeSubtree(NodeId top)
{
    std::vector<NodeId> stack{top};
    while (!stack.empty()) {
        const NodeId id = stack.back();
        stack.pop_back();
        Node &n = node(id);
        for (std::uint32_t r = 0; r < n.childCount; ++r)
            if (const NodeId child = childIds_[n.childBegin + r]; child != kNoNode) // kNoNode: removed before
                stack.push_back(child);
        if (n.data.flags & TFileNodeData::HasOverride)
            for (int field = 0; field < kFieldCount; ++field)
                overrides_.erase(overrideKey(id, field));
        if (notes_) {
            notes_->reasons.erase(id);
            notes_->excludedIn.erase(id);
        }
        deadText_ += n.data.textLen;
        deadSlots_ += n.childCap;
        n = Node{};
        n.subtree = 0; // no longer valid (removed)
        freeIds_.push_back(id);
    }
}

void TNodeTree::RemoveSubtrees(std::span<const NodeId> nodes)
{
    if (bulk_)
        throw std::logic_error("RemoveSubtrees during a bulk build");
    // Each node leaves a hole in its parent's child list; every list with holes is closed up
    // once, so removing many children of one big folder costs one pass over it.
    std::vector<NodeId> parents;
    for (NodeId id : nodes) {
        if (!IsValid(id))
            continue;
        const NodeId parent = node(id).parent;
        const std::uint32_t count = node(id).subtree;
        for (NodeId p = parent; p != kNoNode; p = node(p).parent)
            node(p).subtree -= count;
        childIds_[node(parent).childBegin + node(id).row] = kNoNode;
        parents.push_back(parent);
        freeSubtree(id);
    }
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    for (NodeId parent : parents) {
        if (parent != Root() && !IsValid(parent))
            continue; // removed itself, after its child
        Node &p = node(parent);
        std::uint32_t kept = 0;
        for (std::uint32_t r = 0; r < p.childCount; ++r) {
            const NodeId child = childIds_[p.childBegin + r];
            if (child == kNoNode)
                continue;
            node(child).row = kept;
            childIds_[p.childBegin + kept++] = child;
        }
        p.childCount = kept;
    }
    // The names of files with several names that were removed leave the table, in one pass.
    if (notes_ && !parents.empty())
        std::erase_if(notes_->links, [this](const TLinkName &l) { return !IsValid(l.node); });
    compactIfWasteful();
}

void TNodeTree::CopyRecord(NodeId to, const TNodeTree &from, NodeId source)
{
    const TFileNodeData &f = from.Data(source);
    TFileNodeData &t = Data(to);
    if (t.flags & TFileNodeData::HasOverride)
        for (int field = 0; field < kFieldCount; ++field)
            eraseOverride(to, field);
    deadText_ += t.textLen;
    t = f;
    t.flags &= ~(TFileNodeData::HasOverride | TFileNodeData::ExplicitPath);
    t.textLen = 0;
    t.nameLen = 0;
    if (f.flags & TFileNodeData::ExplicitPath)
        SetExplicitPath(to, from.text(f.textRef, f.textLen), f.nameLen);
    else if (f.textLen > 0)
        SetName(to, from.NameBytes(source));
    if (f.flags & TFileNodeData::HasOverride)
        for (int field = 0; field < kFieldCount; ++field)
            if (const std::string *written = from.Override(source, field))
                setOverride(to, field, *written);
    Data(to).present = f.present;
}

void TNodeTree::copyBelow(NodeId to, const TNodeTree &from, NodeId source, const CopyVisit &copied)
{
    // Each copied folder gets a child list of exactly its size, filled in row order.
    std::vector<std::pair<NodeId, NodeId>> stack{{to, source}};
    std::vector<NodeId> ids;
    while (!stack.empty()) {
        const auto [at, src] = stack.back();
        stack.pop_back();
        const std::uint32_t count = from.ChildCount(src);
        node(at).subtree = from.TotalCount(src);
        if (count == 0)
            continue;
        const auto begin = std::uint32_t(childIds_.size());
        childIds_.resize(std::size_t(begin) + count);
        node(at).childBegin = begin;
        node(at).childCount = count;
        node(at).childCap = count;
        // Numbers ascending in row order, as a scan numbers a folder's entries, so that among
        // siblings the numbers keep the order the directory delivered them in.
        ids.clear();
        for (std::uint32_t r = 0; r < count; ++r)
            ids.push_back(newNode());
        std::sort(ids.begin(), ids.end());
        for (std::uint32_t r = 0; r < count; ++r) {
            const NodeId child = ids[r];
            node(child) = Node{};
            node(child).parent = at;
            node(child).row = r;
            childIds_[begin + r] = child;
            const NodeId srcChild = from.Child(src, r);
            CopyRecord(child, from, srcChild);
            if (copied)
                copied(srcChild, child);
            stack.emplace_back(child, srcChild);
        }
    }
}

NodeId TNodeTree::CopySubtree(NodeId parent, const TNodeTree &from, NodeId source, const CopyVisit &copied)
{
    const NodeId top = AddChild(parent);
    CopyRecord(top, from, source);
    if (copied)
        copied(source, top);
    copyBelow(top, from, source, copied);
    // AddChild counted the copy of `source` alone in the nodes above.
    const std::uint32_t below = from.TotalCount(source) - 1;
    for (NodeId p = parent; p != kNoNode; p = node(p).parent)
        node(p).subtree += below;
    compactIfWasteful();
    return top;
}

void TNodeTree::CopyChildren(NodeId parent, const TNodeTree &from, NodeId source, const CopyVisit &copied)
{
    if (ChildCount(parent) != 0)
        throw std::logic_error("CopyChildren: the folder has children");
    copyBelow(parent, from, source, copied);
    const std::uint32_t below = from.TotalCount(source) - 1;
    for (NodeId p = node(parent).parent; p != kNoNode; p = node(p).parent)
        node(p).subtree += below;
    compactIfWasteful();
}

std::uint64_t TNodeTree::StorageBytes() const
{
    return std::uint64_t(nodes_.Size()) * sizeof(Node) + textAllocated_ +
           childIds_.capacity() * sizeof(std::uint32_t) + freeIds_.capacity() * sizeof(NodeId);
}

// Compacting costs a pass over the whole tree, so it waits until the waste is as big as what is
// in use: each byte left behind is then moved at most once, and the waste never exceeds the use.
void TNodeTree::compactIfWasteful()
{
    constexpr std::uint64_t kSmallWaste = 1u << 20;
    if (deadText_ > kSmallWaste && deadText_ * 2 > textAllocated_)
        compactText();
    if (deadSlots_ * sizeof(std::uint32_t) > kSmallWaste && deadSlots_ * 2 > childIds_.size())
        compactChildSlots();
}

void TNodeTree::compactText()
{
    TBlockStore<std::unique_ptr<char[]>, 4> old = std::move(textChunks_);
    textAllocated_ = 0;
    deadText_ = 0;
    writer_ = TextWriter(*this);
    for (NodeId id = 1; id < IdLimit(); ++id) {
        TFileNodeData &d = node(id).data;
        if (removed(node(id)) || d.textLen == 0)
            continue;
        const char *base = old[std::uint32_t(d.textRef >> 32)].get();
        d.textRef = writer_.Append(std::string_view(base + (d.textRef & 0xFFFFFFFFu), d.textLen));
    }
}

void TNodeTree::compactChildSlots()
{
    std::vector<std::uint32_t> slots;
    slots.reserve(childIds_.size() - std::min<std::uint64_t>(deadSlots_, childIds_.size()));
    for (NodeId id = 0; id < IdLimit(); ++id) {
        Node &n = node(id);
        if (n.childCount == 0)
            n.childCap = 0; // its list, if it had one, goes
        if (n.childCount == 0 || (id != Root() && removed(n)))
            continue;
        const auto begin = std::uint32_t(slots.size());
        slots.insert(slots.end(), childIds_.begin() + n.childBegin, childIds_.begin() + n.childBegin + n.childCount);
        n.childBegin = begin;
        n.childCap = n.childCount;
    }
    childIds_ = std::move(slots);
    deadSlots_ = 0;
}

void CopyNodeData(const TNodeTree &sourceTree, NodeId source, TNodeTree &destinationTree, NodeId destination)
{
    const TFileNodeData &from = sourceTree.Data(source);
    TFileNodeData &to = destinationTree.Data(destination);
    to = from;
    to.flags &= ~(TFileNodeData::Expanded | TFileNodeData::HasOverride);
    to.textLen = 0;
    to.nameLen = 0;
    if (from.textLen > 0 || (from.flags & TFileNodeData::ExplicitPath))
        destinationTree.SetExplicitPath(destination, sourceTree.PathBytes(source), from.nameLen);
    if (from.flags & TFileNodeData::HasOverride)
        for (int field = 0; field < kFieldCount; ++field)
            if (const std::string *written = sourceTree.Override(source, field))
                destinationTree.setOverride(destination, field, *written);
    destinationTree.Data(destination).present = from.present;
    // A marked record brings its reason along; the copy has no notes of its own to look it up in.
    if (std::string reason = ReasonText(sourceTree, source); !reason.empty())
        destinationTree.Notes().reasons[destination] = {ReasonKind::Text, 0, std::move(reason)};
}

} // namespace folvane

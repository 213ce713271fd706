#pragma once
// The node tree behind every tree-grid: nodes with one TFileNodeData each, under an invisible root.
//
// Nodes are numbered; a number stays valid until the tree is cleared. Each node knows its parent,
// its row among its siblings and the slice of the shared child list that holds its children, so
// child-by-row, row-of-node and sibling steps are constant time, and reordering children touches
// only that slice. The number of nodes in each subtree is maintained as nodes are added.
//
// Storage grows in blocks that never move (TBlockStore), so a scan may add blocks of nodes from
// several threads (AddChildBlock) while the nodes already handed out stay where they are. Nothing
// is allocated until the first node is added: an empty tree, a cleared one and a moved-from one
// cost nothing, and a list of a few entries costs a few small blocks.
//
// A catalogue can be changed in place (RemoveSubtrees, CopySubtree): a removed node's number is
// no longer valid and is given to the next node added, so numbers stay below the most nodes the
// tree ever held at once. Names and child lists left behind by removed nodes are counted, and
// once they are as big as what is still in use they are compacted (numbers do not change), so
// repeated changes do not make the tree grow without bound.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog/BlockStore.h"
#include "catalog/FileNodeData.h"

namespace folvane {

using NodeId = std::uint32_t;
constexpr NodeId kNoNode = UINT32_MAX;

class TCatalogNotes;

class TNodeTree {
public:
    TNodeTree();
    ~TNodeTree(); // out of line: the notes are an incomplete type here
    TNodeTree(const TNodeTree &) = delete;
    TNodeTree &operator=(const TNodeTree &) = delete;
    TNodeTree(TNodeTree &&) noexcept;
    TNodeTree &operator=(TNodeTree &&) noexcept;

    // Removes every node; their records go with them.
    void Clear();

    // The invisible root: the parent of the top-level nodes. It has no record of its own.
    static constexpr NodeId Root() { return 0; }
    // Adds a new node with an empty record as the last child of `parent` (Root() for the top level).
    NodeId AddChild(NodeId parent);
    NodeId AddTopLevel() { return AddChild(Root()); }

    // Navigation. Steps that lead nowhere answer kNoNode.
    NodeId Parent(NodeId node) const;            // Root() for a top-level node
    NodeId FirstChild(NodeId node) const;
    NodeId NextSibling(NodeId node) const;
    NodeId PrevSibling(NodeId node) const;
    std::uint32_t ChildCount(NodeId node) const;
    NodeId Child(NodeId parent, std::uint32_t row) const;
    std::uint32_t Row(NodeId node) const;
    NodeId First() const { return FirstChild(Root()); }
    NodeId Next(NodeId node) const;              // depth-first pre-order over the whole tree
    std::uint32_t Level(NodeId node) const;      // 0 for top-level nodes and for no node
    std::uint32_t TotalCount(NodeId node) const; // the node and every node below it (1 for an empty tree's root)
    std::uint32_t NodeCount() const;             // every node but the invisible root
    // One past the highest node number: loops over all numbers stop here and skip invalid ones.
    NodeId IdLimit() const { return nodeCount_.load(std::memory_order_relaxed); }
    // A removed node's number is not valid; a node added detached (AddDetached) is, before it is
    // adopted too.
    bool IsValid(NodeId node) const
    {
        return node != Root() && node < nodeCount_.load(std::memory_order_relaxed) && !removed(this->node(node));
    }

    // Puts the children of `parent` in the given order (a permutation of its children).
    void ReorderChildren(NodeId parent, std::span<const NodeId> order);
    std::vector<NodeId> Children(NodeId parent) const;

    // The record.
    // Inline, as the few reads below: every sort, count and painted cell goes through them.
    TFileNodeData &Data(NodeId node) { return this->node(node).data; }
    const TFileNodeData &Data(NodeId node) const { return this->node(node).data; }
    bool Expanded(NodeId node) const { return Data(node).flags & TFileNodeData::Expanded; }
    void SetExpanded(NodeId node, bool expanded);

    // Field text by index, as part of the record's contract: rendered from typed values, or as written.
    std::string Field(NodeId node, int field) const;
    void SetField(NodeId node, int field, std::string_view text);
    bool FieldEmpty(NodeId node, int field) const;

    // The name and full path as the file system knows them (bytes, not necessarily UTF-8).
    std::string_view NameBytes(NodeId node) const
    {
        const TFileNodeData &d = Data(node);
        const std::string_view all = text(d.textRef, d.textLen);
        return all.substr(all.size() - d.nameLen);
    }
    std::string PathBytes(NodeId node) const;

    // Typed writes used by the scan, the roll-up and the statistics.
    void SetName(NodeId node, std::string_view nameBytes);
    void SetExplicitPath(NodeId node, std::string_view pathBytes, std::size_t nameLen);
    void SetSize(NodeId node, std::uint64_t size);
    void SetCount(NodeId node, std::uint32_t count);
    // The share of `size` bytes in `total` bytes, exactly rounded (PercentText); "0" when total is 0.
    void SetPercentage(NodeId node, std::uint64_t size, std::uint64_t total);
    void SetClass(NodeId node, int field, std::uint8_t index);          // fields 15 to 18
    void ClearField(NodeId node, int field);
    // The written text of a field, if it holds one that is not a rendered value.
    const std::string *Override(NodeId node, int field) const
    {
        return (Data(node).flags & TFileNodeData::HasOverride) ? findOverride(node, field) : nullptr;
    }
    // Makes the field hold `text` as written, whatever the record renders: for a reader that has
    // compared the two already (SetField compares them itself, from the tree as it stands).
    void SetWrittenText(NodeId node, int field, std::string_view text);

    // What the catalogue knows beyond its records (CatalogNotes.h): made on first use, so that
    // trees that need none pay nothing; FindNotes answers nullptr until then.
    TCatalogNotes &Notes();
    const TCatalogNotes *FindNotes() const { return notes_.get(); }

    // --- Changing a catalogue in place -----------------------------------------------------
    // Removes each node with everything below it; their numbers become invalid, and what the
    // notes held of them goes (their reasons, their names in the link table, what was left out
    // of them). The summary's counts are the caller's. The counts of the
    // nodes above shrink, and the siblings that remain keep their order. Numbers that are not
    // valid (a node below one removed earlier in the list) are passed over.
    void RemoveSubtrees(std::span<const NodeId> nodes);
    // Told of each node copied: its number in the source and that of its copy.
    using CopyVisit = std::function<void(NodeId source, NodeId copy)>;
    // Adds a copy of `source` of `from` with everything below it, in the same order, as the last
    // child of `parent`, and answers the copy of `source`. Records are copied whole (names keep
    // their bytes; a node holding its whole path keeps it); the expanded state goes too. The
    // children of each copied folder are numbered in ascending order, as a scan numbers them.
    // The notes of `from` are not copied: `copied` may carry over what the caller wants of them.
    NodeId CopySubtree(NodeId parent, const TNodeTree &from, NodeId source, const CopyVisit &copied = {});
    // The same for the children of `source`, which become the children of `parent`, a node that
    // has none; numbered the same way, the copies of the first level included.
    void CopyChildren(NodeId parent, const TNodeTree &from, NodeId source, const CopyVisit &copied = {});
    // Makes the record of `to` a copy of the record of `source` of `from`, as CopySubtree does.
    void CopyRecord(NodeId to, const TNodeTree &from, NodeId source);
    // The bytes the tree holds: nodes, names and child lists, used or not.
    std::uint64_t StorageBytes() const;

    // --- Bulk building for the scan -------------------------------------------------------
    // Per-thread writer into the name store: each thread appends to a chunk of its own.
    // Its chunks start small and double up to 1 MiB, so a few names cost a few kilobytes.
    class TextWriter {
    public:
        explicit TextWriter(TNodeTree &tree) : tree_(&tree) {}
        std::uint64_t Append(std::string_view bytes);

    private:
        friend class TNodeTree;
        TNodeTree *tree_;
        std::uint64_t chunk_ = 0;
        std::uint32_t used_ = 0, capacity_ = 0;
    };
    // Adds `count` children to `parent`, which has none yet, numbered first..first+count-1 in row
    // order. Safe to call from several threads for different parents; the records are filled by
    // the caller. The subtree counts of the parent and its ancestors grow by `count`.
    // Navigation by row (Child, NextSibling, Children) waits for FinishBulk; Parent and Data do not.
    void BeginBulk();
    NodeId AddChildBlock(NodeId parent, std::uint32_t count);
    // Makes the tree ready for ordinary use after a bulk build; called once the threads are done.
    void FinishBulk();

    // --- Building in file order, for a catalogue read from a file ---------------------------
    // A file lists a folder's entries interleaved with their own subtrees, so a folder's child
    // count is known only once its last entry is read. A reader adds each node detached (in no
    // child list yet), and once a folder's entries are all read it hands them to the folder in
    // one step, bottom up: every child list is then stored once and exactly, without the moves
    // and left-over capacity that AddChild would cost on this order.
    // Several threads may build detached parts at once, each filling the records of its own
    // nodes (names through a TextWriter of its own); nothing navigates the tree meanwhile.
    NodeId AddDetached();
    // Makes `children` (detached nodes, each with its own children already adopted) the children
    // of `parent`, which has none yet, in this order. The subtree counts of `parent` and its
    // ancestors grow by theirs.
    void AdoptChildren(NodeId parent, std::span<const NodeId> children);
    // Address space for the child lists of at most `nodes` nodes added detached, taken at once
    // so that the list never grows by copying itself while a file is read. Memory that is never
    // written costs nothing, so an upper bound is fine.
    void ReserveDetached(std::size_t nodes);

private:
    struct Node {
        std::uint32_t parent = kNoNode;
        std::uint32_t childBegin = 0; // first slot of the children in childIds_
        std::uint32_t childCount = 0;
        std::uint32_t childCap = 0;
        std::uint32_t row = 0;
        std::uint32_t subtree = 1; // this node and all below it
        TFileNodeData data;
    };
    static constexpr std::uint32_t kFirstTextChunk = 1u << 12;
    static constexpr std::uint32_t kMaxTextChunk = 1u << 20;

    // A removed node has no parent and counts no node, not even itself; a detached one has no
    // parent yet but counts itself.
    static bool removed(const Node &n) { return n.parent == kNoNode && n.subtree == 0; }
    Node &node(NodeId id) { return nodes_[id]; }
    const Node &node(NodeId id) const { return nodes_[id]; }
    NodeId allocateNodes(std::uint32_t count); // under mutex_ during a bulk build
    void ensureRoot();
    NodeId newNode();                          // a removed node's number, else a new one
    void freeSubtree(NodeId top);
    void copyBelow(NodeId to, const TNodeTree &from, NodeId source, const CopyVisit &copied);
    void compactIfWasteful();
    void compactText();
    void compactChildSlots();
    void addToAncestors(NodeId parent, std::uint32_t count);
    std::uint64_t newTextChunk(std::uint32_t minSize, std::uint32_t &capacity);
    std::string_view text(std::uint64_t ref, std::uint32_t len) const
    {
        if (len == 0)
            return {};
        return std::string_view(textChunks_[std::uint32_t(ref >> 32)].get() + (ref & 0xFFFFFFFFu), len);
    }
    const std::string *findOverride(NodeId id, int field) const;
    std::string renderTyped(NodeId id, int field) const;
    void setOverride(NodeId id, int field, std::string_view text);
    void eraseOverride(NodeId id, int field);
    static std::uint64_t overrideKey(NodeId id, int field) { return (std::uint64_t(id) << 5) | unsigned(field); }
    friend void CopyNodeData(const TNodeTree &, NodeId, TNodeTree &, NodeId);

    // 64 nodes in the first block, then twice as many in each further one.
    TBlockStore<Node, 6> nodes_;
    std::atomic<std::uint32_t> nodeCount_{0}; // published nodes, root included; 0 before the first
    std::vector<std::uint32_t> childIds_;      // children slices, in row order
    TBlockStore<std::unique_ptr<char[]>, 4> textChunks_;
    std::int64_t bulkDelta_ = 0; // child slot minus node number for blocks added in bulk
    TextWriter writer_{*this};   // for single-threaded changes
    std::unordered_map<std::uint64_t, std::string> overrides_;
    std::vector<NodeId> freeIds_;      // numbers of removed nodes, to be given again
    std::uint64_t textAllocated_ = 0;  // bytes of the name store's chunks
    std::uint64_t deadText_ = 0;       // of which no node uses any more
    std::uint64_t deadSlots_ = 0;      // slots of childIds_ that no node uses any more
    std::unique_ptr<TCatalogNotes> notes_;
    mutable std::mutex mutex_;
    bool bulk_ = false;
};

// Makes the record of `destination` a copy of the record of `source`: icons and all nineteen fields.
// The copy is independent: it stays valid when the source tree is cleared or rebuilt.
void CopyNodeData(const TNodeTree &sourceTree, NodeId source, TNodeTree &destinationTree, NodeId destination);

} // namespace folvane

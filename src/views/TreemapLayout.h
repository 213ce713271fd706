#pragma once
// The treemap's layout: the entries below one folder drawn as nested rectangles, each with an
// area proportional to its size.
//
// A million entries do not need a million rectangles: an entry whose share of the picture is a
// few pixels cannot be seen, so it is merged into its folder's area (the part of the folder that
// no child covers), which keeps both the work and the memory in proportion to what is drawn.
// Making a map takes two steps:
//  - TTreemapGather reads, on the thread that owns the node tree, only the entries that can be
//    large enough to draw, and copies what the layout needs into a TTreemap: sizes, kinds, file
//    types and the names of the few entries large enough for a label. It reads a bounded number
//    of records per step, so that its owner can spread it over several turns of an event loop;
//    between steps it holds node numbers only, and it must be started again when the tree changes.
//  - LayOutTreemap places the gathered items, squarified (Bruls, Huizing and van Wijk): a folder's
//    children, largest first, fill rows along the shorter side of what is left of the folder for
//    as long as adding one more keeps the row's worst aspect ratio from growing. It reads nothing
//    but the TTreemap, so it may run on any thread.
// Rectangles are whole pixels. Siblings share their edges exactly, so they never overlap and
// leave no gap, and every rectangle lies inside its folder's.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/NodeTree.h"
#include "views/ViewInterfaces.h"

namespace folvane {

// A rectangle of whole pixels.
struct TTileRect {
    std::int16_t x = 0, y = 0, w = 0, h = 0;

    bool Empty() const { return w <= 0 || h <= 0; }
    bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    std::int64_t Area() const { return Empty() ? 0 : std::int64_t(w) * h; }
    bool operator==(const TTileRect &) const = default;
};

// One entry of a map. Items are kept in pre-order: an item's subtree is the items from it up to
// `end`, and a folder's children follow it largest first.
class TTreemapItem {
public:
    enum Flag : std::uint8_t {
        Folder = 1,   // a folder; its children are items when they were large enough to gather
        Named = 2,    // the map holds its name, for a label (TTreemap::labels)
        Placed = 4,   // laid out: Rect() is where it is drawn
        Labelled = 8, // drawn with its name: a folder's in a strip at its top, a file's across its tile
    };

    NodeId node = kNoNode;
    std::uint32_t end = 0;  // one past the last item of its subtree
    std::uint16_t type = 0; // a file's type: index into TTreemap::types
    std::uint8_t flags = 0;

    bool Is(Flag flag) const { return (flags & flag) != 0; }
    // The same eight bytes hold the size until the layout places the item and its rectangle
    // afterwards: the layout reads a folder's children's sizes before it places them, and
    // nothing reads a size after that. So an item takes 24 bytes.
    std::uint64_t Size() const { return Is(Placed) ? 0 : value_; }
    void SetSize(std::uint64_t size) { value_ = size; }
    TTileRect Rect() const;
    void Place(TTileRect rect);

private:
    std::uint64_t value_ = 0;
};
static_assert(sizeof(TTreemapItem) == 24, "an item of a map stays at 24 bytes");

// A file type of a map: the extension as met first, and the bytes its placed files stand for.
struct TTreemapType {
    std::string ext;
    Rgb colour;
    std::uint64_t bytes = 0; // set by the layout
};

struct TTreemapLabel {
    std::uint32_t item = 0;
    std::string text; // the name as shown (valid UTF-8)
};

// What a picture is made of: the gathered items and, once laid out, where each one is drawn.
struct TTreemap {
    std::vector<TTreemapItem> items; // pre-order; items[0] is the root folder of the map
    std::vector<TTreemapType> types;
    std::vector<TTreemapLabel> labels; // ordered by item
    std::uint64_t total = 0;           // the root's size: the whole picture
    std::uint32_t entries = 0;         // entries at and below the root, drawn alone or merged
    int width = 0, height = 0;         // the area laid out
    // Type indexes by the bytes of their placed files, largest first (set by the layout).
    std::vector<std::uint16_t> legend;

    // The name kept for an item, or nullptr.
    const std::string *LabelOf(std::uint32_t item) const;
    // The index of the first item after `item`'s subtree, or of its first child.
    std::uint32_t End(std::uint32_t item) const { return items[item].end; }
    // Items placed by the layout.
    std::size_t PlacedCount() const;
    // Memory the map holds, in bytes.
    std::size_t Bytes() const;
};

constexpr std::uint32_t kNoTile = UINT32_MAX;

struct TTreemapOptions {
    int width = 0, height = 0; // the area in pixels
    // An entry whose area would be smaller is merged into its folder's area.
    int minArea = 12;
    // Pixels between a folder's edge and its children (0: folders are not framed; the root never is).
    int frame = 1;
    // The height of the strip holding a folder's name at its top, given to folders at least
    // labelMinWidth wide and three strips high (0: no names at all). A file shows its name when
    // its tile is at least labelMinWidth wide and a strip and two pixels high.
    int labelHeight = 0;
    int labelMinWidth = 48;
};

// Gathers the entries below `root` that can be large enough to draw. The tree must not change
// between the steps; its owner starts a new gather when it does.
class TTreemapGather {
public:
    TTreemapGather(const TNodeTree &tree, NodeId root, const TTreemapOptions &options);

    // Reads about `records` more records; true when everything is gathered.
    bool Step(std::uint32_t records);
    bool Done() const { return pending_.empty(); }
    // The gathered map, ready for LayOutTreemap (after Done).
    TTreemap Take();

private:
    struct Pending {
        NodeId node;
        std::uint32_t closes; // kNoTile: open `node`; else the item whose subtree ends here
        std::uint64_t size;
    };
    std::uint32_t open(NodeId node, std::uint64_t size);
    std::uint16_t typeOf(NodeId node, std::uint64_t size);

    const TNodeTree &tree_;
    TTreemap map_;
    std::vector<Pending> pending_;
    std::vector<std::pair<std::uint64_t, NodeId>> children_;
    std::unordered_map<std::string, std::uint16_t> typeIndex_; // folded extension -> type
    std::vector<std::uint64_t> typeBytes_;                     // bytes of the files gathered, by type
    std::string fold_;
    std::uint64_t minBytes_ = 1;   // smaller entries are merged into their folder
    std::uint64_t labelBytes_ = 0; // entries at least this large keep their names (0: none)
};

// The size of a node as the map draws it: its FileSize in bytes, 0 when it has none or the
// written text is not a number.
std::uint64_t TreemapSizeOf(const TNodeTree &tree, NodeId node);

// Places the items of `map` in options.width × options.height. Children too small to see (by
// options.minArea) and whatever of a folder's size its children do not account for are left to
// the folder's own area. Items that end up with no place are dropped, so the map then holds
// what is drawn and nothing else. `stop` is asked now and then; when it answers true the layout
// ends early and answers false, leaving the map incomplete.
bool LayOutTreemap(TTreemap &map, const TTreemapOptions &options, const std::function<bool()> &stop = {});

// The deepest placed item whose rectangle holds the point (a folder where none of its placed
// children does), or kNoTile.
std::uint32_t TreemapTileAt(const TTreemap &map, int x, int y);
// The placed items from the root down to TreemapTileAt, in that order.
std::vector<std::uint32_t> TreemapPathAt(const TTreemap &map, int x, int y);
// The placed item that draws `node`, or else its nearest ancestor that is drawn; kNoTile when
// the node is not in the map.
std::uint32_t TreemapTileOf(const TTreemap &map, const TNodeTree &tree, NodeId node);

} // namespace folvane

#include "views/TreemapLayout.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <span>

#include "catalog/FieldReaders.h"
#include "catalog/uFileReader.h"
#include "common/Utf8.h"
#include "common/uFunction.h"
#include "views/TypeColour.h"

namespace folvane {

// --- Items and maps ----------------------------------------------------------------------------

TTileRect TTreemapItem::Rect() const
{
    return Is(Placed) ? std::bit_cast<TTileRect>(value_) : TTileRect{};
}

void TTreemapItem::Place(TTileRect rect)
{
    value_ = std::bit_cast<std::uint64_t>(rect);
    flags |= Placed;
}

const std::string *TTreemap::LabelOf(std::uint32_t item) const
{
    auto found = std::lower_bound(labels.begin(), labels.end(), item,
                                  [](const TTreemapLabel &label, std::uint32_t i) { return label.item < i; });
    return found != labels.end() && found->item == item ? &found->text : nullptr;
}

std::size_t TTreemap::PlacedCount() const
{
    std::size_t placed = 0;
    for (std::uint32_t i = 0; i < items.size(); i = items[i].Is(TTreemapItem::Placed) ? i + 1 : items[i].end)
        if (items[i].Is(TTreemapItem::Placed))
            ++placed;
    return placed;
}

std::size_t TTreemap::Bytes() const
{
    std::size_t bytes = sizeof(*this) + items.capacity() * sizeof(TTreemapItem) +
                        types.capacity() * sizeof(TTreemapType) + labels.capacity() * sizeof(TTreemapLabel) +
                        legend.capacity() * sizeof(std::uint16_t);
    for (const TTreemapType &t : types)
        bytes += t.ext.capacity() > 15 ? t.ext.capacity() + 1 : 0;
    for (const TTreemapLabel &l : labels)
        bytes += l.text.capacity() > 15 ? l.text.capacity() + 1 : 0;
    return bytes;
}

std::uint64_t TreemapSizeOf(const TNodeTree &tree, NodeId node)
{
    // A size that is empty or does not read as a number takes no area.
    return SizeOf(tree, node).value_or(SizeNumber{}).bytes;
}

// --- Gathering ---------------------------------------------------------------------------------

namespace {

// Bytes that stand for `area` pixels when `total` bytes fill `pixels` pixels, rounded up.
std::uint64_t bytesForArea(std::uint64_t total, std::int64_t pixels, std::int64_t area)
{
    if (pixels <= 0)
        return UINT64_MAX;
    const unsigned __int128 bytes = ((unsigned __int128)total * std::uint64_t(area) + std::uint64_t(pixels) - 1) /
                                    std::uint64_t(pixels);
    return bytes > UINT64_MAX ? UINT64_MAX : std::uint64_t(bytes);
}

} // namespace

TTreemapGather::TTreemapGather(const TNodeTree &tree, NodeId root, const TTreemapOptions &options) : tree_(tree)
{
    if (!tree.IsValid(root))
        return;
    const std::uint64_t total = TreemapSizeOf(tree, root);
    const std::int64_t pixels = std::int64_t(std::max(options.width, 0)) * std::max(options.height, 0);
    // Frames only ever make an entry smaller than its share of the whole picture, so an entry
    // below this share is never drawn, and neither is anything inside it.
    minBytes_ = std::max<std::uint64_t>(1, bytesForArea(total, pixels, std::max(options.minArea, 1)));
    if (options.labelHeight > 0)
        labelBytes_ = std::max<std::uint64_t>(
            1, bytesForArea(total, pixels, std::int64_t(options.labelMinWidth) * options.labelHeight * 2));
    map_.total = total;
    map_.entries = tree.TotalCount(root);
    pending_.push_back({root, kNoTile, total});
}

std::uint16_t TTreemapGather::typeOf(NodeId node, std::uint64_t size)
{
    const TFileNodeData &d = tree_.Data(node);
    std::string shown;
    if (const std::string *written = tree_.Override(node, FileExt))
        shown = *written;
    else if (d.Has(FileExt))
        shown = ValidUtf8(ExtensionOf(tree_.NameBytes(node)));
    FoldCaseInto(shown, fold_);
    auto found = typeIndex_.find(fold_);
    if (found != typeIndex_.end()) {
        typeBytes_[found->second] += size;
        return found->second;
    }
    // Past the last index every further type shares it (a catalogue of 65,535 extensions).
    const auto index = std::uint16_t(std::min<std::size_t>(map_.types.size(), UINT16_MAX));
    if (index == map_.types.size()) {
        map_.types.push_back({std::move(shown), Rgb{}, 0});
        typeBytes_.push_back(0);
    }
    typeBytes_[index] += size;
    typeIndex_.emplace(fold_, index);
    return index;
}

std::uint32_t TTreemapGather::open(NodeId node, std::uint64_t size)
{
    const auto index = std::uint32_t(map_.items.size());
    TTreemapItem item;
    item.node = node;
    item.end = index + 1;
    item.SetSize(size);
    const bool folder = tree_.Data(node).Kind() == NodeKind::Folder;
    if (folder)
        item.flags |= TTreemapItem::Folder;
    else
        item.type = typeOf(node, size);
    if (labelBytes_ && index > 0 && size >= labelBytes_) {
        item.flags |= TTreemapItem::Named;
        map_.labels.push_back({index, tree_.Field(node, FileName)});
    }
    map_.items.push_back(item);
    if (!folder || size < minBytes_)
        return 1;

    // The children large enough to draw, largest first (equal sizes keep their order).
    children_.clear();
    std::uint32_t read = 0;
    for (NodeId child = tree_.FirstChild(node); child != kNoNode; child = tree_.NextSibling(child), ++read) {
        const std::uint64_t childSize = TreemapSizeOf(tree_, child);
        if (childSize >= minBytes_)
            children_.emplace_back(childSize, child);
    }
    std::stable_sort(children_.begin(), children_.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    pending_.push_back({node, index, 0});
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        pending_.push_back({it->second, kNoTile, it->first});
    return read + 1;
}

bool TTreemapGather::Step(std::uint32_t records)
{
    std::uint32_t read = 0;
    while (!pending_.empty() && read < records) {
        const Pending next = pending_.back();
        pending_.pop_back();
        if (next.closes != kNoTile) {
            map_.items[next.closes].end = std::uint32_t(map_.items.size());
            ++read;
        } else {
            read += open(next.node, next.size);
        }
    }
    return pending_.empty();
}

TTreemap TTreemapGather::Take()
{
    // Colours are asked for largest type first: the colours handed out first differ the most.
    std::vector<std::uint16_t> order(map_.types.size());
    for (std::size_t t = 0; t < order.size(); ++t)
        order[t] = std::uint16_t(t);
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return typeBytes_[a] > typeBytes_[b]; });
    for (std::uint16_t t : order)
        map_.types[t].colour = TypeColour(map_.types[t].ext);
    map_.items.shrink_to_fit();
    return std::move(map_);
}

// --- Layout ------------------------------------------------------------------------------------

namespace {

// A rectangle by its edges, in pixels but not yet rounded.
struct Edges {
    double x0, y0, x1, y1;
    double Width() const { return x1 - x0; }
    double Height() const { return y1 - y0; }
};

// The worst aspect ratio of a row of `sum` total area holding areas from `smallest` to `largest`,
// laid along a side of length `side`.
double worstAspect(double largest, double smallest, double sum, double side)
{
    const double side2 = side * side, sum2 = sum * sum;
    return std::max(side2 * largest / sum2, sum2 / (side2 * smallest));
}

// Squarified rows: each row lies along the shorter side of what is left and takes areas, largest
// first, while the next one does not make its worst aspect ratio larger. Writes one rectangle
// per area; what is left after the last row stays uncovered. Neighbours are given the very same
// number for the edge they share, so rounding them alike leaves no gap and no overlap.
void squarify(std::span<const double> areas, Edges left, std::vector<Edges> &out)
{
    out.clear();
    std::size_t i = 0;
    while (i < areas.size()) {
        const bool column = left.Width() >= left.Height(); // the row stands at the left
        const double side = column ? left.Height() : left.Width();
        if (side <= 0)
            break;
        double sum = areas[i];
        double worst = worstAspect(areas[i], areas[i], sum, side);
        std::size_t j = i + 1;
        for (; j < areas.size(); ++j) {
            const double next = worstAspect(areas[i], areas[j], sum + areas[j], side);
            if (next > worst)
                break;
            sum += areas[j];
            worst = next;
        }
        const double thickness = sum / side;
        if (column) {
            const double x1 = std::min(left.x0 + thickness, left.x1);
            double y = left.y0;
            for (std::size_t k = i; k < j; ++k) {
                const double y1 = k + 1 == j ? left.y1 : y + areas[k] / thickness;
                out.push_back({left.x0, y, x1, y1});
                y = y1;
            }
            left.x0 = x1;
        } else {
            const double y1 = std::min(left.y0 + thickness, left.y1);
            double x = left.x0;
            for (std::size_t k = i; k < j; ++k) {
                const double x1 = k + 1 == j ? left.x1 : x + areas[k] / thickness;
                out.push_back({x, left.y0, x1, y1});
                x = x1;
            }
            left.y0 = y1;
        }
        i = j;
    }
}

TTileRect snapped(const Edges &e, const TTileRect &within)
{
    auto clampTo = [](double v, int lo, int hi) { return std::clamp(int(std::lround(v)), lo, hi); };
    const int x0 = clampTo(e.x0, within.x, within.x + within.w), x1 = clampTo(e.x1, within.x, within.x + within.w);
    const int y0 = clampTo(e.y0, within.y, within.y + within.h), y1 = clampTo(e.y1, within.y, within.y + within.h);
    return {std::int16_t(x0), std::int16_t(y0), std::int16_t(x1 - x0), std::int16_t(y1 - y0)};
}

// Where a folder's children go: inside its frame and below its name strip.
TTileRect innerRect(TTreemapItem &item, TTileRect r, bool root, const TTreemapOptions &o)
{
    if (root)
        return r;
    if (o.frame > 0) {
        r.x = std::int16_t(r.x + o.frame);
        r.y = std::int16_t(r.y + o.frame);
        r.w = std::int16_t(r.w - 2 * o.frame);
        r.h = std::int16_t(r.h - 2 * o.frame);
    }
    if (o.labelHeight > 0 && item.Is(TTreemapItem::Named) && r.w >= o.labelMinWidth && r.h >= 3 * o.labelHeight) {
        item.flags |= TTreemapItem::Labelled;
        r.y = std::int16_t(r.y + o.labelHeight);
        r.h = std::int16_t(r.h - o.labelHeight);
    }
    return r;
}

// Drops the items that were gathered but not placed (frames and name strips leave some of them
// too small), and the names that will not be shown, so that a picture holds only what it draws;
// pre-order and subtrees are kept.
void dropUnplaced(TTreemap &map)
{
    std::vector<TTreemapItem> &items = map.items;
    struct Open {
        std::uint32_t oldEnd, index;
    };
    std::vector<Open> open;
    std::vector<TTreemapLabel> labels;
    auto label = map.labels.begin();
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < items.size();) {
        while (!open.empty() && open.back().oldEnd <= i) {
            items[open.back().index].end = kept;
            open.pop_back();
        }
        if (!items[i].Is(TTreemapItem::Placed)) {
            i = items[i].end;
            continue;
        }
        while (label != map.labels.end() && label->item < i)
            ++label;
        if (label != map.labels.end() && label->item == i && items[i].Is(TTreemapItem::Labelled))
            labels.push_back({kept, std::move(label->text)});
        const std::uint32_t oldEnd = items[i].end;
        items[kept] = items[i];
        open.push_back({oldEnd, kept});
        ++kept;
        ++i;
    }
    for (; !open.empty(); open.pop_back())
        items[open.back().index].end = kept;
    items.resize(kept);
    items.shrink_to_fit();
    map.labels = std::move(labels);
}

} // namespace

bool LayOutTreemap(TTreemap &map, const TTreemapOptions &options, const std::function<bool()> &stop)
{
    map.width = std::clamp(options.width, 0, int(INT16_MAX));
    map.height = std::clamp(options.height, 0, int(INT16_MAX));
    map.legend.clear();
    for (TTreemapType &type : map.types)
        type.bytes = 0;
    if (map.items.empty() || map.width == 0 || map.height == 0)
        return true;

    // Depth first; an item is placed when it is left, after its children have read their sizes.
    struct Frame {
        std::uint32_t item;
        TTileRect rect;
        bool entered;
    };
    std::vector<Frame> stack{{0, TTileRect{0, 0, std::int16_t(map.width), std::int16_t(map.height)}, false}};
    std::vector<std::uint32_t> children;
    std::vector<double> areas;
    std::vector<Edges> placed;
    std::uint32_t steps = 0;
    while (!stack.empty()) {
        if (stop && (++steps & 1023) == 0 && stop())
            return false;
        if (stack.back().entered) {
            map.items[stack.back().item].Place(stack.back().rect);
            stack.pop_back();
            continue;
        }
        stack.back().entered = true;
        const std::uint32_t index = stack.back().item;
        const TTileRect rect = stack.back().rect;
        TTreemapItem &item = map.items[index];
        const std::uint64_t size = item.Size();
        if (!item.Is(TTreemapItem::Folder)) {
            map.types[item.type].bytes += size;
            if (item.Is(TTreemapItem::Named) && rect.w >= options.labelMinWidth && rect.h >= options.labelHeight + 2)
                item.flags |= TTreemapItem::Labelled;
            continue;
        }
        if (item.end == index + 1)
            continue;
        const TTileRect inner = innerRect(item, rect, index == 0, options);
        if (inner.Area() < options.minArea)
            continue;

        // The folder's whole size fills its inner rectangle; children below the smallest area
        // to draw (they come largest first) and whatever no child accounts for stay the folder's.
        children.clear();
        std::uint64_t sum = 0;
        for (std::uint32_t c = index + 1; c < item.end; c = map.items[c].end) {
            children.push_back(c);
            sum += map.items[c].Size();
        }
        const double whole = double(std::max(size, sum));
        if (whole <= 0)
            continue;
        const double scale = double(inner.Area()) / whole;
        areas.clear();
        for (std::uint32_t c : children) {
            const double area = double(map.items[c].Size()) * scale;
            if (area < options.minArea)
                break;
            areas.push_back(area);
        }
        squarify(areas, Edges{double(inner.x), double(inner.y), double(inner.x + inner.w), double(inner.y + inner.h)},
                 placed);
        for (std::size_t k = placed.size(); k-- > 0;) {
            const TTileRect childRect = snapped(placed[k], inner);
            if (!childRect.Empty())
                stack.push_back({children[k], childRect, false});
        }
    }

    dropUnplaced(map);
    for (std::size_t t = 0; t < map.types.size(); ++t)
        if (map.types[t].bytes > 0)
            map.legend.push_back(std::uint16_t(t));
    std::stable_sort(map.legend.begin(), map.legend.end(),
                     [&](std::uint16_t a, std::uint16_t b) { return map.types[a].bytes > map.types[b].bytes; });
    return true;
}

// --- Finding tiles -----------------------------------------------------------------------------

std::vector<std::uint32_t> TreemapPathAt(const TTreemap &map, int x, int y)
{
    std::vector<std::uint32_t> path;
    if (map.items.empty() || !map.items[0].Rect().Contains(x, y))
        return path;
    std::uint32_t at = 0;
    path.push_back(at);
    for (;;) {
        std::uint32_t next = kNoTile;
        for (std::uint32_t c = at + 1; c < map.items[at].end; c = map.items[c].end)
            if (map.items[c].Rect().Contains(x, y)) {
                next = c;
                break;
            }
        if (next == kNoTile)
            return path;
        path.push_back(next);
        at = next;
    }
}

std::uint32_t TreemapTileAt(const TTreemap &map, int x, int y)
{
    const std::vector<std::uint32_t> path = TreemapPathAt(map, x, y);
    return path.empty() ? kNoTile : path.back();
}

std::uint32_t TreemapTileOf(const TTreemap &map, const TNodeTree &tree, NodeId node)
{
    if (!tree.IsValid(node))
        return kNoTile;
    std::vector<NodeId> line; // the node and its ancestors
    for (NodeId n = node; n != TNodeTree::Root() && n != kNoNode; n = tree.Parent(n))
        line.push_back(n);
    std::sort(line.begin(), line.end());
    // In pre-order a deeper item of the line comes later.
    std::uint32_t found = kNoTile;
    for (std::uint32_t i = 0; i < map.items.size();) {
        const TTreemapItem &item = map.items[i];
        if (!item.Is(TTreemapItem::Placed)) {
            i = item.end;
            continue;
        }
        if (std::binary_search(line.begin(), line.end(), item.node)) {
            found = i;
            if (item.node == node)
                break;
            ++i;
        } else {
            i = item.end; // nothing of the line lies below an entry off it
        }
    }
    return found;
}

} // namespace folvane

#include "support/PlainViews.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "views/TreeSort.h"

namespace folvane {

// --- Tree-grid ----------------------------------------------------------------------------------

void TPlainTreeGrid::ReplaceNodes(TNodeTree &&tree)
{
    nodes_ = std::move(tree);
    focused_ = selected_ = kNoNode;
    selection_.clear();
}

void TPlainTreeGrid::Sort(int column, SortDirection direction)
{
    ++sorts_;
    if (!events_.compare)
        return;
    SortTree(nodes_, [&](NodeId a, NodeId b) { return events_.compare(a, b, column); }, direction);
}

void TPlainTreeGrid::SelectNodes(std::vector<NodeId> nodes)
{
    selection_ = std::move(nodes);
    selected_ = selection_.empty() ? kNoNode : selection_.front();
    focused_ = selected_;
}

void TPlainTreeGrid::SelectNode(NodeId node)
{
    selected_ = node;
    focused_ = node;
    selection_ = node == kNoNode ? std::vector<NodeId>{} : std::vector<NodeId>{node};
    if (events_.selectionChange)
        events_.selectionChange(node);
}

void TPlainTreeGrid::ClearColumns()
{
    columns_.clear();
    order_.clear();
}

int TPlainTreeGrid::AddColumn()
{
    columns_.emplace_back();
    int number = int(columns_.size()) - 1;
    order_.push_back(number);
    return number;
}

TPlainTreeGrid::Column &TPlainTreeGrid::col(int column)
{
    if (column < 0 || column >= int(columns_.size()))
        throw std::out_of_range("no column " + std::to_string(column) + " in " + name_);
    return columns_[column];
}

const TPlainTreeGrid::Column &TPlainTreeGrid::col(int column) const
{
    return const_cast<TPlainTreeGrid *>(this)->col(column);
}

void TPlainTreeGrid::SetColumnPosition(int column, int position)
{
    col(column);
    position = std::clamp(position, 0, int(order_.size()) - 1);
    order_.erase(std::find(order_.begin(), order_.end(), column));
    order_.insert(order_.begin() + position, column);
}

int TPlainTreeGrid::ColumnPosition(int column) const
{
    col(column);
    return int(std::find(order_.begin(), order_.end(), column) - order_.begin());
}

std::string TPlainTreeGrid::CellText(NodeId node, int column) const
{
    return events_.getText ? events_.getText(node, column) : std::string();
}

std::string TPlainTreeGrid::CellHint(NodeId node, int column) const
{
    return events_.getHint ? events_.getHint(node, column) : std::string();
}

int TPlainTreeGrid::CellImage(NodeId node, int column) const
{
    return events_.getImageIndex ? events_.getImageIndex(node, column) : -1;
}

void TPlainTreeGrid::ClickHeader(int column, MouseButton button)
{
    if (events_.headerMouseDown)
        events_.headerMouseDown(column, button);
    if (events_.headerClick)
        events_.headerClick(column, button);
}

void TPlainTreeGrid::DoubleClick(NodeId node)
{
    focused_ = selected_ = node;
    selection_ = {node};
    if (events_.doubleClick)
        events_.doubleClick();
}

// --- Chart --------------------------------------------------------------------------------------

void TPlainChart::RemoveAllSeries()
{
    kind_ = SeriesKind::None;
    seriesCount_ = 0;
    points_.clear();
}

void TPlainChart::AddSeries(SeriesKind kind)
{
    kind_ = kind;
    ++seriesCount_;
}

void TPlainChart::AddPoints(std::span<const ChartPoint> points)
{
    points_.insert(points_.end(), points.begin(), points.end());
}

void TPlainChart::ClickPoint(int point)
{
    if (click_ && point >= 0 && point < int(points_.size()))
        click_(point);
}

void TPlainChart::ClickMerged(int first, int count)
{
    if (mergedClick_ && first >= 0 && count > 0 && first + count <= int(points_.size()))
        mergedClick_(first, count);
}

void TPlainChart::SaveBitmap(const std::string &path)
{
    // 2 × 2 white pixels, 24 bits, rows padded to four bytes.
    const unsigned char bmp[] = {
        'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                  // file header
        40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,   // info header
        16, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        255, 255, 255, 255, 255, 255, 0, 0,                                 // row 1
        255, 255, 255, 255, 255, 255, 0, 0,                                 // row 2
    };
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write \"" + path + "\"");
    bool ok = std::fwrite(bmp, 1, sizeof bmp, f) == sizeof bmp;
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        throw std::runtime_error("cannot write \"" + path + "\"");
}

// --- Main view ----------------------------------------------------------------------------------

TPlainMainView::TPlainMainView()
{
    const char *grids[] = {"VT", "VTList", "VTAge", "VTSize", "VTType"};
    for (int i = 0; i < 5; ++i)
        grids_[i] = std::make_unique<TPlainTreeGrid>(grids[i]);
    const char *charts[] = {"ChartFile", "AgeChart", "SizeChart", "TypeChart"};
    for (int i = 0; i < 4; ++i)
        charts_[i] = std::make_unique<TPlainChart>(charts[i]);
    for (ButtonId b : {ButtonId::tbPieFile, ButtonId::tbPie, ButtonId::tbPieSize, ButtonId::tbPieType,
                       ButtonId::sbCreate, ButtonId::sbAll, ButtonId::sbFiles})
        down_[b] = true;
}

bool TPlainMainView::IsDown(ButtonId button) const
{
    auto it = down_.find(button);
    return it != down_.end() && it->second;
}

int TPlainMainView::Page(PageControlId control) const
{
    auto it = pages_.find(control);
    return it == pages_.end() ? 0 : it->second;
}

int TPlainMainView::IconIndexOf(bool isFolder, std::string_view extension)
{
    if (isFolder)
        return 0;
    std::string key(extension);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    auto [at, added] = fileIcons_.try_emplace(std::move(key), int(fileIcons_.size()) + 1);
    return at->second;
}

} // namespace folvane

#include "views/QtTreeGrid.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QScrollBar>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QToolTip>

#include <algorithm>
#include <limits>

#include "catalog/CatalogEdit.h"
#include "views/QtCellText.h"
#include "views/QtIconList.h"
#include "views/QtScrollBarStyle.h"
#include "views/TreeSort.h"

namespace folvane {

namespace {

QColor toQColor(Rgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

// Black or white, whichever reads better on the background.
QColor readableOn(const QColor &background)
{
    return qGray(background.rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black);
}

Qt::Alignment toQt(Alignment alignment)
{
    switch (alignment) {
    case Alignment::Right:
        return Qt::AlignRight | Qt::AlignVCenter;
    case Alignment::Center:
        return Qt::AlignHCenter | Qt::AlignVCenter;
    case Alignment::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

MouseButton toButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::RightButton:
        return MouseButton::Right;
    case Qt::MiddleButton:
        return MouseButton::Middle;
    default:
        return MouseButton::Left;
    }
}

// `over` laid on `under` with the given opacity (0 to 255).
QColor blend(const QColor &over, const QColor &under, int alpha)
{
    auto mix = [alpha](int o, int u) { return (o * alpha + u * (255 - alpha) + 127) / 255; };
    return QColor(mix(over.red(), under.red()), mix(over.green(), under.green()), mix(over.blue(), under.blue()));
}

// The colour of the grid lines on a cell's right and bottom edges, on its background.
QColor gridLine(const QColor &mid, const QColor &background)
{
    return blend(mid, background, 110);
}

// Draws what `draw` paints in `area`, held to `cell` when it reaches outside it (an icon or the
// branches wider than a narrow tree column).
template <typename Draw> void drawInside(QPainter *painter, const QRect &cell, const QRect &area, Draw draw)
{
    if (cell.contains(area)) {
        draw();
        return;
    }
    painter->save();
    painter->setClipRect(cell, Qt::IntersectClip);
    draw();
    painter->restore();
}

} // namespace

// Adapts the grid's node tree: an index's internal id is its NodeId.
class QtNodeModel final : public QAbstractItemModel {
public:
    explicit QtNodeModel(QtTreeGrid &grid) : grid_(grid) {}

    QModelIndex index(int row, int column, const QModelIndex &parent) const override
    {
        if (row < 0 || column < 0 || column >= int(grid_.columns_.size()))
            return {};
        const NodeId owner = parent.isValid() ? NodeId(parent.internalId()) : TNodeTree::Root();
        if (std::uint32_t(row) >= grid_.tree_.ChildCount(owner))
            return {};
        return createIndex(row, column, quintptr(grid_.tree_.Child(owner, std::uint32_t(row))));
    }

    QModelIndex parent(const QModelIndex &child) const override
    {
        if (!child.isValid())
            return {};
        const NodeId owner = grid_.tree_.Parent(NodeId(child.internalId()));
        if (owner == TNodeTree::Root() || owner == kNoNode)
            return {};
        return createIndex(int(grid_.tree_.Row(owner)), 0, quintptr(owner));
    }

    int rowCount(const QModelIndex &parent) const override
    {
        if (parent.column() > 0)
            return 0;
        const NodeId owner = parent.isValid() ? NodeId(parent.internalId()) : TNodeTree::Root();
        return int(grid_.tree_.ChildCount(owner));
    }

    int columnCount(const QModelIndex &) const override { return int(grid_.columns_.size()); }

    // Asked of any cell of a row, so that a double click anywhere on a folder's row toggles it.
    bool hasChildren(const QModelIndex &parent) const override
    {
        const NodeId owner = parent.isValid() ? NodeId(parent.internalId()) : TNodeTree::Root();
        return grid_.tree_.ChildCount(owner) > 0;
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || !grid_.validColumn(index.column()))
            return {};
        const NodeId node = NodeId(index.internalId());
        const int column = index.column();
        const auto &events = grid_.events_;
        // A cell that cannot be drawn stays empty; nothing escapes into the paint.
        try {
            switch (role) {
            case Qt::DisplayRole:
                if (events.getText)
                    return QString::fromStdString(events.getText(node, column));
                return {};
            case Qt::ToolTipRole:
                if (events.getHint) {
                    const std::string hint = events.getHint(node, column);
                    if (!hint.empty())
                        return QString::fromStdString(hint);
                }
                return {};
            case Qt::DecorationRole:
                if (events.getImageIndex) {
                    const int image = events.getImageIndex(node, column);
                    if (image >= 0)
                        return QtIconListIcon(markedImage(node, image));
                }
                return {};
            case Qt::TextAlignmentRole:
                return QVariant::fromValue(toQt(grid_.columns_[std::size_t(column)].alignment));
            case Qt::BackgroundRole:
                return QBrush(background(column));
            case Qt::ForegroundRole:
                return QBrush(readableOn(background(column)));
            default:
                return {};
            }
        } catch (...) {
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || !grid_.validColumn(section))
            return {};
        if (role == Qt::DisplayRole)
            return QString::fromStdString(grid_.columns_[std::size_t(section)].text);
        return {};
    }

    QColor background(int column) const
    {
        const ColumnColor &color = grid_.columns_[std::size_t(column)].color;
        return color.systemTooltip ? QtTreeGrid::TooltipColor() : toQColor(color.rgb);
    }

    static QVariant QtIconListIcon(int image);

    // The image of a node marked as not read or not scanned carries that mark's badge.
    int markedImage(NodeId node, int image) const
    {
        const std::uint16_t flags = grid_.tree_.Data(node).flags;
        if (flags & TFileNodeData::Unreadable)
            return QtIconList::Instance().WithMark(image, IconMark::NotRead);
        if (flags & TFileNodeData::NotScanned)
            return QtIconList::Instance().WithMark(image, IconMark::NotScanned);
        return image;
    }

    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void BeginInsertColumn(int column) { beginInsertColumns(QModelIndex(), column, column); }
    void EndInsertColumn() { endInsertColumns(); }
    void HeaderChanged(int column) { emit headerDataChanged(Qt::Horizontal, column, column); }

private:
    QtTreeGrid &grid_;
};

QVariant QtNodeModel::QtIconListIcon(int image)
{
    const QIcon icon = QtIconList::Instance().Icon(image);
    if (icon.isNull())
        return {};
    return icon;
}

QtTreeGrid::QtTreeGrid(const std::string &name, QWidget *parent)
    : QTreeView(parent), name_(name), model_(std::make_unique<QtNodeModel>(*this))
{
    setObjectName(QString::fromStdString(name));
    setModel(model_.get());
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setRootIsDecorated(true);
    setItemsExpandable(true);
    setExpandsOnDoubleClick(true);
    setAllColumnsShowFocus(true);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    // The rows paint every pixel of the viewport (see paintEvent): it is not filled first.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setIconSize(QSize(16, 16));
    setIndentation(18);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // A scroll bar paints all of itself: when it moves, what lies beneath it is not painted first.
    for (QScrollBar *bar : {verticalScrollBar(), horizontalScrollBar()}) {
        bar->setAttribute(Qt::WA_OpaquePaintEvent);
        bar->setStyle(QtScrollBarStyle::Instance());
    }

    QHeaderView *head = header();
    head->setStretchLastSection(false);
    head->setSectionsMovable(true);
    head->setSectionsClickable(true);
    head->setSectionResizeMode(QHeaderView::Interactive);
    head->setSortIndicatorShown(true);
    head->setSortIndicator(-1, Qt::AscendingOrder);
    head->setHighlightSections(false);
    head->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    head->setMinimumSectionSize(0);
    QFont headFont = head->font();
    headFont.setPixelSize(11);
    head->setFont(headFont);
    head->setFixedHeight(17);
    head->setStyleSheet(QStringLiteral(
        "QHeaderView::section { background-color: rgb(123, 170, 255); color: black; padding: 0px 3px;"
        " border: none; border-right: 1px solid rgb(80, 120, 210); border-bottom: 1px solid rgb(80, 120, 210); }"));
    head->viewport()->installEventFilter(this);

    connect(head, &QHeaderView::sectionClicked, this, [this](int column) {
        guarded([&] {
            if (events_.headerClick)
                events_.headerClick(column, MouseButton::Left);
        });
        syncSortIndicator();
    });
    // Hiding a column goes through SetColumnVisible, which is quiet, so a size seen here is one
    // the user gave, none included.
    connect(head, &QHeaderView::sectionResized, this, [this](int column, int, int size) {
        if (!quiet_ && validColumn(column) && size >= 0 && !header()->isSectionHidden(column))
            columns_[std::size_t(column)].width = size;
    });
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        const NodeId node = NodeOf(index);
        if (tree_.IsValid(node))
            tree_.SetExpanded(node, true);
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        const NodeId node = NodeOf(index);
        if (tree_.IsValid(node))
            tree_.SetExpanded(node, false);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { onSelectionChanged(); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &) {
        guarded([&] {
            if (events_.doubleClick)
                events_.doubleClick();
        });
    });
}

QtTreeGrid::~QtTreeGrid()
{
    // The view lets go of the model before the model goes.
    setModel(nullptr);
}

template <typename F> void QtTreeGrid::guarded(F &&f) noexcept
{
    // An event handler's failure ends that handler only; it never crosses the event loop.
    try {
        f();
    } catch (...) {
    }
}

QColor QtTreeGrid::ReadOnlyColor() { return QColor(239, 243, 255); }

QColor QtTreeGrid::TooltipColor() { return QToolTip::palette().color(QPalette::Inactive, QPalette::ToolTipBase); }

void QtTreeGrid::SetEvents(TreeGridEvents events)
{
    events_ = std::move(events);
    viewport()->update();
}

QModelIndex QtTreeGrid::IndexOf(NodeId node, int column) const
{
    if (!tree_.IsValid(node) || !validColumn(column))
        return {};
    return model_->index(int(tree_.Row(node)), column, IndexOf(tree_.Parent(node)));
}

NodeId QtTreeGrid::NodeOf(const QModelIndex &index)
{
    return index.isValid() ? NodeId(index.internalId()) : kNoNode;
}

// --- Updates -----------------------------------------------------------------------------------

void QtTreeGrid::BeginUpdate()
{
    if (updateDepth_++ > 0)
        return;
    auto remember = [this](NodeId node) {
        Remembered r;
        if (tree_.IsValid(node)) {
            r.node = node;
            r.path = tree_.PathBytes(node);
        }
        return r;
    };
    selected_ = remember(SelectedNode());
    focused_ = remember(FocusedNode());
    // Only a change in place keeps the view where it was; finding the top row may lay out every row.
    topRow_ = keepView_ ? remember(NodeOf(indexAt(QPoint(0, 0)))) : Remembered{};
    horizontalScroll_ = horizontalScrollBar()->value();
    model_->BeginReset();
}

void QtTreeGrid::EndUpdate()
{
    if (updateDepth_ == 0 || --updateDepth_ > 0)
        return;
    quiet_ = true;
    model_->EndReset();
    restoreExpansion(TNodeTree::Root());
    // Selection and focus come back only to the same entry: a refilled tree may reuse numbers.
    auto still = [this](const Remembered &r) {
        return tree_.IsValid(r.node) && tree_.PathBytes(r.node) == r.path ? r.node : kNoNode;
    };
    if (const NodeId node = still(selected_); node != kNoNode)
        selectionModel()->select(IndexOf(node), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (const NodeId node = still(focused_); node != kNoNode)
        selectionModel()->setCurrentIndex(IndexOf(node), QItemSelectionModel::NoUpdate);
    // The view stays where it was: the row at its top stays there (or, when that row is gone,
    // the nearest folder above it that is still there), unless a whole new tree came in.
    if (keepView_ && !topRow_.path.empty()) {
        NodeId top = still(topRow_);
        TPathFinder finder(tree_);
        for (std::string path = topRow_.path; top == kNoNode && !path.empty();) {
            top = finder.Find(path);
            const std::size_t slash = path.find_last_of('/');
            path = slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
        }
        if (top != kNoNode) {
            doItemsLayout();
            scrollTo(IndexOf(top), QAbstractItemView::PositionAtTop);
            horizontalScrollBar()->setValue(horizontalScroll_);
        }
    }
    selected_ = focused_ = topRow_ = {};
    hovered_ = kNoNode; // as the view forgets its row under the mouse at a reset
    keepView_ = false;
    quiet_ = false;
}

void QtTreeGrid::BeginChangeInPlace()
{
    if (updateDepth_ == 0)
        keepView_ = true;
    BeginUpdate();
}

void QtTreeGrid::restoreExpansion(NodeId parent)
{
    for (NodeId child = tree_.FirstChild(parent); child != kNoNode; child = tree_.NextSibling(child)) {
        if (tree_.ChildCount(child) > 0 && tree_.Expanded(child)) {
            expand(IndexOf(child));
            restoreExpansion(child);
        }
    }
}

void QtTreeGrid::ReplaceNodes(TNodeTree &&tree)
{
    BeginUpdate();
    tree_ = std::move(tree);
    selected_ = focused_ = {};
    EndUpdate();
}

void QtTreeGrid::SetExpanded(NodeId node, bool expanded)
{
    if (!tree_.IsValid(node))
        return;
    tree_.SetExpanded(node, expanded);
    if (updateDepth_ == 0)
        QTreeView::setExpanded(IndexOf(node), expanded);
}

// --- Sorting -----------------------------------------------------------------------------------

void QtTreeGrid::syncSortIndicator()
{
    header()->setSortIndicator(validColumn(sortColumn_) ? sortColumn_ : -1,
                               sortDirection_ == SortDirection::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void QtTreeGrid::SetSortColumn(int column)
{
    sortColumn_ = column;
    syncSortIndicator();
}

void QtTreeGrid::SetSortDirection(SortDirection direction)
{
    sortDirection_ = direction;
    syncSortIndicator();
}

void QtTreeGrid::Sort(int column, SortDirection direction)
{
    if (!events_.compare)
        return;
    // Every level, with the merge sort that stays in bounds whatever the comparison answers.
    // Nodes keep their numbers, so selection, focus and expansion come back after the reset.
    BeginUpdate();
    try {
        SortTree(
            tree_, [&](NodeId a, NodeId b) { return events_.compare(a, b, column); }, direction);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

// --- Focus and selection -----------------------------------------------------------------------

NodeId QtTreeGrid::FocusedNode() const
{
    const NodeId node = NodeOf(currentIndex());
    return tree_.IsValid(node) ? node : kNoNode;
}

void QtTreeGrid::SetFocusedNode(NodeId node)
{
    if (!tree_.IsValid(node)) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    selectionModel()->setCurrentIndex(IndexOf(node), QItemSelectionModel::NoUpdate);
}

NodeId QtTreeGrid::SelectedNode() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return kNoNode;
    const NodeId node = NodeOf(rows.first());
    return tree_.IsValid(node) ? node : kNoNode;
}

void QtTreeGrid::SelectNode(NodeId node)
{
    if (!tree_.IsValid(node)) {
        selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = IndexOf(node);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (updateDepth_ == 0)
        scrollTo(index);
}

std::vector<NodeId> QtTreeGrid::SelectedNodes() const
{
    std::vector<NodeId> nodes;
    for (const QModelIndex &row : selectionModel()->selectedRows())
        if (const NodeId node = NodeOf(row); tree_.IsValid(node))
            nodes.push_back(node);
    std::sort(nodes.begin(), nodes.end(), [this](NodeId a, NodeId b) { return PrecedesInPreOrder(tree_, a, b); });
    return nodes;
}

std::vector<NodeId> QtTreeGrid::RowsToActOn(NodeId first) const
{
    std::vector<NodeId> rows = SelectedNodes();
    if (!tree_.IsValid(first))
        return rows;
    // A row outside the selection is acted on alone.
    if (std::find(rows.begin(), rows.end(), first) == rows.end())
        return {first};
    std::erase(rows, first);
    rows.insert(rows.begin(), first);
    return rows;
}

void QtTreeGrid::contextMenuEvent(QContextMenuEvent *event)
{
    // On a row: a right click has selected it already (or it was one of the rows selected); the
    // menu key acts on the current row, and the menu opens below it.
    NodeId row = kNoNode;
    QPoint at = event->globalPos();
    if (event->reason() == QContextMenuEvent::Mouse) {
        row = NodeOf(indexAt(viewport()->mapFromGlobal(event->globalPos())));
    } else {
        row = NodeOf(currentIndex());
        if (tree_.IsValid(row))
            at = viewport()->mapToGlobal(visualRect(currentIndex()).bottomLeft());
    }
    if (!tree_.IsValid(row)) {
        event->ignore();
        return;
    }
    event->accept();
    emit ContextMenuRequested(RowsToActOn(row), at);
}

void QtTreeGrid::onSelectionChanged()
{
    if (quiet_ || updateDepth_ > 0)
        return;
    guarded([&] {
        if (events_.selectionChange)
            events_.selectionChange(SelectedNode());
    });
}

// --- Columns -----------------------------------------------------------------------------------

void QtTreeGrid::ClearColumns()
{
    quiet_ = true;
    model_->BeginReset();
    columns_.clear();
    model_->EndReset();
    quiet_ = false;
    sortColumn_ = -1; // no column, no sort column
    syncSortIndicator();
}

void QtTreeGrid::BeginColumnUpdate()
{
    if (columnUpdateDepth_++ == 0)
        header()->setUpdatesEnabled(false);
}

void QtTreeGrid::EndColumnUpdate()
{
    if (columnUpdateDepth_ == 0 || --columnUpdateDepth_ > 0)
        return;
    header()->setUpdatesEnabled(true);
    header()->viewport()->update();
    viewport()->update();
}

int QtTreeGrid::AddColumn()
{
    const int column = int(columns_.size());
    quiet_ = true;
    model_->BeginInsertColumn(column);
    columns_.push_back(Column{});
    model_->EndInsertColumn();
    header()->resizeSection(column, columns_.back().width);
    quiet_ = false;
    return column;
}

void QtTreeGrid::SetColumnText(int column, const std::string &text)
{
    if (!validColumn(column))
        return;
    columns_[std::size_t(column)].text = text;
    model_->HeaderChanged(column);
}

std::string QtTreeGrid::ColumnText(int column) const
{
    return validColumn(column) ? columns_[std::size_t(column)].text : std::string();
}

void QtTreeGrid::SetColumnWidth(int column, int width)
{
    if (!validColumn(column))
        return;
    width = std::max(width, 0);
    columns_[std::size_t(column)].width = width;
    if (!header()->isSectionHidden(column)) {
        quiet_ = true;
        header()->resizeSection(column, width);
        quiet_ = false;
    }
}

int QtTreeGrid::ColumnWidth(int column) const
{
    return validColumn(column) ? columns_[std::size_t(column)].width : 0;
}

void QtTreeGrid::SetColumnColor(int column, ColumnColor color)
{
    if (!validColumn(column))
        return;
    columns_[std::size_t(column)].color = color;
    viewport()->update();
}

ColumnColor QtTreeGrid::GetColumnColor(int column) const
{
    return validColumn(column) ? columns_[std::size_t(column)].color : ColumnColor{};
}

void QtTreeGrid::SetColumnAlignment(int column, Alignment alignment)
{
    if (!validColumn(column))
        return;
    columns_[std::size_t(column)].alignment = alignment;
    viewport()->update();
}

Alignment QtTreeGrid::GetColumnAlignment(int column) const
{
    return validColumn(column) ? columns_[std::size_t(column)].alignment : Alignment::Left;
}

void QtTreeGrid::SetColumnPosition(int column, int position)
{
    if (!validColumn(column))
        return;
    position = std::clamp(position, 0, int(columns_.size()) - 1);
    header()->moveSection(header()->visualIndex(column), position);
}

int QtTreeGrid::ColumnPosition(int column) const
{
    return validColumn(column) ? header()->visualIndex(column) : -1;
}

void QtTreeGrid::SetColumnVisible(int column, bool visible)
{
    if (!validColumn(column))
        return;
    quiet_ = true;
    header()->setSectionHidden(column, !visible);
    if (visible)
        header()->resizeSection(column, columns_[std::size_t(column)].width);
    quiet_ = false;
}

bool QtTreeGrid::ColumnVisible(int column) const
{
    return validColumn(column) && !header()->isSectionHidden(column);
}

// --- Header mouse and tree lines ---------------------------------------------------------------

bool QtTreeGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == header()->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const int column = header()->logicalIndexAt(mouse->position().toPoint());
        const MouseButton button = toButton(mouse->button());
        guarded([&] {
            if (events_.headerMouseDown && column >= 0)
                events_.headerMouseDown(column, button);
        });
        // A right button only opens the column dialog; it neither sorts nor drags.
        if (button == MouseButton::Right)
            return true;
    }
    return QTreeView::eventFilter(watched, event);
}

// --- Painting ----------------------------------------------------------------------------------
//
// A grid shows a page of new rows at every page-down, so the view's rows are drawn here in one
// pass rather than cell by cell through an item delegate: the colours, the columns on screen and
// the font's pieces are worked out once per paint, a cell's text is asked for once and laid out
// once, most often from glyphs laid out before (QtCellText), and nothing beneath the rows is
// painted first. Each cell is drawn on its column's background (the highlight when selected, a
// light tint of it on the row under the mouse): its icon, its text on one line cut with "…" where
// it does not fit, and the grid lines on its right and bottom edges.

struct QtTreeGrid::ShownColumn {
    int column, left, width;
    QColor background, hoverBackground;
    Qt::Alignment alignment;
};

struct QtTreeGrid::Cell {
    const ShownColumn *shown;
    QRect room; // the cell less the tree's branches
    QColor background, text;
};

struct QtTreeGrid::TextBatch {
    QColor pen;
    QList<quint32> glyphs;
    QList<QPointF> positions;
};

struct QtTreeGrid::RowLook {
    QPalette::ColorGroup group = QPalette::Active;
    QColor base, highlight, highlightedText, mid;
    bool decorationSelected = false; // the branches of a selected row are highlighted too
    bool enabled = true;
    int margin = 0;
    QSize iconSize;
    std::vector<ShownColumn> columns; // in the order shown, those inside the viewport
    int left = 0, right = 0;    // what the columns cover, in viewport x
    NodeId focused = kNoNode;   // the current row when the grid has the focus
};

QtTreeGrid::RowLook QtTreeGrid::rowLook(const QStyleOptionViewItem &option) const
{
    RowLook look;
    look.enabled = option.state & QStyle::State_Enabled;
    look.group = !look.enabled ? QPalette::Disabled : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                                           : QPalette::Inactive;
    const QPalette &palette = option.palette;
    look.base = palette.color(look.group, QPalette::Base);
    look.highlight = palette.color(look.group, QPalette::Highlight);
    look.highlightedText = palette.color(look.group, QPalette::HighlightedText);
    look.mid = palette.color(look.group, QPalette::Mid);
    look.decorationSelected = option.showDecorationSelected;
    look.margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    look.iconSize = option.decorationSize;
    const QHeaderView *head = header();
    const int width = viewport()->width();
    look.left = width;
    look.right = 0;
    for (int visual = 0; visual < head->count(); ++visual) {
        const int column = head->logicalIndex(visual);
        if (head->isSectionHidden(column) || !validColumn(column))
            continue;
        const int left = head->sectionViewportPosition(column), size = head->sectionSize(column);
        look.left = std::min(look.left, left);
        look.right = std::max(look.right, left + size);
        if (size <= 0 || left >= width || left + size <= 0)
            continue;
        const QColor background = model_->background(column);
        look.columns.push_back({column, left, size, background, blend(look.highlight, background, 64),
                                toQt(columns_[std::size_t(column)].alignment)});
    }
    if (hasFocus())
        look.focused = FocusedNode();
    return look;
}

void QtTreeGrid::paintEvent(QPaintEvent *event)
{
    // The viewport does not fill itself: the rows cover what they take, and what lies below the
    // last row is filled here after them.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const RowLook look = rowLook(option);
    look_ = &look;
    rowsTop_ = std::numeric_limits<int>::max();
    rowsBottom_ = -1;
    ownLineRows_.clear();
    QTreeView::paintEvent(event);
    look_ = nullptr;
    QPainter painter(viewport());
    painter.setClipRegion(event->region());
    if (rowsBottom_ >= rowsTop_)
        drawColumnLines(&painter, look);
    const QRect below(0, rowsBottom_ + 1, viewport()->width(), viewport()->height());
    for (const QRect &r : event->region() & below)
        painter.fillRect(r, look.base);
}

void QtTreeGrid::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const NodeId node = NodeOf(index);
    if (!tree_.IsValid(node))
        return;
    std::optional<RowLook> own;
    if (!look_)
        own = rowLook(option);
    const RowLook &look = look_ ? *look_ : *own;
    const QRect &row = option.rect;
    const bool selected = selectionModel()->isSelected(index);
    const bool hovered = node == hovered_;
    const bool reverse = isRightToLeft();
    cellText_ = reverse ? nullptr : &QtCellText::For(font(), painter->device());
    // The columns' lines of rows in their usual colours are drawn once for the whole paint.
    const bool ownLines = !look_ || selected || hovered;
    if (look_) {
        rowsTop_ = std::min(rowsTop_, row.top());
        rowsBottom_ = std::max(rowsBottom_, row.bottom());
        if (ownLines)
            ownLineRows_.push_back({row.top(), row.bottom()});
    }

    // The viewport on either side of the columns.
    if (look.left > row.left())
        painter->fillRect(QRect(row.left(), row.top(), look.left - row.left(), row.height()), look.base);
    if (look.right <= row.right())
        painter->fillRect(QRect(look.right, row.top(), row.right() + 1 - look.right, row.height()), look.base);

    cells_.clear();
    for (const ShownColumn &shown : look.columns) {
        QRect room(shown.left, row.top(), shown.width, row.height());
        if (shown.column == 0 && indentation() > 0) {
            // The tree's lines and the expand box take the indentation of the row's level; a
            // selected row's highlight runs under them.
            const int indent = indentOf(node);
            const QRect branches(reverse ? room.right() + 1 - indent : room.left(), row.top(), indent, row.height());
            drawInside(painter, room, branches, [&] {
                painter->drawPixmap(branches.topLeft(), branchPicture(painter, index, branches.size(),
                                                                      selected && look.decorationSelected, look));
            });
            room = reverse ? room.adjusted(0, 0, -indent, 0) : room.adjusted(indent, 0, 0, 0);
        }
        if (room.width() <= 0)
            continue;
        Cell cell{&shown, room, shown.background, readableOn(shown.background)};
        if (selected) {
            cell.background = look.highlight;
            cell.text = look.highlightedText;
        } else if (hovered) {
            cell.background = shown.hoverBackground;
            cell.text = readableOn(cell.background);
        }
        cells_.push_back(cell);
    }

    // Neighbouring cells of one colour take one fill, for their background and for their bottom line.
    auto fillRuns = [&](auto part, auto colour) {
        for (std::size_t i = 0; i < cells_.size();) {
            QRect run = part(cells_[i].room);
            std::size_t j = i + 1;
            for (; j < cells_.size() && cells_[j].background == cells_[i].background; ++j) {
                const QRect next = part(cells_[j].room);
                if (next.left() != run.right() + 1 && next.right() + 1 != run.left())
                    break;
                run |= next;
            }
            painter->fillRect(run, colour(cells_[i]));
            i = j;
        }
    };
    fillRuns([](const QRect &room) { return room; }, [](const Cell &cell) { return cell.background; });
    for (const Cell &cell : cells_)
        drawCell(painter, look, cell, node, selected, ownLines || cell.shown->column == 0);
    fillRuns([](const QRect &room) { return QRect(room.left(), room.bottom(), room.width(), 1); },
             [&](const Cell &cell) { return gridLine(look.mid, cell.background); });
    drawTexts(painter);

    if (node == look.focused) {
        // The current row's focus frame, as the style draws it for a view that shows the focus
        // on every column.
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = option.palette.color(look.enabled ? QPalette::Normal : QPalette::Disabled,
                                                     selected ? QPalette::Highlight : QPalette::Window);
        const int x = look.decorationSelected ? 0 : header()->sectionPosition(0) + indentOf(node);
        focus.rect = style()->visualRect(layoutDirection(), viewport()->rect(),
                                         QRect(x - header()->offset(), row.top(), header()->length() - x, row.height()));
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter);
    }
}

int QtTreeGrid::indentOf(NodeId node) const
{
    return indentation() * int(tree_.Level(node) + (rootIsDecorated() ? 1 : 0));
}

const QPixmap &QtTreeGrid::branchPicture(QPainter *painter, const QModelIndex &index, QSize size, bool highlighted,
                                         const RowLook &look) const
{
    // A row's branches look the same wherever the row is: they hang on its level, on which of
    // its ancestors have siblings below them, on whether it is the first row, has siblings below,
    // has children and is expanded, and on the colours (the palette's group; a change of palette
    // or style lets all go). Kept by all that, as rows repeat it.
    const NodeId node = NodeOf(index);
    std::uint64_t ancestors = 0;
    int level = 0;
    for (NodeId up = tree_.Parent(node); up != TNodeTree::Root() && up != kNoNode; up = tree_.Parent(up), ++level)
        if (level < 64 && tree_.NextSibling(up) != kNoNode)
            ancestors |= std::uint64_t(1) << level;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const bool first = tree_.Parent(node) == TNodeTree::Root() && tree_.Row(node) == 0;
    const BranchKey key{ancestors,
                        std::uint64_t(std::min(level, 255)) | std::uint64_t(size.width() & 0xFFFF) << 8 |
                            std::uint64_t(size.height() & 0xFFFF) << 24 | std::uint64_t(int(ratio * 64) & 0xFFFF) << 40 |
                            std::uint64_t(first) << 56 | std::uint64_t(tree_.NextSibling(node) != kNoNode) << 57 |
                            std::uint64_t(tree_.ChildCount(node) > 0) << 58 | std::uint64_t(isExpanded(index)) << 59 |
                            std::uint64_t(highlighted) << 60 | std::uint64_t(isRightToLeft()) << 61 |
                            std::uint64_t(look.group & 3) << 62};
    const bool keep = level < 64;
    if (keep) {
        if (const auto found = branchPictures_.find(key); found != branchPictures_.end())
            return found->second;
        if (branchPictures_.size() >= 4096)
            branchPictures_.clear();
    }
    QPixmap picture(size * ratio);
    picture.setDevicePixelRatio(ratio);
    QPainter onPicture(&picture);
    const QRect area(QPoint(0, 0), size);
    onPicture.fillRect(area, highlighted ? look.highlight : look.base);
    drawBranches(&onPicture, area, index);
    onPicture.end();
    if (!keep) {
        unkeptBranches_ = picture;
        return unkeptBranches_;
    }
    return branchPictures_.emplace(key, std::move(picture)).first->second;
}

void QtTreeGrid::changeEvent(QEvent *event)
{
    // The branches were drawn in the palette's and the style's colours.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        branchPictures_.clear();
    QTreeView::changeEvent(event);
}

void QtTreeGrid::drawCell(QPainter *painter, const RowLook &look, const Cell &cell, NodeId node, bool selected,
                          bool ownLine) const
{
    // The icon first in reading order, then the text; placed left to right and mirrored for a
    // right-to-left layout. A cell that cannot be drawn stays empty; nothing escapes the paint.
    const QRect &room = cell.room;
    const int column = cell.shown->column;
    const Qt::LayoutDirection direction = layoutDirection();
    QRect inner = room.adjusted(look.margin, 0, -look.margin, 0);
    try {
        if (events_.getImageIndex) {
            const int image = events_.getImageIndex(node, column);
            const QSize size = look.iconSize;
            const QRect place(inner.left(), room.top() + (room.height() - size.height()) / 2, size.width(),
                              size.height());
            const QRect shown = QStyle::visualRect(direction, room, place);
            const QIcon::Mode mode = !look.enabled ? QIcon::Disabled : selected ? QIcon::Selected : QIcon::Normal;
            bool painted = false;
            if (image >= 0)
                drawInside(painter, room, shown, [&] {
                    painted = QtIconList::Instance().Paint(painter, model_->markedImage(node, image), shown, mode);
                });
            if (painted)
                inner.setLeft(place.right() + 1 + 2 * look.margin); // the icon's own margin, then the text's
        }
        inner = QStyle::visualRect(direction, room, inner);
        if (events_.getText && inner.width() > 0) {
            const QString label = QString::fromStdString(events_.getText(node, column));
            if (!label.isEmpty() && !gather(cell.text, inner, cell.shown->alignment, label)) {
                painter->setPen(cell.text);
                QtCellText::Draw(painter, inner, cell.shown->alignment, label, font(), direction);
            }
        }
    } catch (...) {
    }
    if (ownLine)
        painter->fillRect(QRect(room.right(), room.top(), 1, room.height()), gridLine(look.mid, cell.background));
}

void QtTreeGrid::drawColumnLines(QPainter *painter, const RowLook &look) const
{
    // Down each column but the tree's (whose cells' edges move with the rows' levels), from the
    // first row painted to the last, around the rows that drew their own.
    std::sort(ownLineRows_.begin(), ownLineRows_.end());
    for (const ShownColumn &shown : look.columns) {
        if (shown.column == 0)
            continue;
        const int x = shown.left + shown.width - 1;
        const QColor line = gridLine(look.mid, shown.background);
        int top = rowsTop_;
        for (const auto &[from, to] : ownLineRows_) {
            if (from > top)
                painter->fillRect(QRect(x, top, 1, from - top), line);
            top = std::max(top, to + 1);
        }
        if (top <= rowsBottom_)
            painter->fillRect(QRect(x, top, 1, rowsBottom_ + 1 - top), line);
    }
}

bool QtTreeGrid::gather(const QColor &pen, const QRect &room, Qt::Alignment alignment, const QString &text) const
{
    if (!cellText_)
        return false;
    auto batch = std::find_if(texts_.begin(), texts_.end(), [&](const TextBatch &b) { return b.pen == pen; });
    if (batch == texts_.end())
        batch = texts_.insert(texts_.end(), TextBatch{pen, {}, {}});
    return cellText_->Gather(room, alignment, text, batch->glyphs, batch->positions);
}

void QtTreeGrid::drawTexts(QPainter *painter) const
{
    for (TextBatch &batch : texts_) {
        if (cellText_ && !batch.glyphs.isEmpty()) {
            painter->setPen(batch.pen);
            cellText_->DrawGathered(painter, batch.glyphs, batch.positions);
        }
        batch.glyphs.clear();
        batch.positions.clear();
    }
}

// A change of selection or of the current row repaints the viewport: the view would find the rows'
// places first by searching its list of every row shown, which in a tree of a million expanded
// rows costs more than painting a page of them. (A screen reader is told of the new current row
// as the view tells it.)
QRegion QtTreeGrid::visualRegionForSelection(const QItemSelection &selection) const
{
    return selection.isEmpty() ? QRegion() : QRegion(viewport()->rect());
}

void QtTreeGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (QAccessible::isActive()) {
        QTreeView::currentChanged(current, previous);
        return;
    }
    QAbstractItemView::currentChanged(current, previous);
    viewport()->update();
}

bool QtTreeGrid::viewportEvent(QEvent *event)
{
    // The row under the mouse, as the view finds it (the view repaints the rows it leaves and enters).
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        hovered_ = NodeOf(indexAt(static_cast<QHoverEvent *>(event)->position().toPoint()));
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        hovered_ = kNoNode;
        break;
    default:
        break;
    }
    return QTreeView::viewportEvent(event);
}

void QtTreeGrid::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const NodeId node = NodeOf(index);
    if (!tree_.IsValid(node))
        return;
    const int step = indentation();
    const bool ltr = layoutDirection() == Qt::LeftToRight;
    const int mid = rect.top() + rect.height() / 2;
    // The cell of the node's own level is the last one before the item.
    int cell = ltr ? rect.right() + 1 - step : rect.left();
    auto centre = [&](int left) { return left + step / 2; };

    QColor lineColor = palette().color(QPalette::Mid);
    painter->save();
    QPen pen(lineColor, 1, Qt::DotLine);
    painter->setPen(pen);

    const int x = centre(cell);
    const bool first = tree_.Parent(node) == TNodeTree::Root() && tree_.Row(node) == 0;
    const bool more = tree_.NextSibling(node) != kNoNode;
    painter->drawLine(x, first ? mid : rect.top(), x, more ? rect.bottom() : mid);
    painter->drawLine(x, mid, ltr ? cell + step - 2 : cell + 2, mid);

    // The ancestors' lines continue past this row when they have further siblings.
    int left = cell;
    for (NodeId up = tree_.Parent(node); up != TNodeTree::Root() && up != kNoNode; up = tree_.Parent(up)) {
        left += ltr ? -step : step;
        if (tree_.NextSibling(up) != kNoNode)
            painter->drawLine(centre(left), rect.top(), centre(left), rect.bottom());
    }

    if (tree_.ChildCount(node) > 0) {
        const QRect box(x - 4, mid - 4, 8, 8);
        painter->setPen(QPen(lineColor, 1, Qt::SolidLine));
        painter->setBrush(palette().color(QPalette::Base));
        painter->drawRect(box);
        painter->setPen(QPen(palette().color(QPalette::Text), 1));
        painter->drawLine(box.left() + 2, mid, box.right() - 2, mid);
        if (!isExpanded(index))
            painter->drawLine(x, box.top() + 2, x, box.bottom() - 2);
    }
    painter->restore();
}

} // namespace folvane

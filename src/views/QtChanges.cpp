#include "views/QtChanges.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "catalog/CatalogNotes.h"
#include "catalog/uFileReader.h"
#include "common/Utf8.h"
#include "views/QtIconList.h"
#include "views/uCtrl.h"

namespace folvane {

namespace {

enum Column { PathColumn, StatusColumn, ThenColumn, NowColumn, ChangeColumnIndex, ColumnCount };

const char *const kHeaders[ColumnCount] = {"Path", "Status", "Size then", "Size now", "Change"};

QString changeText(const TChange &c)
{
    const __int128 change = c.Change();
    const auto magnitude = std::uint64_t(change < 0 ? -change : change);
    return QString::fromStdString((change < 0 ? "-" : change > 0 ? "+" : "") + FormatBytes(magnitude));
}

QString exactBytes(std::uint64_t bytes)
{
    return QLocale().toString(qulonglong(bytes)) + QStringLiteral(" bytes");
}

} // namespace

// --- The model ------------------------------------------------------------------------------------

void QtChangesModel::SetComparison(const TNodeTree *then, const TNodeTree *now, TComparison comparison)
{
    beginResetModel();
    then_ = then;
    now_ = now;
    comparison_ = std::move(comparison);
    endResetModel();
}

void QtChangesModel::Clear()
{
    SetComparison(nullptr, nullptr, {});
}

const TChange *QtChangesModel::ChangeAt(int row) const
{
    return row >= 0 && std::size_t(row) < comparison_.changes.size() ? &comparison_.changes[std::size_t(row)] : nullptr;
}

int QtChangesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(comparison_.changes.size());
}

int QtChangesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QtChangesModel::data(const QModelIndex &index, int role) const
{
    try {
        return cell(index, role);
    } catch (...) {
        return {}; // a cell that cannot be made shows empty
    }
}

QVariant QtChangesModel::cell(const QModelIndex &index, int role) const
{
    const TChange *c = ChangeAt(index.row());
    if (!c || !then_ || !now_)
        return {};
    const bool gone = c->kind == TChange::Kind::Gone, added = c->kind == TChange::Kind::New;
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case PathColumn: return QString::fromStdString(ChangePath(*then_, *now_, *c));
        case StatusColumn: return QString::fromLatin1(ChangeStatus(*c));
        case ThenColumn: return added ? QVariant() : QString::fromStdString(FormatBytes(c->sizeThen));
        case NowColumn: return gone ? QVariant() : QString::fromStdString(FormatBytes(c->sizeNow));
        case ChangeColumnIndex: return changeText(*c);
        }
        break;
    case Qt::ToolTipRole:
        switch (index.column()) {
        case ThenColumn: return added ? QVariant() : exactBytes(c->sizeThen);
        case NowColumn: return gone ? QVariant() : exactBytes(c->sizeNow);
        case ChangeColumnIndex: return changeText(*c).left(1) + exactBytes(std::uint64_t(c->Change() < 0 ? -c->Change() : c->Change()));
        default: return QString::fromStdString(ChangePath(*then_, *now_, *c));
        }
    case Qt::TextAlignmentRole:
        return index.column() >= ThenColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (added)
            return QColor(0, 110, 0);
        if (gone)
            return QColor(170, 0, 0);
        break;
    case Qt::DecorationRole:
        if (index.column() == PathColumn) {
            const TNodeTree &tree = gone ? *then_ : *now_;
            const NodeId n = gone ? c->then : c->now;
            return QtIconList::Instance().Icon(
                QtIconList::Instance().IndexOfType(c->folder, c->folder ? std::string_view() : ExtensionOf(tree.NameBytes(n))));
        }
        break;
    default: break;
    }
    return {};
}

QVariant QtChangesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromLatin1(kHeaders[section]);
    return {};
}

void QtChangesModel::sort(int column, Qt::SortOrder order)
{
    if (!then_ || !now_ || column < 0 || column >= ColumnCount)
        return;
    static const ChangeColumn kColumns[ColumnCount] = {ChangeColumn::Path, ChangeColumn::Status, ChangeColumn::SizeThen,
                                                       ChangeColumn::SizeNow, ChangeColumn::Change};
    layoutAboutToBeChanged();
    SortChanges(comparison_.changes, *then_, *now_, kColumns[column], order == Qt::DescendingOrder);
    layoutChanged();
}

// --- The page ---------------------------------------------------------------------------------------

QtChanges::QtChanges(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabChanges"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tools_ = new QToolBar;
    tools_->setObjectName(QStringLiteral("ChangesTools"));
    tools_->setFixedHeight(40);
    tools_->setIconSize(QSize(32, 32));
    tools_->setMovable(false);
    layout->addWidget(tools_);

    heading_ = new QLabel;
    heading_->setObjectName(QStringLiteral("ChangesHeading"));
    heading_->setWordWrap(true);
    heading_->setContentsMargins(6, 4, 6, 4);
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(heading_);

    model_ = new QtChangesModel(this);
    view_ = new QTreeView;
    view_->setObjectName(QStringLiteral("VTChanges"));
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setAlternatingRowColors(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSortingEnabled(true);
    view_->header()->setSortIndicator(ChangeColumnIndex, Qt::DescendingOrder); // as computed: largest growth first
    view_->header()->setStretchLastSection(false);
    view_->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    for (int c = StatusColumn; c < ColumnCount; ++c)
        view_->setColumnWidth(c, c == StatusColumn ? 70 : 100);
    layout->addWidget(view_, 1);

    connect(view_, &QTreeView::doubleClicked, this, [this](const QModelIndex &index) {
        const TChange *c = model_->ChangeAt(index.row());
        if (!c || !then_ || !now_)
            return;
        const NodeId node = c->now != kNoNode ? c->now : NearestCounterpart(*then_, c->then, *now_);
        if (node != kNoNode)
            emit EntryChosen(node);
    });
}

void QtChanges::Load(std::unique_ptr<TNodeTree> then, std::string file, const TNodeTree &now, TComparison comparison)
{
    model_->Clear();
    then_ = std::move(then);
    file_ = std::move(file);
    SetComparison(now, std::move(comparison));
}

void QtChanges::Outdated()
{
    model_->Clear();
    now_ = nullptr;
    if (then_)
        heading_->setText(QStringLiteral("Comparing again with the catalogue shown\u2026"));
}

void QtChanges::SetComparison(const TNodeTree &now, TComparison comparison)
{
    now_ = &now;
    model_->SetComparison(then_.get(), now_, std::move(comparison));
    // The order the header shows, which the user may have chosen.
    model_->sort(view_->header()->sortIndicatorSection(), view_->header()->sortIndicatorOrder());
    describe();
}

void QtChanges::Unload()
{
    model_->Clear();
    then_.reset();
    now_ = nullptr;
    file_.clear();
    heading_->clear();
}

std::string QtChanges::Title() const
{
    return "Changes since " + ValidUtf8(file_);
}

void QtChanges::describe()
{
    const TComparison &c = model_->Comparison();
    const TScanSummary *before = then_ && then_->FindNotes() ? &then_->FindNotes()->summary : nullptr;
    QString text = QStringLiteral("Compared with the catalogue %1").arg(QString::fromStdString(ValidUtf8(file_)).toHtmlEscaped());
    if (before)
        text += QStringLiteral(", made %1").arg(QString::fromStdString(FormatDateTime(before->made)));
    const std::size_t rows = c.changes.size();
    text += QStringLiteral(": %1 %2.").arg(QLocale().toString(qulonglong(rows)),
                                           rows == 1 ? QStringLiteral("change") : QStringLiteral("changes"));
    if (!c.sameTop)
        text += QStringLiteral("<br>The top folders differ (%1 then, %2 now): entries are matched by their path below the "
                               "top folder.")
                    .arg(QString::fromStdString(ValidUtf8(c.topThen)).toHtmlEscaped(),
                         QString::fromStdString(ValidUtf8(c.topNow)).toHtmlEscaped());
    const TScanSummary *after = now_ && now_->FindNotes() ? &now_->FindNotes()->summary : nullptr;
    auto kind = [](const TScanSummary &s) {
        return !s.sizeKindKnown ? QStringLiteral("size kind unknown")
                                : s.sizeKind == SizeKind::DiskUsage ? QStringLiteral("disk usage")
                                                                   : QStringLiteral("apparent size");
    };
    if (before && after && (before->sizeKindKnown != after->sizeKindKnown || before->sizeKind != after->sizeKind))
        text += QStringLiteral("<br>The sizes are not of one kind: %1 then, %2 now.").arg(kind(*before), kind(*after));
    heading_->setText(text);
}

} // namespace folvane

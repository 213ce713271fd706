#pragma once
// The "Changes" page: what changed between an earlier catalogue, read from a file, and the one
// shown. A line above the list says what is compared; the list has a row per entry that grew,
// shrank, came or went (largest growth first, sortable by each column); its tool bar exports the
// list to HTML and CSV and closes the comparison. A double click asks for the entry in Total Tree.
//
// The page owns the earlier catalogue; the one shown belongs to the window's tree-grid. When that
// changes, the window recomputes the comparison and hands it over again (SetComparison), and in
// between the rows are dropped (Outdated), so that no row ever names a node that is gone.

#include <QAbstractTableModel>
#include <QWidget>

#include <memory>
#include <string>

#include "catalog/CatalogCompare.h"

class QLabel;
class QToolBar;
class QTreeView;

namespace folvane {

class QtChangesModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetComparison(const TNodeTree *then, const TNodeTree *now, TComparison comparison);
    void Clear();
    const TComparison &Comparison() const { return comparison_; }
    const TChange *ChangeAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    QVariant cell(const QModelIndex &index, int role) const;

    const TNodeTree *then_ = nullptr, *now_ = nullptr;
    TComparison comparison_;
};

class QtChanges final : public QWidget {
    Q_OBJECT
public:
    explicit QtChanges(QWidget *parent = nullptr);

    // Takes the earlier catalogue, read from `file`, and its comparison with `now`.
    void Load(std::unique_ptr<TNodeTree> then, std::string file, const TNodeTree &now, TComparison comparison);
    // The catalogue shown has changed: the rows go until SetComparison brings the new ones.
    void Outdated();
    void SetComparison(const TNodeTree &now, TComparison comparison);
    // Drops the earlier catalogue and the rows.
    void Unload();

    bool Loaded() const { return then_ != nullptr; }
    const TNodeTree *Then() const { return then_.get(); }
    const std::string &File() const { return file_; }
    // The rows as shown, in their order.
    const TComparison &Shown() const { return model_->Comparison(); }
    // What the exports put above the list: "Changes since /srv/week1.json".
    std::string Title() const;

    QTreeView *View() const { return view_; }
    QLabel *Heading() const { return heading_; }
    QToolBar *Tools() const { return tools_; }

signals:
    // A row was double-clicked: its entry in the catalogue shown, or for an entry that is gone
    // the nearest folder above it that is there.
    void EntryChosen(NodeId node);
    void ExportRequested(bool html);
    void CloseRequested();

private:
    void describe();

    std::unique_ptr<TNodeTree> then_;
    const TNodeTree *now_ = nullptr;
    std::string file_;
    QtChangesModel *model_;
    QTreeView *view_;
    QLabel *heading_;
    QToolBar *tools_;
};

} // namespace folvane

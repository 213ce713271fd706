#pragma once
// The entry actions on screen: the context menu of tree-grid rows (and of anything else that
// stands for entries of VT, such as treemap tiles), and the actions' keys on each tree-grid.

#include <vector>

#include "views/EntryActions.h"

class QMenu;
class QWidget;

namespace folvane {

class QtTreeGrid;

// A context menu for `rows` of `grid` (the row it was asked on first): every action offered,
// with its key shown, disabled when it cannot be taken now. The caller shows it (popup or exec)
// and owns it. Each action runs on `rows`; an error it raises ends that action only.
QMenu *NewEntryMenu(TEntryActions &actions, ITreeGrid &grid, std::vector<NodeId> rows, QWidget *parent);

// Gives the grid the actions' keys (F5, Delete, Ctrl+C) while it has the focus, acting on its
// selected rows, the current one first.
void AddEntryKeys(TEntryActions &actions, QtTreeGrid &grid);

} // namespace folvane

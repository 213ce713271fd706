#include "views/QtEntryMenu.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QStyle>

#include <algorithm>

#include "views/QtTreeGrid.h"

namespace folvane {

namespace {

QIcon iconOf(EntryAction action)
{
    auto themed = [](const char *name, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
    };
    switch (action) {
    case EntryAction::Refresh: return themed("view-refresh", QStyle::SP_BrowserReload);
    case EntryAction::MoveToTrash: return themed("user-trash", QStyle::SP_TrashIcon);
    case EntryAction::OpenFileManager: return themed("system-file-manager", QStyle::SP_DirOpenIcon);
    case EntryAction::OpenTerminal: return themed("utilities-terminal", QStyle::SP_ComputerIcon);
    case EntryAction::CopyPath: return themed("edit-copy", QStyle::SP_FileIcon);
    }
    return {};
}

void runGuarded(TEntryActions &actions, EntryAction action, ITreeGrid &grid, const std::vector<NodeId> &rows) noexcept
{
    try {
        actions.Run(action, grid, rows);
    } catch (...) {
        // An action that fails part-way ends there; nothing crosses the event loop.
    }
}

} // namespace

QMenu *NewEntryMenu(TEntryActions &actions, ITreeGrid &grid, std::vector<NodeId> rows, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("EntryMenu"));
    for (const EntryActionText &entry : EntryActionTexts()) {
        if (!actions.Offered(entry.action))
            continue;
        if (entry.action == EntryAction::OpenFileManager || entry.action == EntryAction::CopyPath)
            menu->addSeparator(); // changing the catalogue, then looking at the disk, then paths
        QAction *item = menu->addAction(iconOf(entry.action), QString::fromUtf8(entry.text));
        item->setShortcut(QKeySequence(QString::fromLatin1(entry.key)));
        item->setShortcutVisibleInContextMenu(true);
        item->setEnabled(actions.Enabled(entry.action, grid, rows));
        QObject::connect(item, &QAction::triggered, menu, [&actions, &grid, rows, action = entry.action] {
            runGuarded(actions, action, grid, rows);
        });
    }
    return menu;
}

void AddEntryKeys(TEntryActions &actions, QtTreeGrid &grid)
{
    for (const EntryActionText &entry : EntryActionTexts()) {
        if (entry.key[0] == '\0')
            continue;
        auto *key = new QAction(&grid);
        key->setShortcut(QKeySequence(QString::fromLatin1(entry.key)));
        key->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(key, &QAction::triggered, &grid, [&actions, &grid, action = entry.action] {
            std::vector<NodeId> rows = grid.SelectedNodes();
            if (std::find(rows.begin(), rows.end(), grid.FocusedNode()) != rows.end())
                rows = grid.RowsToActOn(grid.FocusedNode());
            if (!rows.empty() && actions.Offered(action))
                runGuarded(actions, action, grid, rows);
        });
        grid.addAction(key);
    }
}

} // namespace folvane

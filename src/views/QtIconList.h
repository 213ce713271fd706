#pragma once
// The one icon list shared by every tree-grid: icons numbered by int, looked up by the kind of an
// entry (folder or file) and, for files, by its extension, and cached so that each type is asked
// of the desktop's icon theme once.
//
// An entry's path is never looked at: icons are asked for while cells are painted, and a call to
// the file system there would stall scrolling on a slow or dead mount. The list and its cache
// belong to the UI thread (where painting happens) and are not locked.

#include <QIcon>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace folvane {

// The badge on the icon of an entry that is marked: not read (its status or content), or a folder
// not scanned (a kernel or another file system, an automount point).
enum class IconMark { NotRead, NotScanned };

class QtIconList {
public:
    static QtIconList &Instance();

    // The index of the icon for a folder, or for a file with this extension (any letter case).
    int IndexOfType(bool isFolder, std::string_view extension);
    // The index of the icon at `index` with the mark's badge on it; made once per icon and mark.
    int WithMark(int index, IconMark mark);
    // The icon at an index; a null icon for -1 or an index out of range.
    QIcon Icon(int index) const;
    // Paints the icon at an index in `rect` as QIcon::paint centres it; false (nothing painted)
    // for a null icon. The pixmap for each size and mode is kept: a grid paints a page of icons
    // at every step, and asking the icon's engine each time costs more than drawing it.
    bool Paint(QPainter *painter, int index, const QRect &rect, QIcon::Mode mode);
    int Count() const { return int(icons_.size()); }

private:
    QtIconList() = default;
    int add(const QIcon &icon);

    std::vector<QIcon> icons_;
    int folder_ = -1;
    std::unordered_map<std::string, int> byExtension_; // lower-case extension -> index
    std::map<std::pair<int, IconMark>, int> marked_;
    struct Kept {
        QPoint offset; // of the centred pixmap in the rect
        QSize size;
        QPixmap pixmap;
    };
    std::unordered_map<std::uint64_t, Kept> pixmaps_; // by index, mode and the rect's size
};

} // namespace folvane

#pragma once
// The one icon list shared by every tree-grid: icons numbered by int, looked up by the kind of an
// entry (folder or file) and, for files, by its extension, and cached so that each type is asked
// of the desktop's icon theme once.

#include <QIcon>
#include <QString>

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

    // The index of the icon for an entry; -1 when the path (raw file-system bytes) no longer exists.
    // An entry whose status cannot be read gets its type's icon all the same.
    int IndexOf(const std::string &pathBytes, bool isFolder);
    // The index of the icon for a kind and extension, without looking at the disk.
    int IndexOfType(bool isFolder, std::string_view extension);
    // The index of the icon at `index` with the mark's badge on it; made once per icon and mark.
    int WithMark(int index, IconMark mark);
    // The icon at an index; a null icon for -1 or an index out of range.
    QIcon Icon(int index) const;
    int Count() const { return int(icons_.size()); }

private:
    QtIconList() = default;
    int add(const QIcon &icon);

    std::vector<QIcon> icons_;
    int folder_ = -1;
    std::unordered_map<std::string, int> byExtension_; // lower-case extension -> index
    std::map<std::pair<int, IconMark>, int> marked_;
};

} // namespace folvane

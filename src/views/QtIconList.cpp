#include "views/QtIconList.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QStyle>

#include <algorithm>
#include <cctype>

namespace folvane {

QtIconList &QtIconList::Instance()
{
    static QtIconList list;
    return list;
}

int QtIconList::add(const QIcon &icon)
{
    icons_.push_back(icon);
    return int(icons_.size()) - 1;
}

int QtIconList::IndexOfType(bool isFolder, std::string_view extension)
{
    if (isFolder) {
        if (folder_ < 0) {
            QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
            if (icon.isNull())
                icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
            folder_ = add(icon);
        }
        return folder_;
    }
    std::string key(extension);
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (auto found = byExtension_.find(key); found != byExtension_.end())
        return found->second;

    QIcon icon;
    if (!key.empty()) {
        static const QMimeDatabase mimes;
        const QMimeType type =
            mimes.mimeTypeForFile(QStringLiteral("x.") + QString::fromUtf8(key.data(), qsizetype(key.size())),
                                  QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
    }
    if (icon.isNull())
        icon = QFileIconProvider().icon(QFileIconProvider::File);
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    const int index = add(icon);
    byExtension_.emplace(std::move(key), index);
    return index;
}

QIcon QtIconList::Icon(int index) const
{
    if (index < 0 || index >= int(icons_.size()))
        return {};
    return icons_[std::size_t(index)];
}

} // namespace folvane

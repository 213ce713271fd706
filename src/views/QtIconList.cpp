#include "views/QtIconList.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QPainter>
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

namespace {

// A round badge in the lower right corner: red with a bar (no entry) for what could not be read,
// grey with a slash for a folder that was not scanned.
QPixmap badged(const QIcon &base, int size, IconMark mark)
{
    QPixmap pixmap = base.pixmap(size, size);
    if (pixmap.isNull()) {
        pixmap = QPixmap(size, size);
        pixmap.fill(Qt::transparent);
    }
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal d = size * 0.62;
    const QRectF disc(size - d - 0.5, size - d - 0.5, d, d);
    p.setPen(QPen(Qt::white, size / 16.0));
    p.setBrush(mark == IconMark::NotRead ? QColor(211, 47, 47) : QColor(96, 105, 118));
    p.drawEllipse(disc);
    p.setPen(QPen(Qt::white, std::max(1.5, size / 9.0), Qt::SolidLine, Qt::RoundCap));
    const qreal in = d * 0.28;
    if (mark == IconMark::NotRead)
        p.drawLine(QPointF(disc.left() + in, disc.center().y()), QPointF(disc.right() - in, disc.center().y()));
    else
        p.drawLine(QPointF(disc.left() + in, disc.bottom() - in), QPointF(disc.right() - in, disc.top() + in));
    return pixmap;
}

} // namespace

int QtIconList::WithMark(int index, IconMark mark)
{
    if (auto found = marked_.find({index, mark}); found != marked_.end())
        return found->second;
    const QIcon base = Icon(index);
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(badged(base, size, mark));
    const int result = add(icon);
    marked_.emplace(std::make_pair(index, mark), result);
    return result;
}

QIcon QtIconList::Icon(int index) const
{
    if (index < 0 || index >= int(icons_.size()))
        return {};
    return icons_[std::size_t(index)];
}

bool QtIconList::Paint(QPainter *painter, int index, const QRect &rect, QIcon::Mode mode)
{
    if (index < 0 || index >= int(icons_.size()) || icons_[std::size_t(index)].isNull())
        return false;
    const QIcon &icon = icons_[std::size_t(index)];
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    if (ratio != 1.0 || qApp->devicePixelRatio() != 1.0) {
        icon.paint(painter, rect, Qt::AlignCenter, mode);
        return true;
    }
    const std::uint64_t key = std::uint64_t(index) << 32 | std::uint64_t(mode) << 28 |
                              std::uint64_t(rect.width() & 0x3FFF) << 14 | std::uint64_t(rect.height() & 0x3FFF);
    auto found = pixmaps_.find(key);
    if (found == pixmaps_.end()) {
        // As QIcon::paint: the size the icon has for the rect, centred in it, drawn from the
        // pixmap of that size.
        const QSize size = icon.actualSize(rect.size(), mode);
        const QPoint offset(rect.width() / 2 - size.width() / 2, rect.height() / 2 - size.height() / 2);
        found = pixmaps_.emplace(key, Kept{offset, size, icon.pixmap(size, 1.0, mode)}).first;
    }
    const Kept &kept = found->second;
    painter->drawPixmap(QRect(rect.topLeft() + kept.offset, kept.size), kept.pixmap);
    return true;
}

} // namespace folvane

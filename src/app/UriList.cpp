#include "app/UriList.h"

#include <QByteArrayList>
#include <QString>
#include <QSysInfo>

namespace folvane {

std::vector<std::string> LocalPathsOfUriList(const QByteArray &uriList)
{
    std::vector<std::string> paths;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!line.toLower().startsWith("file://"))
            continue;
        QByteArray rest = line.mid(7);
        // "file:///path", "file://localhost/path" or the file URL naming this machine by its
        // own name, as some file managers write it; another host is not a local file.
        const qsizetype slash = rest.indexOf('/');
        if (slash < 0)
            continue;
        const QByteArray host = rest.left(slash).toLower();
        if (!host.isEmpty() && host != "localhost" && host != QSysInfo::machineHostName().toLower().toUtf8())
            continue;
        const QByteArray path = QByteArray::fromPercentEncoding(rest.mid(slash));
        paths.emplace_back(path.constData(), std::size_t(path.size()));
    }
    return paths;
}

} // namespace folvane

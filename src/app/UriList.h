#pragma once
// Folders dropped on the main window arrive as a text/uri-list.

#include <QByteArray>

#include <string>
#include <vector>

namespace folvane {

// The local paths named by a text/uri-list, as raw path bytes, in order. Lines that are not
// local file URLs are skipped; percent-escapes are decoded to bytes, so names that are not UTF-8
// keep their bytes and long names are taken whole.
std::vector<std::string> LocalPathsOfUriList(const QByteArray &uriList);

} // namespace folvane

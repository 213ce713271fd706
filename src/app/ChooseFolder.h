#pragma once
// The folder chooser: a modal folder dialog that gives one existing folder or nothing.

#include <string>

class QWidget;

namespace folvane {

// True with `folder` set to the chosen folder's full path (no trailing "/" but for "/" itself)
// when one was confirmed; false on cancel, with `folder` emptied if it did not name a folder.
// `folder` on entry is the folder to open at; `root` is where browsing starts when it is empty.
bool ChooseFolder(QWidget *owner, const std::string &caption, const std::string &root, std::string &folder);

// The path form the chooser gives back for a folder the dialog returned.
std::string NormalizeChosenFolder(std::string path);

} // namespace folvane

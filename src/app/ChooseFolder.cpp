#include "app/ChooseFolder.h"

#include <QFile>
#include <QFileDialog>

#include <filesystem>
#include <system_error>

namespace folvane {

namespace {

bool isFolder(const std::string &path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(std::filesystem::path(path), error);
}

} // namespace

std::string NormalizeChosenFolder(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool ChooseFolder(QWidget *owner, const std::string &caption, const std::string &root, std::string &folder)
{
    if (!isFolder(folder))
        folder.clear();
    const std::string start = !folder.empty() ? folder : root;
    const QString chosen = QFileDialog::getExistingDirectory(
        owner, QString::fromStdString(caption), QFile::decodeName(QByteArray::fromStdString(start)),
        QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    const QByteArray bytes = QFile::encodeName(chosen);
    std::string path = NormalizeChosenFolder(std::string(bytes.constData(), std::size_t(bytes.size())));
    // Only an existing file-system folder can be the answer.
    if (!isFolder(path))
        return false;
    folder = std::move(path);
    return true;
}

} // namespace folvane

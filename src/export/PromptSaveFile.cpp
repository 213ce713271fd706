#include "PromptSaveFile.h"

#include <filesystem>
#include <system_error>

#include "common/UiServices.h"

namespace folvane {

std::string PromptSaveFile(const std::string &defaultExtension, const std::string &filter,
                           const std::string &initialName)
{
    std::string chosen = Ui().SaveFileDialog(defaultExtension, filter, initialName);
    if (chosen.empty())
        return {};

    // Any name already taken counts, a dangling link too: the writer would replace it.
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(chosen, error))) {
        MsgResult answer = Ui().MessageBox("Catalog with the same name already exists,overwrite?", "Warning",
                                           MsgButtons::YesNo, MsgIcon::Question);
        if (answer != MsgResult::Yes)
            return {};
    }
    return chosen;
}

} // namespace folvane

#pragma once
// The one place where the program asks for the name of a file it is about to write.

#include <string>

namespace folvane {

// Shows the save-file dialog (through the UI services) with the default extension (its dot
// included, ".xml"), the filter ("XML File|*.XML") and the initial name (none when empty). When
// the chosen file exists, asks "Catalog with the same name already exists,overwrite?" (Yes/No).
// Returns the chosen path, or "" when the dialog was cancelled or the overwrite declined.
//
// An existing file is left as it is: writers replace it only once their new file is complete
// (AtomicFile), so a cancelled, declined or failed export never costs the old file.
std::string PromptSaveFile(const std::string &defaultExtension, const std::string &filter,
                           const std::string &initialName);

} // namespace folvane

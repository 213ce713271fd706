#pragma once
// How every export command ends, told the same way whatever it writes.

#include <functional>

namespace folvane {

// Runs the writing step of an export (`write` answers false when the file prompt was cancelled)
// and tells the user through the UI services how it ended: "Export Finished" once the file is
// written; nothing when cancelled; otherwise which file could not be written and why, and that a
// file of that name keeps its old content. Nothing it catches goes further.
void WriteAndReport(const std::function<bool()> &write);

} // namespace folvane

#include "export/ExportEnd.h"

#include <exception>
#include <string>

#include "common/UiServices.h"

namespace folvane {

void WriteAndReport(const std::function<bool()> &write)
{
    bool done = false;
    try {
        done = write();
    } catch (const std::exception &error) {
        // The writers' errors name the file and the reason.
        Ui().MessageBox(std::string(error.what()) +
                            "\n\nThe export was not written; a file of that name keeps its old content.",
                        "Warning", MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (done)
        Ui().MessageBox("Export Finished", "Done", MsgButtons::Ok, MsgIcon::None);
}

} // namespace folvane

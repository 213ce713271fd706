#include "config/SaveOrSay.h"

#include <exception>

#include "common/UiServices.h"

namespace folvane {

bool SavedOrSaid(const std::function<bool()> &store, const std::string &what)
{
    try {
        return store();
    } catch (const std::exception &error) {
        try {
            Ui().MessageBox("The " + what + " could not be saved.\n" + error.what(), "Warning", MsgButtons::Ok,
                            MsgIcon::Exclamation);
        } catch (...) {
            // The dialog stays open whether or not the reason could be shown.
        }
    } catch (...) {
    }
    return false;
}

} // namespace folvane

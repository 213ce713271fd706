#pragma once
// What the OK button of a settings dialog does with a save that fails: the settings stay in
// memory, the user is told why in a warning, and the dialog stays open so that OK can be tried
// again. Nothing is thrown past it into the event loop.

#include <functional>
#include <string>

namespace folvane {

// Runs `store`; answers what it answered, or false when it threw, after a warning that "The
// `what` could not be saved." with the reason.
bool SavedOrSaid(const std::function<bool()> &store, const std::string &what);

} // namespace folvane

#pragma once
// The text forms of the user's locale, read once at start.

namespace folvane {

// Reads the system locale's short date, long time, decimal and grouping characters and a.m./p.m.
// texts, and installs them for the whole program (SetForms).
void InstallSystemForms();

} // namespace folvane

#pragma once
// The program's command line, decided before anything of Qt is made:
//
//   folvane [FOLDER|CATALOGUE]                     the window, scanning the folder or opening the
//                                                  catalogue file at start
//   folvane --output FILE [OPTIONS] FOLDER|CATALOGUE   no window and no display: scans the folder,
//                                                  or reads the catalogue, and writes the catalogue
//                                                  as XML or ncdu JSON by FILE's extension
//   folvane --help | --version
//
// OPTIONS are the scan options of the command line (ScanArguments in ScanChoices.h), applied over
// the choices of the configuration file where one is found. A run with --output reads that file
// only: it never creates or writes it. No part of this unit uses Qt.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace folvane {

struct TCommandLine {
    enum class Action { Window, Convert, Help, Version, Usage } action = Action::Window;
    std::string output;                 // Convert: the file to write
    std::string input;                  // the folder or catalogue; for Window, what to open first (may be empty)
    std::vector<std::string> scanFlags; // Convert: the scan options as given (with the input among them)
    std::string error;                  // Usage: what is wrong, in one line
};

// Reads the arguments (without the program's name).
TCommandLine ParseCommandLine(std::span<const std::string_view> args);

// "usage: folvane [--output FILE [OPTIONS]] [FOLDER|CATALOGUE]"
std::string UsageLine();
std::string HelpText();
std::string VersionText();

// Runs what the command line asks when no window is wanted, and answers the exit status; nothing
// when the window is to start, with `open` set to what it opens first (or empty). Writes help and
// version to standard output, reasons and progress to standard error.
std::optional<int> RunCommandLine(int argc, char **argv, std::string &open);

} // namespace folvane

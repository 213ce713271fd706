#pragma once
// Starting the user's terminal in a folder.
//
// The terminal is the first of these found: the command in $TERMINAL (a program name or path,
// with any arguments after blanks), x-terminal-emulator (the system's chosen terminal), then the
// common desktop terminals. It starts with the folder as its working folder, detached: in a
// session of its own and not a child of this program, so it outlives the program and leaves no
// process behind to be waited for. The folder is reached as TEntryPath reaches it, so a folder
// whose path is longer than the system's limit opens as well.

#include <optional>
#include <string>
#include <vector>

#include "common/EntryPath.h"

namespace folvane {

struct TerminalCommand {
    std::string program;           // the executable found
    std::vector<std::string> args; // argv, the command's own name first
};

// The terminal to start, looked up with the given TERMINAL and PATH values (either may be null:
// unset). Nothing when none is found.
std::optional<TerminalCommand> FindTerminal(const char *terminalVariable, const char *pathVariable);

struct TerminalStart {
    bool started = false;
    std::string program; // the terminal started, or tried
    std::string error;   // when not started: why, in words
};

// Starts the terminal found in the environment in `folder`.
TerminalStart StartTerminalIn(const TEntryPath &folder);

} // namespace folvane

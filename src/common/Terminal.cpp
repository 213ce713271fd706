#include "Terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace folvane {

namespace {

// After $TERMINAL and the system's choice: the terminals of the common desktops, then the plain ones.
constexpr const char *kCommonTerminals[] = {
    "gnome-terminal", "kgx", "ptyxis", "konsole", "xfce4-terminal", "mate-terminal", "lxterminal", "qterminal",
    "tilix", "terminator", "alacritty", "kitty", "foot", "wezterm", "urxvt", "rxvt", "xterm",
};

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> out;
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(" \t");
        if (start == std::string_view::npos)
            break;
        text.remove_prefix(start);
        const std::size_t end = std::min(text.find_first_of(" \t"), text.size());
        out.emplace_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return out;
}

bool isExecutableFile(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The executable a command name stands for: itself when it holds a "/", else the first match on PATH.
std::optional<std::string> locate(const std::string &command, const char *pathVariable)
{
    if (command.find('/') != std::string::npos)
        return isExecutableFile(command) ? std::optional<std::string>(command) : std::nullopt;
    std::string_view path = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    while (!path.empty()) {
        const std::size_t end = std::min(path.find(':'), path.size());
        const std::string_view folder = path.substr(0, end);
        path.remove_prefix(std::min(end + 1, path.size()));
        if (folder.empty() || folder.front() != '/')
            continue; // a relative entry would depend on this program's working folder
        std::string candidate = std::string(folder) + "/" + command;
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

void sendError(int fd, int error)
{
    [[maybe_unused]] ssize_t n = ::write(fd, &error, sizeof error);
}

} // namespace

std::optional<TerminalCommand> FindTerminal(const char *terminalVariable, const char *pathVariable)
{
    std::vector<std::vector<std::string>> choices;
    if (terminalVariable)
        if (std::vector<std::string> command = words(terminalVariable); !command.empty())
            choices.push_back(std::move(command));
    choices.push_back({"x-terminal-emulator"});
    for (const char *name : kCommonTerminals)
        choices.push_back({name});
    for (std::vector<std::string> &command : choices)
        if (std::optional<std::string> program = locate(command.front(), pathVariable))
            return TerminalCommand{*program, std::move(command)};
    return std::nullopt;
}

TerminalStart StartTerminalIn(const TEntryPath &folder)
{
    TerminalStart result;
    std::optional<TerminalCommand> terminal = FindTerminal(std::getenv("TERMINAL"), std::getenv("PATH"));
    if (!terminal) {
        result.error = "no terminal was found; set TERMINAL to the terminal you use";
        return result;
    }
    result.program = terminal->program;
    int error = 0;
    TUniqueFd where = OpenFolderAt(folder, folder.names.size(), error);
    if (!where.Valid()) {
        result.error = ErrorText(error);
        return result;
    }

    // Everything the new process needs is made before the fork: after it, in a program with
    // threads, the child may only make calls that are safe in a signal handler.
    std::vector<char *> argv;
    for (std::string &arg : terminal->args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const char *program = terminal->program.c_str();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        result.error = ErrorText(errno);
        return result;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        result.error = ErrorText(errno);
        ::close(report[0]);
        ::close(report[1]);
        return result;
    }
    if (child == 0) {
        // A session of its own, and a grandchild that runs the terminal: the child ends at once,
        // so the terminal is nobody's child here and needs no waiting for.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (grandchild < 0)
                sendError(report[1], errno);
            ::_exit(grandchild < 0 ? 1 : 0);
        }
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::fchdir(where.Get()) != 0) {
            sendError(report[1], errno);
            ::_exit(127);
        }
        const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (null >= 0)
            ::dup2(null, STDIN_FILENO);
        ::execv(program, argv.data());
        sendError(report[1], errno);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The report's last writer goes away at the terminal's exec: nothing read means it started.
    int failure = 0;
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == ssize_t(sizeof failure)) {
        result.error = ErrorText(failure);
        return result;
    }
    result.started = true;
    return result;
}

} // namespace folvane

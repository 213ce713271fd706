#include "app/CommandLine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "catalog/CatalogFile.h"
#include "catalog/CatalogNotes.h"
#include "catalog/ScanChoices.h"
#include "catalog/uFileReader.h"
#include "common/ProductVersion.h"
#include "config/ConfigStore.h"
#include "config/XmlDocument.h"
#include "export/FileInfo.h"
#include "export/NcduJsonWriter.h"
#include "views/uCtrl.h"

namespace folvane {

namespace {

enum class OutputFormat { None, Xml, Json };

OutputFormat formatOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return OutputFormat::None;
    std::string extension(path.substr(dot + 1));
    for (char &c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == "xml" ? OutputFormat::Xml : extension == "json" ? OutputFormat::Json : OutputFormat::None;
}

bool isOption(std::string_view arg)
{
    return arg.size() > 1 && arg[0] == '-';
}

TCommandLine usage(std::string error)
{
    TCommandLine line;
    line.action = TCommandLine::Action::Usage;
    line.error = std::move(error);
    return line;
}

// A request to end (Ctrl+C, SIGTERM) stops the scan or the read; the output is then left as it was.
std::atomic<bool> gInterrupted{false};

void interrupt(int)
{
    gInterrupted.store(true);
}

void catchEndRequests()
{
    struct sigaction action {};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// What was found so far, on one line of standard error that is written over, when that is a terminal.
class Progress {
public:
    Progress() : shown_(::isatty(STDERR_FILENO) == 1) {}
    ~Progress() { Done(); }

    void Report(std::uint64_t entries, std::uint64_t bytes)
    {
        if (!shown_)
            return;
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(mutex_); // a scan reports from its threads
        if (now - last_ < std::chrono::milliseconds(250))
            return;
        last_ = now;
        std::fprintf(stderr, "\r%llu entries, %s\x1b[K", (unsigned long long)entries, FormatBytes(bytes).c_str());
        std::fflush(stderr);
        written_ = true;
    }
    void Done()
    {
        std::lock_guard lock(mutex_);
        if (written_)
            std::fputs("\r\x1b[K", stderr);
        written_ = false;
    }
    bool Shown() const { return shown_; }

private:
    const bool shown_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point last_{};
    bool written_ = false;
};

int fail(const std::string &reason)
{
    std::fprintf(stderr, "folvane: %s\n", reason.c_str());
    return 1;
}

int interrupted(const std::string &output)
{
    std::fprintf(stderr, "folvane: interrupted; \"%s\" is left as it was\n", output.c_str());
    return 130;
}

// The scan choices of the configuration file where one is found; the built-in ones otherwise.
ScanChoices configuredChoices()
{
    const std::optional<std::filesystem::path> file = ExistingConfigFile(TConfigPlaces::ForThisProgram());
    if (!file)
        return {};
    try {
        return ReadScanChoices(file->string());
    } catch (const std::exception &e) {
        std::string why = e.what();
        for (char &c : why)
            if (c == '\n')
                c = ' ';
        std::fprintf(stderr, "folvane: the configuration cannot be used, so the built-in scan choices are in force: %s\n",
                     why.c_str());
        return {};
    }
}

// The folder as a full path, as the catalogue's top folder names it.
std::string fullPathOf(const std::string &folder)
{
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(folder, ec).lexically_normal();
    std::string text = ec ? folder : path.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

int convert(const TCommandLine &line)
{
    catchEndRequests();
    const std::vector<std::string_view> flags(line.scanFlags.begin(), line.scanFlags.end());
    const ScanChoices choices = ParseScanArguments(flags, configuredChoices()).choices;
    Progress progress;
    TNodeTree tree;

    struct stat st {};
    if (::stat(line.input.c_str(), &st) != 0)
        return fail("cannot read \"" + line.input + "\": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) {
        ScanOptions options;
        options.choices = choices;
        options.cancel = &gInterrupted;
        options.progress = [&](std::uint64_t entries, std::uint64_t bytes, std::uint64_t) { progress.Report(entries, bytes); };
        const ScanOutcome outcome = ScanFolder(tree, fullPathOf(line.input), options);
        if (outcome.cancelled)
            return interrupted(line.output);
        const NodeId top = tree.First();
        if (tree.Data(top).flags & (TFileNodeData::Unreadable | TFileNodeData::NotScanned))
            return fail("cannot read the folder \"" + line.input + "\": " + ReasonText(tree, top));
    } else {
        CatalogReadOptions options;
        options.choices = choices;
        options.cancel = &gInterrupted;
        options.progress = [&](std::uint64_t entries, std::uint64_t bytes) { progress.Report(entries, bytes); };
        try {
            if (ReadCatalogFile(tree, line.input, options).cancelled)
                return interrupted(line.output);
        } catch (const TCatalogFileError &e) {
            return fail(e.what());
        }
    }
    progress.Done();
    try {
        if (formatOf(line.output) == OutputFormat::Xml) {
            TXmlDocument doc;
            TFileInfo info;
            info.Doc = &doc;
            info.ResetDocument();
            info.BuildFromTree(tree);
            info.SaveDocument(line.output);
        } else {
            WriteNcduJson(tree, line.output);
        }
    } catch (const std::exception &e) {
        return fail(e.what());
    }
    if (progress.Shown())
        std::fprintf(stderr, "%s\n%llu entries written to %s\n", SummaryText(tree.Notes().summary).c_str(),
                     (unsigned long long)(tree.NodeCount() - 1), line.output.c_str());
    return 0;
}

} // namespace

TCommandLine ParseCommandLine(std::span<const std::string_view> args)
{
    TCommandLine line;
    std::vector<std::string_view> candidates; // scan flags, and what is neither a flag nor ours
    std::vector<std::string_view> positional;
    bool hasOutput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--") {
            positional.insert(positional.end(), args.begin() + std::ptrdiff_t(i) + 1, args.end());
            break;
        }
        if (a == "--help" || a == "-h") {
            line.action = TCommandLine::Action::Help;
            return line;
        }
        if (a == "--version") {
            line.action = TCommandLine::Action::Version;
            return line;
        }
        if (a == "--output" || a == "-o") {
            if (i + 1 == args.size())
                return usage(std::string(a) + " needs a file to write");
            line.output = args[++i];
            hasOutput = true;
        } else if (a.starts_with("--output=")) {
            line.output = a.substr(9);
            hasOutput = true;
        } else if (a == "--exclude") {
            candidates.push_back(a);
            if (i + 1 < args.size())
                candidates.push_back(args[++i]); // the pattern, whatever it looks like
        } else {
            candidates.push_back(a);
        }
    }
    const ScanArguments scan = ParseScanArguments(candidates);
    if (!scan.error.empty())
        return usage(scan.error);
    for (const std::string &rest : scan.rest) {
        if (isOption(rest))
            return usage("unknown option " + rest);
        positional.push_back(rest);
    }
    if (positional.size() > 1)
        return usage("one FOLDER or CATALOGUE at most");
    if (!positional.empty())
        line.input = positional.front();
    const bool scanFlags = candidates.size() != scan.rest.size();
    if (!hasOutput) {
        if (scanFlags)
            return usage("scan options go with --output; the window takes its own from Scan Options");
        return line;
    }
    if (line.output.empty())
        return usage("--output needs a file to write");
    if (formatOf(line.output) == OutputFormat::None)
        return usage("the output must end in .xml (Folvane's catalogue) or .json (ncdu JSON)");
    if (line.input.empty())
        return usage("--output needs a FOLDER or CATALOGUE to read");
    line.action = TCommandLine::Action::Convert;
    // Read again over the configuration's choices when it runs; what is not a flag is passed over then.
    line.scanFlags.assign(candidates.begin(), candidates.end());
    return line;
}

std::string UsageLine()
{
    return "usage: folvane [--output FILE [OPTIONS]] [FOLDER|CATALOGUE]";
}

std::string VersionText()
{
    return "folvane " + std::string(kProductVersion);
}

std::string HelpText()
{
    return UsageLine() + "\n"
                         "\n"
                         "Analyses where the space of a folder goes.\n"
                         "\n"
                         "  folvane                     start the window\n"
                         "  folvane FOLDER              start the window and scan FOLDER\n"
                         "  folvane CATALOGUE           start the window and open a catalogue file (Folvane XML or\n"
                         "                              ncdu JSON)\n"
                         "  folvane --output FILE [OPTIONS] FOLDER|CATALOGUE\n"
                         "                              without a window or a display: scan FOLDER, or read\n"
                         "                              CATALOGUE, and write the catalogue to FILE, as Folvane's\n"
                         "                              XML catalogue when FILE ends in .xml, as ncdu JSON when it\n"
                         "                              ends in .json; FILE is replaced only once it is complete\n"
                         "\n"
                         "Options, over the scan options of the configuration file where one is found (a run\n"
                         "with --output reads it but never creates or writes it):\n"
                         "  -o, --output FILE           the file to write\n"
                         "      --apparent-size         count the length of each file's content (the default)\n"
                         "      --disk-usage            count the blocks each file takes on disk\n"
                         "      --hardlinks-each        count a file with several names under each name (default)\n"
                         "      --hardlinks-once        count it under its first name only\n"
                         "      --cross-file-systems    walk into other file systems (the default)\n"
                         "      --one-file-system       do not walk into folders on another file system\n"
                         "      --exclude PATTERN       leave out what PATTERN matches (repeatable): a name, or a\n"
                         "                              path below the folder when it holds \"/\"\n"
                         "  -h, --help                  show this help\n"
                         "      --version               show the version\n"
                         "\n"
                         "The size kind and hard-link choice also apply when a catalogue is read: ncdu JSON\n"
                         "records both sizes and the names of each file.\n"
                         "\n"
                         "Exit status: 0 when the catalogue was written; 1 when the folder or catalogue could\n"
                         "not be read or the output not written (one line on standard error says why); 2 for a\n"
                         "mistake in the arguments; 130 when interrupted. Progress goes to standard error when\n"
                         "it is a terminal.\n";
}

std::optional<int> RunCommandLine(int argc, char **argv, std::string &open)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const TCommandLine line = ParseCommandLine(args);
    switch (line.action) {
    case TCommandLine::Action::Help:
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    case TCommandLine::Action::Version:
        std::puts(VersionText().c_str());
        return 0;
    case TCommandLine::Action::Usage:
        std::fprintf(stderr, "folvane: %s\n%s\n", line.error.c_str(), UsageLine().c_str());
        return 2;
    case TCommandLine::Action::Convert: return convert(line);
    case TCommandLine::Action::Window: break;
    }
    if (!line.input.empty()) {
        // What is to be opened must be there; what it holds the window says when it opens it.
        struct stat st {};
        if (::stat(line.input.c_str(), &st) != 0) {
            std::fprintf(stderr, "folvane: cannot open \"%s\": %s\n", line.input.c_str(), std::strerror(errno));
            return 1;
        }
        open = S_ISDIR(st.st_mode) ? fullPathOf(line.input) : line.input;
    }
    return std::nullopt;
}

} // namespace folvane

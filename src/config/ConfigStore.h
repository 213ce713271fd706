#pragma once
// The configuration store: the one in-memory configuration of the running program, loaded from
// FolvaneConfig.xml on first use and written back on request.
//
// Where the file lives: beside the executable. When that folder cannot be written to, the file
// lives in the user's configuration folder instead ($XDG_CONFIG_HOME/folvane, by default
// ~/.config/folvane); a file already in the program folder is then still read (once there is
// no user copy) and saves go to the user's copy. A missing file is created with the built-in
// default text and read back.
//
// A file that exists but cannot be used is never overwritten: when it cannot be read, is not a
// regular file of at most 16 MiB (a named pipe, a device, a folder, a larger file: refused before
// anything is read), is not well-formed XML, its root is not `config`, or a value the program
// needs does not read as its type (a column's Width, Visible, Index or ReadOnly, a class
// boundary's value, a scan option's flag), the store serves the built-in defaults from memory and keeps the reason for
// the program to show once. Save then writes nothing, with one exception: when the unusable file
// lies in a program folder that cannot be written and the user has no copy of their own, saves
// go to the user's file, which is read from then on (otherwise the layout would be lost at every
// close, for good); the unusable file is still left as it is. The defaults are also served when
// no file exists and none can be created.
//
// The store is used from the user-interface thread only; reading a missing attribute adds it.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/FolvaneConfig.h"

namespace folvane {

struct TConfigPlaces {
    std::filesystem::path programFolder; // the executable's folder
    std::filesystem::path userFolder;    // the user's folvane configuration folder
    // Whether a new file can be created in a folder; by default a real try with a temporary file.
    std::function<bool(const std::filesystem::path &)> canCreateFileIn = CanCreateFileIn;

    // The places of the running program: the folder of /proc/self/exe, and
    // $XDG_CONFIG_HOME/folvane (an absolute XDG_CONFIG_HOME only) or $HOME/.config/folvane.
    static TConfigPlaces ForThisProgram();
    static bool CanCreateFileIn(const std::filesystem::path &folder);
};

// Why the store runs on the built-in defaults.
struct TConfigProblem {
    std::string path;     // the file concerned
    std::string message;  // the parser's or the system's reason, or the value that failed
    int line = 0;         // 1-based line in the file; 0 when the problem has no line
    int column = 0;       // 1-based column in that line; 0 when not known
    std::string excerpt;  // the text at the fault, when known
    std::string savesTo;  // where saves go instead of the unusable file; empty: nothing is saved

    // One text for the user: path, line, column, reason and the text at the fault, and where the
    // settings will be kept when they are saved elsewhere.
    std::string Text() const;
};

class TConfig {
public:
    static constexpr std::string_view kFileName = "FolvaneConfig.xml";

    // Locates, if need be creates, and loads the configuration; never throws for a file that
    // cannot be used (see Problem()).
    TConfig();
    explicit TConfig(TConfigPlaces places);
    ~TConfig();
    TConfig(const TConfig &) = delete;
    TConfig &operator=(const TConfig &) = delete;

    // The full path of the file that saves write.
    const std::string &ConfigFileName() const { return fileName_; }
    // Writes the built-in default text to ConfigFileName(), replacing any content.
    void CreateDefaultFile() const;
    // The root binding (a counted reference; no allocation).
    std::shared_ptr<TXMLConfigType> XMLConfig() const { return root_; }
    // Writes the `config` element alone (no declaration, one line) to ConfigFileName(); the file
    // is replaced only once the new text is complete (a link is followed and kept). Throws (with
    // the path and the reason) when it cannot write, or when the file has no write permission
    // for anyone; the in-memory configuration keeps every change. Writes nothing when CanSave()
    // is false.
    void Save() const;

    // True when the store serves the built-in defaults because of a problem with the file.
    bool OnDefaults() const { return problem_.has_value(); }
    // False on the built-in defaults, unless saves go to the user's file (see the top).
    bool CanSave() const { return !problem_ || !problem_->savesTo.empty(); }
    const std::optional<TConfigProblem> &Problem() const { return problem_; }

private:
    void create(const TConfigPlaces &places);
    void useDefaults(TConfigProblem problem);

    std::string fileName_;
    std::shared_ptr<TXMLConfigType> root_;
    std::optional<TConfigProblem> problem_;
};

// Checks that every value the program needs reads as its type; returns the first that does not,
// with its line when known.
std::optional<TConfigProblem> ValidateConfig(const TXMLConfigType &config, const std::string &path);

// The configuration file that TConfig would read, when one exists, found without creating or
// writing anything (not even the probe TConfig makes of the program folder: the system's answer
// on access decides whether it can be written). For a run that must leave the configuration as
// it finds it.
std::optional<std::filesystem::path> ExistingConfigFile(const TConfigPlaces &places);

// The scan choices of the configuration file at `path`. Throws std::runtime_error with the
// problem's text (TConfigProblem::Text) when the file cannot be used.
ScanChoices ReadScanChoices(const std::string &path);

namespace detail {
extern TConfig *gConfig;
TConfig &CreateConfig();
} // namespace detail

// The one store, created on first use; afterwards only a pointer test.
inline TConfig &GetConfig()
{
    return detail::gConfig ? *detail::gConfig : detail::CreateConfig();
}

// Drops the store; the next GetConfig creates it again, at `places` when given (else at the
// running program's places). For tests and nothing else.
void ResetConfig(std::optional<TConfigPlaces> places = std::nullopt);

} // namespace folvane

#include "config/ConfigStore.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "common/SafeFile.h"

namespace folvane {

namespace fs = std::filesystem;

// --- places --------------------------------------------------------------------------------------

bool TConfigPlaces::CanCreateFileIn(const fs::path &folder)
{
    std::string probe = (folder / ".folvane-probe-XXXXXX").string();
    int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

TConfigPlaces TConfigPlaces::ForThisProgram()
{
    TConfigPlaces places;
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    places.programFolder = ec ? fs::current_path(ec) : exe.parent_path();

    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && fs::path(xdg).is_absolute()) {
        places.userFolder = fs::path(xdg) / "folvane";
    } else {
        const char *home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd *pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        // Without any home the user folder stays empty, so that no file can be created there.
        if (home && *home)
            places.userFolder = fs::path(home) / ".config" / "folvane";
    }
    return places;
}

std::string TConfigProblem::Text() const
{
    std::string text = "\"" + path + "\"";
    if (line > 0)
        text += ", line " + std::to_string(line);
    if (line > 0 && column > 0)
        text += ", column " + std::to_string(column);
    text += ": " + message;
    if (!excerpt.empty())
        text += " (at \"" + excerpt + "\")";
    if (!savesTo.empty())
        text += "\n\nThe settings will be kept in \"" + savesTo + "\" from now on.";
    return text;
}

// --- validation ----------------------------------------------------------------------------------

std::optional<TConfigProblem> ValidateConfig(const TXMLConfigType &config, const std::string &path)
{
    auto problemAt = [&](TXmlElement element, std::string message) {
        return TConfigProblem{path, std::move(message), config.Document().LineOf(element)};
    };

    TXMLNodesType nodes = config.Nodes();
    const int n = nodes.Count();
    for (int i = 0; i < n; ++i) {
        TXMLNodeType node = nodes.Node(i);
        try {
            node.Width();
            node.Visible();
            node.Index();
            node.ReadOnly();
        } catch (const TConvertError &e) {
            return problemAt(node.Element(), "column " + std::to_string(i + 1) + " (\"" +
                                                 node.Element().Attribute("Name") + "\"): " + e.what());
        }
    }
    auto checkItems = [&](const TXMLItemCollection &list, const char *what) -> std::optional<TConfigProblem> {
        const int count = list.Count();
        for (int i = 0; i < count; ++i) {
            TXMLItemType item = list.Item(i);
            try {
                item.Value();
            } catch (const TConvertError &e) {
                return problemAt(item.Element(), std::string(what) + " item " + std::to_string(i + 1) + ": " + e.what());
            }
        }
        return std::nullopt;
    };
    if (auto problem = checkItems(config.Agerange(), "agerange"))
        return problem;
    if (auto problem = checkItems(config.Sizerange(), "sizerange"))
        return problem;
    // The scan's choices, when the file has them (a file of an earlier version has none).
    if (const TXmlElement options = config.Element().FindChild("scanoptions")) {
        try {
            TXMLScanOptionsType(options).Choices();
        } catch (const TConvertError &e) {
            return problemAt(options, std::string("scanoptions: ") + e.what());
        }
    }
    return std::nullopt;
}

// --- the store -----------------------------------------------------------------------------------

TConfig::TConfig() : TConfig(TConfigPlaces::ForThisProgram()) {}

TConfig::TConfig(TConfigPlaces places) { create(places); }

TConfig::~TConfig() = default;

void TConfig::useDefaults(TConfigProblem problem)
{
    problem_ = std::move(problem);
    root_ = ConfigFromText(std::string(kDefaultConfigText));
}

namespace {

// Where the configuration is read from and where it is saved. Saves go to the program folder
// while it can be written to, else to the user's folder. The configuration is read from where
// saves go; a file left in a read-only program folder is read while the user has no copy of
// their own yet.
std::pair<fs::path, fs::path> sourceAndTarget(const TConfigPlaces &places, bool programFolderWritable)
{
    const fs::path inProgram = places.programFolder / TConfig::kFileName;
    const fs::path inUser = places.userFolder.empty() ? fs::path() : places.userFolder / TConfig::kFileName;
    if (inUser.empty() || programFolderWritable)
        return {inProgram, inProgram};
    std::error_code ec;
    return {(!fs::exists(inUser, ec) && fs::exists(inProgram, ec)) ? inProgram : inUser, inUser};
}

} // namespace

std::optional<fs::path> ExistingConfigFile(const TConfigPlaces &places)
{
    const bool writable = ::access(places.programFolder.c_str(), W_OK) == 0;
    const fs::path source = sourceAndTarget(places, writable).first;
    std::error_code ec;
    if (fs::exists(source, ec) || fs::is_symlink(source, ec))
        return source;
    return std::nullopt;
}

ScanChoices ReadScanChoices(const std::string &path)
{
    std::optional<TConfigProblem> problem;
    try {
        const auto root = LoadConfig(path);
        problem = ValidateConfig(*root, path);
        if (!problem)
            return root->ScanOptions().Choices();
    } catch (const TXmlParseError &e) {
        problem = TConfigProblem{path, e.Reason(), e.Line(), e.Column(), e.Excerpt()};
    } catch (const TXmlFileError &e) {
        problem = TConfigProblem{path, "Cannot read the file: " + e.Reason()};
    } catch (const std::exception &e) {
        problem = TConfigProblem{path, e.what()};
    }
    throw std::runtime_error(problem->Text());
}

void TConfig::create(const TConfigPlaces &places)
{
    const auto [source, target] = sourceAndTarget(places, places.canCreateFileIn(places.programFolder));
    const fs::path inUser = places.userFolder.empty() ? fs::path() : places.userFolder / kFileName;
    std::error_code ec;
    fileName_ = target.string();

    if (!fs::exists(source, ec) && !fs::is_symlink(source, ec)) {
        // No file anywhere: write the built-in text and read it back like any other file.
        try {
            if (target == inUser)
                fs::create_directories(places.userFolder);
            CreateDefaultFile();
        } catch (const std::exception &e) {
            useDefaults({fileName_, std::string("Cannot create the configuration file: ") + e.what()});
            return;
        }
    }

    const std::string sourceName = source.string();
    std::optional<TConfigProblem> problem;
    try {
        root_ = LoadConfig(sourceName);
        problem = ValidateConfig(*root_, sourceName);
    } catch (const TXmlParseError &e) {
        problem = TConfigProblem{sourceName, e.Reason(), e.Line(), e.Column(), e.Excerpt()};
    } catch (const TXmlFileError &e) {
        problem = TConfigProblem{sourceName, "Cannot read the file: " + e.Reason()};
    } catch (const std::exception &e) {
        problem = TConfigProblem{sourceName, e.what()};
    }
    if (!problem)
        return;
    // The unusable file lies in the program folder, which cannot be written, and the user has no
    // copy: saves go to the user's file, which is read from the next start on, instead of the
    // layout being lost at every close.
    if (source != target)
        problem->savesTo = fileName_;
    useDefaults(std::move(*problem));
}

void TConfig::CreateDefaultFile() const { WriteFileAtomically(fileName_, kDefaultConfigText); }

void TConfig::Save() const
{
    if (!CanSave())
        return; // the file on disk is the user's to repair; never write over it
    const std::string text = root_->Xml();

    // A link is followed, so that the link stays and its target gets the new text.
    std::error_code ec;
    fs::path target = fileName_;
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = resolved;
    }
    // A file marked read-only (no write permission for anyone) is left as the user marked it,
    // although replacing it by rename would be possible.
    fs::file_status status = fs::status(target, ec);
    if (!ec && fs::is_regular_file(status) &&
        (status.permissions() & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) ==
            fs::perms::none)
        throw std::runtime_error("Cannot write \"" + target.string() + "\": the file is read-only");

    fs::create_directories(target.parent_path(), ec); // a removed user folder comes back
    WriteFileAtomically(target.string(), text);
}

// --- the global store ----------------------------------------------------------------------------

namespace {
std::unique_ptr<TConfig> gOwner; // gConfig is its plain pointer, for the fast path of GetConfig
std::optional<TConfigPlaces> gPlaces;
} // namespace

TConfig *detail::gConfig = nullptr;

TConfig &detail::CreateConfig()
{
    if (!gOwner) {
        gOwner = gPlaces ? std::make_unique<TConfig>(*gPlaces) : std::make_unique<TConfig>();
        gConfig = gOwner.get();
    }
    return *gOwner;
}

void ResetConfig(std::optional<TConfigPlaces> places)
{
    detail::gConfig = nullptr;
    gOwner.reset();
    gPlaces = std::move(places);
}

} // namespace folvane

#include "Trash.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane {

namespace {

constexpr std::size_t kNameMax = 255;
constexpr std::string_view kInfoSuffix = ".trashinfo";

// What identifies a mount: its id where the kernel tells it, else the device.
std::uint64_t mountKey(const struct statx &st)
{
    if (st.stx_mask & STATX_MNT_ID)
        return st.stx_mnt_id;
    return (std::uint64_t(1) << 63) | (std::uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
}

std::optional<std::uint64_t> mountOf(int dirFd, const char *name, int flags)
{
    struct statx st {};
    if (::statx(dirFd, name, flags | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID, &st) != 0)
        return std::nullopt;
    return mountKey(st);
}

// The mount of the nearest folder of `path` that exists (the home trash need not exist yet).
std::optional<std::uint64_t> mountOfNearest(std::string path)
{
    for (;;) {
        if (auto key = mountOf(AT_FDCWD, path.c_str(), 0))
            return key;
        if (path.empty() || path == "/")
            return std::nullopt;
        path = FolderOf(path);
        if (path.empty())
            return std::nullopt;
    }
}

TrashResult failed(std::string reason)
{
    TrashResult r;
    r.outcome = TrashOutcome::Failed;
    r.reason = std::move(reason);
    return r;
}

TrashResult gone()
{
    TrashResult r;
    r.outcome = TrashOutcome::Gone;
    r.reason = "it is no longer there";
    return r;
}

std::string quoted(std::string_view path)
{
    return "\u201C" + ValidUtf8(path) + "\u201D";
}

// One trash folder, open: its files/ and info/, where it is, and how its info files name paths.
struct OpenTrash {
    TUniqueFd files, info;
    std::string path;        // of the trash folder, for the result and messages
    std::size_t relativeTo = 0; // the step of the entry's walk that Path is relative to; 0: absolute
};

// Opens the folder `name` in `parent`, making it (for this user only) when it is missing.
// `noLink`: a link there is refused rather than followed.
TUniqueFd openOrMake(int parent, const std::string &name, bool noLink, int &error)
{
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        error = errno;
        return {};
    }
    TUniqueFd fd(::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | (noLink ? O_NOFOLLOW : 0)));
    if (!fd.Valid())
        error = errno;
    return fd;
}

// Why a folder of the trash cannot be used, in words.
std::string unusable(const std::string &path, int error)
{
    if (error == ENOTDIR || error == ELOOP)
        return "the trash cannot take it: " + quoted(path) + " is not a folder";
    return "the trash cannot take it: " + quoted(path) + ": " + ErrorText(error);
}

// Opens files/ and info/ of the trash folder open as `trash`.
std::optional<std::string> openParts(OpenTrash &out, int trash, bool noLink)
{
    int error = 0;
    out.files = openOrMake(trash, "files", noLink, error);
    if (!out.files.Valid())
        return unusable(out.path + "/files", error);
    out.info = openOrMake(trash, "info", noLink, error);
    if (!out.info.Valid())
        return unusable(out.path + "/info", error);
    return std::nullopt;
}

// The home trash, made with its parents when missing.
std::optional<std::string> openHomeTrash(OpenTrash &out, const TrashPlaces &places)
{
    out.path = places.homeTrash;
    out.relativeTo = 0;
    const std::string parent = FolderOf(places.homeTrash);
    // The data folder may not exist yet on a fresh account: made as `mkdir -p` would, for this user.
    std::string made;
    for (std::size_t at = 1; at <= parent.size(); ++at) {
        if (at == parent.size() || parent[at] == '/') {
            made = parent.substr(0, at);
            if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
                return unusable(made, errno);
        }
    }
    TUniqueFd base(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!base.Valid())
        return unusable(parent, errno);
    int error = 0;
    TUniqueFd trash = openOrMake(base.Get(), places.homeTrash.substr(places.homeTrash.rfind('/') + 1), false, error);
    if (!trash.Valid())
        return unusable(places.homeTrash, error);
    return openParts(out, trash.Get(), false);
}

// The trash of the mount whose top folder is open as `top` (at `topPath`): $topdir/.Trash/$uid
// when $topdir/.Trash is a real folder with the sticky bit, else $topdir/.Trash-$uid. Either must
// be a real folder of this user.
std::optional<std::string> openMountTrash(OpenTrash &out, int top, const std::string &topPath, unsigned uid,
                                          std::size_t topStep)
{
    const std::string base = topPath == "/" ? std::string() : topPath;
    const std::string uidText = std::to_string(uid);
    out.relativeTo = topStep;
    TUniqueFd trash;
    struct stat st {};
    int error = 0;
    if (::fstatat(top, ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        TUniqueFd shared(::openat(top, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (shared.Valid()) {
            out.path = base + "/.Trash/" + uidText;
            trash = openOrMake(shared.Get(), uidText, true, error);
        }
    }
    if (!trash.Valid()) {
        out.path = base + "/.Trash-" + uidText;
        trash = openOrMake(top, ".Trash-" + uidText, true, error);
    }
    if (!trash.Valid())
        return unusable(out.path, error);
    if (::fstat(trash.Get(), &st) != 0)
        return unusable(out.path, errno);
    if (st.st_uid != uid)
        return "the trash cannot take it: " + quoted(out.path) + " belongs to another user";
    return openParts(out, trash.Get(), true);
}

// The deletion date as the trash writes it: local time, to the second, without a zone.
std::string deletionDate(std::time_t now)
{
    std::tm local {};
    ::localtime_r(&now, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

// The n-th name tried for `name` in the trash: the name, then "name.2", "name.3"..., cut so that
// the info file's name stays within the system's limit (a UTF-8 name at a character's end).
std::string candidate(std::string_view name, unsigned n)
{
    const std::string suffix = n == 1 ? std::string() : "." + std::to_string(n);
    const std::size_t room = kNameMax - kInfoSuffix.size() - suffix.size();
    std::string_view kept = name.substr(0, std::min(room, name.size()));
    if (kept.size() < name.size() && IsValidUtf8(name))
        while (!kept.empty() && (static_cast<unsigned char>(name[kept.size()]) & 0xC0) == 0x80)
            kept.remove_suffix(1);
    return std::string(kept) + suffix;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

int renameNoReplace(int fromDir, const char *from, int toDir, const char *to)
{
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the no-replace rename: the name was found free just before.
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

// Whether the folder open as `folder` lies within the entry `name` of `parent` (a folder cannot
// be moved into a trash it holds itself).
bool holds(int parent, const std::string &name, int folder)
{
    struct stat entry {};
    if (::fstatat(parent, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(entry.st_mode))
        return false;
    TUniqueFd at(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    for (int up = 0; up < 4096 && at.Valid(); ++up) {
        struct stat st {};
        if (::fstat(at.Get(), &st) != 0)
            return false;
        if (st.st_dev == entry.st_dev && st.st_ino == entry.st_ino)
            return true;
        TUniqueFd next(::openat(at.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (!next.Valid() || ::fstat(next.Get(), &above) != 0 || (above.st_dev == st.st_dev && above.st_ino == st.st_ino))
            return false; // the root
        at = std::move(next);
    }
    return false;
}

enum class Placed { Done, CrossDevice, Error };

// Claims a name in the trash and renames the entry into it. `error` is set for Error.
Placed placeInto(OpenTrash &trash, int parent, const std::string &name, const std::string &infoText,
                 TrashResult &result, int &error)
{
    for (unsigned n = 1; n <= 10000; ++n) {
        const std::string slot = candidate(name, n);
        struct stat st {};
        if (::fstatat(trash.files.Get(), slot.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            continue; // taken by an entry without an info file
        const std::string infoName = slot + std::string(kInfoSuffix);
        TUniqueFd info(::openat(trash.info.Get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!info.Valid()) {
            if (errno == EEXIST)
                continue;
            error = errno;
            return Placed::Error;
        }
        auto dropInfo = [&] { ::unlinkat(trash.info.Get(), infoName.c_str(), 0); };
        if (!writeAll(info.Get(), infoText) || ::fsync(info.Get()) != 0) {
            error = errno;
            info.Reset();
            dropInfo();
            return Placed::Error;
        }
        info.Reset();
        const int renamed = renameNoReplace(parent, name.c_str(), trash.files.Get(), slot.c_str());
        if (renamed == 0) {
            result.outcome = TrashOutcome::Moved;
            result.trashed = trash.path + "/files/" + slot;
            result.info = trash.path + "/info/" + infoName;
            return Placed::Done;
        }
        dropInfo();
        if (renamed == EEXIST || renamed == ENOTEMPTY)
            continue; // the name was taken meanwhile
        if (renamed == EXDEV)
            return Placed::CrossDevice;
        error = renamed;
        return Placed::Error;
    }
    error = EEXIST;
    return Placed::Error;
}

} // namespace

TrashPlaces TrashPlacesOfEnvironment()
{
    TrashPlaces places;
    places.uid = unsigned(::getuid());
    const char *data = std::getenv("XDG_DATA_HOME");
    const char *home = std::getenv("HOME");
    // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules say.
    if (data && data[0] == '/')
        places.homeTrash = std::string(data) + "/Trash";
    else if (home && home[0] != '\0')
        places.homeTrash = std::string(home) + "/.local/share/Trash";
    for (std::size_t at; (at = places.homeTrash.find("//")) != std::string::npos;)
        places.homeTrash.erase(at, 1);
    return places;
}

TrashResult MoveToTrash(const TEntryPath &entry, ExpectedKind expected, const TrashPlaces &places, std::time_t now)
{
    if (entry.names.empty())
        return failed("it is the folder the catalogue was made of");
    const std::string &name = entry.names.back();

    // The folder holding it, noting where the mount it lies on begins.
    int error = 0;
    std::vector<std::uint64_t> mounts;
    TUniqueFd mountTop;
    std::size_t mountTopStep = 0;
    TUniqueFd parent = OpenFolderAt(entry, entry.names.size() - 1, error, [&](std::size_t step, int fd) {
        const std::optional<std::uint64_t> key = mountOf(fd, "", AT_EMPTY_PATH);
        const std::uint64_t k = key.value_or(0);
        if (mounts.empty() || mounts.back() != k) {
            mountTop.Reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
            mountTopStep = step;
        }
        mounts.push_back(k);
    });
    if (!parent.Valid()) {
        if (error == ENOENT)
            return gone();
        if (error == ENOTDIR || error == ELOOP)
            return failed("a folder on its path has been replaced since the catalogue was made");
        return failed(ErrorText(error));
    }

    struct statx st {};
    if (::statx(parent.Get(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MNT_ID, &st) != 0)
        return errno == ENOENT ? gone() : failed(ErrorText(errno));
    const bool isFolder = S_ISDIR(st.stx_mode);
    if ((expected == ExpectedKind::Folder && !isFolder) || (expected == ExpectedKind::NotFolder && isFolder))
        return failed("it has been replaced since the catalogue was made");
    if (mountKey(st) != mounts.back())
        return failed("another file system is mounted there");

    // The info file: the original path, percent-encoded like a file URL's path, and the date.
    auto infoTextFor = [&](const OpenTrash &trash) {
        const std::string original = trash.relativeTo == 0 ? entry.Full() : entry.RelativeFromStep(trash.relativeTo);
        const std::string encoded = FileUrlOf(original).substr(std::string_view("file://").size());
        return "[Trash Info]\nPath=" + encoded + "\nDeletionDate=" + deletionDate(now) + "\n";
    };

    TrashResult result;
    const std::optional<std::uint64_t> homeMount =
        places.homeTrash.empty() ? std::nullopt : mountOfNearest(places.homeTrash);
    bool useHome = homeMount && *homeMount == mountKey(st);
    for (int attempt = 0; attempt < 2; ++attempt) {
        OpenTrash trash;
        std::optional<std::string> problem =
            useHome ? openHomeTrash(trash, places)
                    : openMountTrash(trash, mountTop.Get(), entry.PathAtStep(mountTopStep), places.uid, mountTopStep);
        if (problem)
            return failed(*problem);
        switch (placeInto(trash, parent.Get(), name, infoTextFor(trash), result, error)) {
        case Placed::Done:
            return result;
        case Placed::CrossDevice:
            if (useHome && attempt == 0) {
                useHome = false; // the same device, but another mount: that mount's own trash
                continue;
            }
            return failed("the trash " + quoted(trash.path) + " is on another file system");
        case Placed::Error:
            if (error == ENOENT)
                return gone();
            if (error == EINVAL && holds(parent.Get(), name, trash.files.Get()))
                return failed("it holds the trash folder " + quoted(trash.path) + " itself");
            return failed("the trash cannot take it: " + ErrorText(error));
        }
    }
    return failed("the trash cannot take it");
}

} // namespace folvane

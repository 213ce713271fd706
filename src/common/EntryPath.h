#pragma once
// An entry of a catalogue as the file system is asked about it: the folder the catalogue was made
// of, as the user named it, and the names below it.
//
// Opening walks down one name at a time, holding at most two descriptors, so an entry is reached
// whatever the length of its path (a path longer than PATH_MAX included). Links are followed
// only in the top folder's own path, as the user named it; below it no name is followed as a
// link, so a folder swapped for a link since the scan leads nowhere instead of somewhere else.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct stat;

namespace folvane {

// Owns one file descriptor.
class TUniqueFd {
public:
    TUniqueFd() = default;
    explicit TUniqueFd(int fd) : fd_(fd) {}
    ~TUniqueFd() { Reset(); }
    TUniqueFd(TUniqueFd &&other) noexcept : fd_(other.Release()) {}
    TUniqueFd &operator=(TUniqueFd &&other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    TUniqueFd(const TUniqueFd &) = delete;
    TUniqueFd &operator=(const TUniqueFd &) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd = -1); // closes the one held, keeping errno

private:
    int fd_ = -1;
};

struct TEntryPath {
    std::string top;                // the catalogue's folder as the user named it
    std::vector<std::string> names; // the names below it, outermost first; empty for the top itself

    // The top folder and the "/"-separated names below it (empty for the top itself).
    static TEntryPath Below(std::string top, std::string_view below);
    // The full path: the top and the names joined by "/".
    std::string Full() const;
    // The last name, or the top itself for the top.
    std::string Name() const;
    // The folder holding the entry (the top has none: it answers itself).
    TEntryPath Parent() const;

    // A walk goes through steps: the folders of the top's own path, starting at "/" (the current
    // folder for a relative top) and ending at the top, then one step per name. TopSteps() is the
    // number of the first kind; the entry itself is the last step, Steps() - 1.
    std::size_t TopSteps() const;
    std::size_t Steps() const { return TopSteps() + names.size(); }
    // The path of the folder at a step, as named; and the names that lead from it to the entry,
    // joined by "/" (empty for the entry itself).
    std::string PathAtStep(std::size_t step) const;
    std::string RelativeFromStep(std::size_t step) const;
};

// Called at each step of a walk with the step's number and the folder reached.
using WalkVisit = std::function<void(std::size_t step, int folderFd)>;

// Opens the folder reached after the top and its first `depth` names (depth 0 is the top
// itself) with O_PATH: fit for the *at calls, fchdir and fstat, not for reading. An invalid
// descriptor with `error` set when a step fails: ENOENT when a name is gone, ELOOP or ENOTDIR
// when it is no longer a folder (a link below the top is never followed).
TUniqueFd OpenFolderAt(const TEntryPath &path, std::size_t depth, int &error, const WalkVisit &visit = {});

// The status of the entry itself (a link is not followed); false with `error` set when it
// cannot be had (ENOENT: it is gone).
bool StatEntry(const TEntryPath &path, struct stat &st, int &error);

// The system's words for an error number ("Permission denied").
std::string ErrorText(int error);

} // namespace folvane

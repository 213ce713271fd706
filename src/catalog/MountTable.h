#pragma once
// The mounts of this process, as /proc/self/mountinfo lists them, and which file systems a scan
// does not walk.
//
// The scan tells a mount point from the mount id that statx reports for a folder, and decides by
// the mount's file system type, never by its path: kernel file systems (proc, sysfs, ...) hold
// pseudo-files whose sizes mean nothing and whose reads can block. devtmpfs and tmpfs share one
// magic number, so only the type named in mountinfo tells them apart.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folvane {

struct TMount {
    std::uint64_t id = 0;
    std::uint32_t major = 0, minor = 0;
    std::string mountPoint; // with the kernel's octal escapes undone
    std::string type;       // "ext4", "proc", "fuse.sshfs", ...
};

class TMountTable {
public:
    TMountTable() = default;
    // Parses mountinfo text; lines that do not read as mounts are skipped.
    static TMountTable FromText(std::string_view mountinfo);
    // The table of this process; empty when /proc/self/mountinfo cannot be read.
    static TMountTable OfThisProcess();

    const TMount *ById(std::uint64_t id) const;
    // The last mount of a device: the one that hides any earlier mount of it at the same place.
    const TMount *ByDevice(std::uint32_t major, std::uint32_t minor) const;
    const std::vector<TMount> &Mounts() const { return mounts_; }

private:
    std::vector<TMount> mounts_;
};

// True for the kernel's own file systems, which a scan never walks.
bool IsKernelFileSystem(std::string_view type);

} // namespace folvane

#include "uFileReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "catalog/CatalogNotes.h"
#include "catalog/Exclusions.h"
#include "catalog/MountTable.h"

namespace folvane {

std::string_view ExtensionOf(std::string_view path)
{
    // From the end by hand: find_last_of asks memchr about each character, and this runs for
    // every file a count or a cell looks at.
    for (std::size_t at = path.size(); at-- > 0;) {
        if (path[at] == '/')
            return {};
        if (path[at] == '.')
            return path.substr(at + 1);
    }
    return {};
}

namespace {

constexpr std::uint32_t kTimeFields = (1u << CreateTime) | (1u << AccessTime) | (1u << WriteTime);
constexpr std::uint32_t kScannedFields = (1u << FileName) | (1u << FullPath) | (1u << FileSize) |
                                         (1u << FileType) | (1u << FileNameLength) | (1u << PathNameLength) |
                                         kTimeFields | (1u << DOSName);
constexpr unsigned kStatxMask = STATX_TYPE | STATX_SIZE | STATX_BLOCKS | STATX_NLINK | STATX_INO | STATX_ATIME |
                                STATX_MTIME | STATX_BTIME | STATX_MNT_ID;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Bytes of relative path resolved in one openat2 call: far below PATH_MAX, and more than any one
// name (NAME_MAX), so a longer path always has a "/" within reach to continue from.
constexpr std::size_t kOneStep = 2048;

std::atomic<bool> gOpenat2{true};

// Keeps errno across the closing of a descriptor.
void closeKeepingErrno(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// Opens the folder at `relative` below `base` with no component followed as a link; -1 with
// errno, ENOSYS when the kernel has no openat2. Retries the rare EAGAIN of a racing rename.
int openat2Beneath(int base, const char *relative)
{
    struct open_how how {};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH;
    for (int attempt = 0;; ++attempt) {
        const long fd = ::syscall(SYS_openat2, base, relative, &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN || attempt == 3)
            return int(fd);
    }
}

// Opens the folder at `rel` (names joined by "/") below `top` one name at a time, none followed
// as a link. At most two descriptors are open at once: the last folder reached and the next one.
int openNameByName(int top, std::string_view rel, std::string &scratch)
{
    int fd = top;
    while (!rel.empty()) {
        const std::size_t end = std::min(rel.find('/'), rel.size());
        scratch.assign(rel.substr(0, end));
        rel.remove_prefix(std::min(end + 1, rel.size()));
        const int next = ::openat(fd, scratch.c_str(), kFolderFlags);
        if (fd != top)
            closeKeepingErrno(fd);
        if (next < 0)
            return -1;
        fd = next;
    }
    return fd;
}

// The same with openat2, kOneStep bytes of path at a time. -1 with errno ENOSYS (or EPERM, as
// some sandboxes answer for a call they do not know) when openat2 cannot be used.
int openStepwise(int top, std::string_view rel, std::string &scratch)
{
    int base = top;
    for (;;) {
        const bool last = rel.size() <= kOneStep;
        const std::size_t cut = last ? rel.size() : rel.rfind('/', kOneStep);
        if (cut == std::string_view::npos || cut == 0) {
            if (base != top)
                ::close(base);
            errno = ENAMETOOLONG;
            return -1;
        }
        scratch.assign(rel.substr(0, cut));
        const int fd = openat2Beneath(base, scratch.c_str());
        if (base != top)
            closeKeepingErrno(base);
        if (fd < 0 || last)
            return fd;
        base = fd;
        rel.remove_prefix(cut + 1);
    }
}

// Opens the folder at `rel` below the chosen folder's descriptor `top` (itself for "").
int openFolder(int top, std::string_view rel, std::string &scratch)
{
    if (rel.empty())
        return ::openat(top, ".", kFolderFlags);
    if (gOpenat2.load(std::memory_order_relaxed)) {
        const int fd = openStepwise(top, rel, scratch);
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
            return fd;
        const int error = errno;
        const int again = openNameByName(top, rel, scratch);
        if (error == ENOSYS || again >= 0)
            gOpenat2.store(false, std::memory_order_relaxed); // this kernel or sandbox has none
        return again;
    }
    return openNameByName(top, rel, scratch);
}

std::uint64_t mountIdOf(const struct statx &st)
{
    return (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
}

// One directory entry as the walk reads it, before it becomes a node.
struct Entry {
    std::uint32_t nameAt, nameLen; // in the folder's name buffer
    bool folder = false;
    bool walk = false;  // a folder to read in its turn
    bool timed = false; // its status was read
    std::uint16_t mark = 0;
    std::uint64_t apparent = 0, usage = 0;
    std::int64_t times[3] = {0, 0, 0}; // birth (or write), access, write; UTC seconds
    std::uint64_t mountId = 0;         // a folder's mount
    std::uint32_t devMajor = 0, devMinor = 0;
    std::uint32_t links = 0;           // a file's names, when it has several
    std::uint64_t inode = 0;
    TEntryReason reason;
};

struct FolderTask {
    NodeId node;
    std::string rel; // the path below the chosen folder, "" for the chosen folder itself
    std::uint64_t mountId;
    std::uint32_t devMajor, devMinor;
};

// The folder a thread read last, kept open: the next folder a thread takes is most often a child
// of the one it just read (the first subfolder goes on top of the stack), and is then opened by
// its name alone instead of by a path from the chosen folder, which keeps deep trees linear.
struct LastFolder {
    int fd = -1;
    std::string rel;
    ~LastFolder() { Close(); }
    void Close()
    {
        if (fd >= 0)
            closeKeepingErrno(fd);
        fd = -1;
    }
    // The name of `rel` when it is a child of this folder, else empty.
    std::string_view ChildName(std::string_view child) const
    {
        if (fd < 0 || child.empty())
            return {};
        if (!rel.empty()) {
            if (child.size() <= rel.size() + 1 || !child.starts_with(rel) || child[rel.size()] != '/')
                return {};
            child.remove_prefix(rel.size() + 1);
        }
        return child.find('/') == std::string_view::npos ? child : std::string_view();
    }
};

// What one thread keeps between folders, so that reading a folder allocates nothing new.
struct ThreadBuffers {
    std::vector<Entry> entries;
    std::string names;
    std::vector<FolderTask> found;
    std::vector<TLinkName> links;
    std::vector<std::pair<NodeId, TEntryReason>> reasons;
    std::uint64_t excluded = 0; // entries of the folder read last left out by the patterns
    std::string scratch, path;
    std::vector<std::uint64_t> listing = std::vector<std::uint64_t>(4096); // 32 KiB for getdents64
    LastFolder last;
};

// The times a record keeps, from an entry's status: birth (write where the file system keeps
// no birth time), access, write; UTC seconds.
void timesOf(const struct statx &st, std::int64_t times[3])
{
    times[2] = st.stx_mtime.tv_sec;
    times[1] = st.stx_atime.tv_sec;
    times[0] = (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec;
}

// What the walk found of an entry, in its record; the name is the caller's.
void fillRecord(TFileNodeData &data, const Entry &e, bool disk)
{
    data.size = disk ? e.usage : e.apparent;
    data.otherSize = disk ? e.apparent : e.usage;
    for (int k = 0; k < 3; ++k)
        data.times[k] = e.timed ? ToLocalSeconds(e.times[k]) : 0;
    const std::uint16_t kept = data.flags & (TFileNodeData::ExplicitPath | TFileNodeData::Expanded);
    data.flags = kept | (e.folder ? TFileNodeData::Folder : TFileNodeData::File) | e.mark;
    data.present = (e.timed ? kScannedFields : kScannedFields & ~kTimeFields) | (e.folder ? 0u : (1u << FileExt));
}

// The shared state of one parallel walk: a stack of folders still to read, and the counters.
class Walk {
public:
    Walk(TNodeTree &tree, const ScanOptions &options)
        : tree_(tree), notes_(tree.Notes()), options_(options), exclusions_(options.choices.exclude)
    {
    }
    ~Walk()
    {
        if (top_ >= 0)
            ::close(top_);
    }

    // Walks the folder `path` (ending in "/") into the children of `top`.
    void Run(NodeId top, const std::string &path)
    {
        topPath_ = path;
        mounts_ = TMountTable::OfThisProcess();
        if (!openTop(top))
            return finish();
        if (!options_.below.empty()) {
            tasks_.clear();
            if (!startBelow(top))
                return finish();
        }
        pending_ = 1;
        unsigned n = options_.threads ? options_.threads : std::max(2u, std::thread::hardware_concurrency());
        std::vector<std::thread> threads;
        for (unsigned i = 1; i < n; ++i) {
            try {
                threads.emplace_back([this] { Work(); });
            } catch (const std::system_error &) {
                break; // no more threads to be had: the ones running (and this one) do the walk
            }
        }
        Work();
        for (auto &t : threads)
            t.join();
        finish();
    }

    bool Cancelled() const { return options_.cancel && options_.cancel->load(std::memory_order_relaxed); }

    void Summarise(TScanSummary &s) const
    {
        s.foldersNotRead = notRead_.load();
        s.kernelFolders = kernel_.load();
        s.otherFsFolders = otherFs_.load();
        s.excluded = excluded_.load();
        s.patterns = exclusions_.Count();
    }

private:
    void finish()
    {
        if (options_.progress)
            options_.progress(entries_.load(), bytes_.load(), notRead_.load());
    }

    // Marks a folder (or entry) whose content or status could not be read.
    void markNotRead(NodeId node, int error)
    {
        tree_.Data(node).flags |= TFileNodeData::Unreadable;
        notRead_.fetch_add(1, std::memory_order_relaxed);
        std::lock_guard lock(mutex_);
        notes_.reasons[node] = {ReasonKind::NotRead, error, {}};
    }

    // Opens the chosen folder and queues it; false when it is not walked (it is marked).
    bool openTop(NodeId top)
    {
        const std::string &path = topPath_;
        struct statx st;
        // The chosen folder as named (a link to a folder is followed here), without triggering
        // an automount.
        if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, kStatxMask, &st) != 0) {
            markNotRead(top, errno);
            return false;
        }
        if (!S_ISDIR(st.stx_mode)) {
            markNotRead(top, ENOTDIR);
            return false;
        }
        Entry e;
        if (!classifyFolder(st, nullptr, e)) {
            tree_.Data(top).flags |= e.mark;
            notes_.reasons[top] = std::move(e.reason);
            return false;
        }
        top_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (top_ < 0 || ::statx(top_, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT, kStatxMask, &st) != 0) {
            markNotRead(top, errno);
            return false;
        }
        topMajor_ = st.stx_dev_major;
        topMinor_ = st.stx_dev_minor;
        tasks_.push_back({top, std::string(), mountIdOf(st), st.stx_dev_major, st.stx_dev_minor});
        return true;
    }

    // The folder to walk lies below the chosen one (to refresh it in the chosen folder's
    // catalogue): it is reached from the chosen folder's descriptor as every folder of a walk is,
    // whatever the length of its path, and its node is filled as the entry it is there (status,
    // times, mark), judged against its own parent as any entry is. Queues it when it is walked.
    bool startBelow(NodeId top)
    {
        const std::string &below = options_.below;
        const std::size_t slash = below.rfind('/');
        FolderTask parent{kNoNode, slash == std::string::npos ? std::string() : below.substr(0, slash), 0, 0, 0};
        const std::string name = below.substr(slash == std::string::npos ? 0 : slash + 1);
        std::string scratch;
        const int fd = openFolder(top_, parent.rel, scratch);
        if (fd < 0) {
            if (errno != ENOENT) // a folder gone is simply empty
                markNotRead(top, errno);
            return false;
        }
        struct statx st;
        Entry e;
        bool found = false;
        if (::statx(fd, "", AT_EMPTY_PATH | AT_NO_AUTOMOUNT, kStatxMask, &st) == 0) {
            parent.mountId = mountIdOf(st);
            parent.devMajor = st.stx_dev_major;
            parent.devMinor = st.stx_dev_minor;
            found = examine(fd, name.c_str(), DT_UNKNOWN, parent, e);
        } else {
            e.folder = true;
            e.mark = TFileNodeData::Unreadable;
            e.reason = {ReasonKind::NotRead, errno, {}};
            found = true;
        }
        closeKeepingErrno(fd);
        if (!found)
            return false;
        if (!e.timed && e.folder)
            notRead_.fetch_add(1, std::memory_order_relaxed);
        fillRecord(tree_.Data(top), e, options_.choices.sizeKind == SizeKind::DiskUsage);
        if (e.mark)
            notes_.reasons[top] = std::move(e.reason);
        if (e.walk)
            tasks_.push_back({top, below, e.mountId, e.devMajor, e.devMinor});
        return e.walk;
    }

    // Whether a folder is walked, from its status and its parent's (none for the chosen folder).
    // A folder that is not gets its mark and reason in `e`.
    bool classifyFolder(const struct statx &st, const FolderTask *parent, Entry &e)
    {
        const std::uint64_t mountId = mountIdOf(st);
        const bool mountPoint = !parent || mountId != parent->mountId || st.stx_dev_major != parent->devMajor ||
                                st.stx_dev_minor != parent->devMinor;
        const TMount *mount = nullptr;
        auto typeHere = [&]() -> std::string {
            if (!mount)
                mount = mountId ? mounts_.ById(mountId) : mounts_.ByDevice(st.stx_dev_major, st.stx_dev_minor);
            return mount ? mount->type : std::string("unknown");
        };
        auto notScanned = [&](ReasonKind kind, std::atomic<std::uint64_t> &counter) {
            e.mark = TFileNodeData::NotScanned;
            e.reason = {kind, 0, typeHere()};
            counter.fetch_add(1, std::memory_order_relaxed);
            return false;
        };
        if ((st.stx_attributes_mask & STATX_ATTR_AUTOMOUNT) && (st.stx_attributes & STATX_ATTR_AUTOMOUNT))
            return notScanned(ReasonKind::Automount, kernel_);
        if (mountPoint && IsKernelFileSystem(typeHere()))
            return notScanned(ReasonKind::KernelFileSystem, kernel_);
        if (parent && options_.choices.oneFileSystem &&
            (st.stx_dev_major != topMajor_ || st.stx_dev_minor != topMinor_))
            return notScanned(ReasonKind::OtherFileSystem, otherFs_);
        return true;
    }

    void Work()
    {
        TNodeTree::TextWriter writer(tree_);
        ThreadBuffers buffers;
        std::optional<FolderTask> next; // the first subfolder of the folder just read: kept, not shared
        for (;;) {
            FolderTask task;
            if (next) {
                task = std::move(*next);
                next.reset();
            } else {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !tasks_.empty() || pending_ == 0; });
                if (tasks_.empty())
                    return;
                task = std::move(tasks_.back());
                tasks_.pop_back();
            }
            buffers.found.clear();
            buffers.links.clear();
            buffers.reasons.clear();
            buffers.excluded = 0;
            if (!Cancelled()) {
                try {
                    if (options_.beforeFolder)
                        options_.beforeFolder(folderPathOf(task));
                    if (!Cancelled())
                        ScanEntries(task, writer, buffers);
                } catch (...) {
                    // An error while reading a folder ends that folder only: it keeps what was
                    // added of it, and no exception may leave a walking thread.
                }
            }
            std::lock_guard lock(mutex_);
            notes_.links.insert(notes_.links.end(), buffers.links.begin(), buffers.links.end());
            for (auto &[node, reason] : buffers.reasons)
                notes_.reasons[node] = std::move(reason);
            if (buffers.excluded)
                notes_.excludedIn[task.node] += buffers.excluded;
            pending_ += buffers.found.size();
            --pending_; // this folder is done
            // The thread goes on down its own first subfolder, which it opens by name from the
            // folder it has just read; the others are there for any thread, the next one on top.
            if (!buffers.found.empty())
                next = std::move(buffers.found.front());
            for (std::size_t i = buffers.found.size(); i-- > 1;)
                tasks_.push_back(std::move(buffers.found[i]));
            if (buffers.found.size() > 1 || pending_ == 0)
                ready_.notify_all();
        }
    }

    // Reads one entry's status into `e`; false when the entry is gone and is left out.
    bool examine(int fd, const char *name, unsigned char type, const FolderTask &task, Entry &e)
    {
        struct statx st;
        if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxMask, &st) != 0) {
            if (errno == ENOENT)
                return false; // gone since the directory listed it
            // Known by name only: the kind the directory gives, nothing else. A folder that
            // cannot be looked at is not opened either (it might be an automount point).
            e.folder = type == DT_DIR;
            e.mark = TFileNodeData::Unreadable;
            e.reason = {ReasonKind::NotRead, errno, {}};
            return true;
        }
        e.timed = true;
        e.folder = S_ISDIR(st.stx_mode);
        timesOf(st, e.times);
        if (!e.folder) {
            e.apparent = st.stx_size;
            e.usage = std::uint64_t(st.stx_blocks) * 512;
            if (st.stx_nlink > 1) {
                e.links = st.stx_nlink;
                e.inode = st.stx_ino;
                e.devMajor = st.stx_dev_major;
                e.devMinor = st.stx_dev_minor;
            }
        } else {
            e.mountId = mountIdOf(st);
            e.devMajor = st.stx_dev_major;
            e.devMinor = st.stx_dev_minor;
            e.walk = classifyFolder(st, &task, e);
        }
        return true;
    }

    bool excluded(std::string_view name, const FolderTask &task, bool folder, std::string &path) const
    {
        if (exclusions_.NeedsPath()) {
            path.assign(task.rel);
            if (!path.empty())
                path += '/';
            path += name;
        }
        return exclusions_.Matches(name, path, folder);
    }

    // Opens the task's folder, by its name from the folder read last when it is a child of it;
    // the descriptor becomes the thread's last folder. At most two descriptors are open at once.
    int openTask(const FolderTask &task, ThreadBuffers &b)
    {
        int fd;
        if (std::string_view name = b.last.ChildName(task.rel); !name.empty()) {
            b.scratch.assign(name);
            fd = ::openat(b.last.fd, b.scratch.c_str(), kFolderFlags);
            b.last.Close();
        } else {
            b.last.Close();
            fd = openFolder(top_, task.rel, b.scratch);
        }
        if (fd >= 0) {
            b.last.fd = fd;
            b.last.rel = task.rel;
        }
        return fd;
    }

    // A folder's full path, ending in "/", as the tests' hooks are given it.
    std::string folderPathOf(const FolderTask &task) const
    {
        return topPath_ + task.rel + (task.rel.empty() ? "" : "/");
    }

    // Reads one folder: adds its entries, in the order the directory delivers them, as the
    // children of the task's node, and hands back its subfolders for walking.
    void ScanEntries(const FolderTask &task, TNodeTree::TextWriter &writer, ThreadBuffers &b)
    {
        if (options_.denyFolder && options_.denyFolder(folderPathOf(task))) {
            markNotRead(task.node, EACCES);
            return;
        }
        const int fd = openTask(task, b);
        if (fd < 0) {
            if (errno != ENOENT) // a folder gone since it was listed is simply empty
                markNotRead(task.node, errno);
            return;
        }
        b.entries.clear();
        b.names.clear();
        int folderError = 0; // the folder could not be listed to its end, or an entry not examined
        char *listing = reinterpret_cast<char *>(b.listing.data());
        const std::size_t listingSize = b.listing.size() * sizeof(std::uint64_t);
        for (;;) {
            const ssize_t got = ::getdents64(fd, listing, listingSize);
            if (got <= 0) {
                folderError = got < 0 ? errno : folderError;
                break;
            }
            for (ssize_t at = 0; at < got;) {
                const auto *d = reinterpret_cast<const struct dirent64 *>(listing + at);
                at += d->d_reclen;
                const char *name = d->d_name;
                if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                    continue;
                const std::uint32_t nameLen = std::uint32_t(std::strlen(name));
                // The directory's kind spares looking at an entry that is left out anyway.
                if (!exclusions_.Empty() && d->d_type != DT_UNKNOWN &&
                    excluded({name, nameLen}, task, d->d_type == DT_DIR, b.path)) {
                    excluded_.fetch_add(1, std::memory_order_relaxed);
                    ++b.excluded;
                    continue;
                }
                Entry e;
                if (!examine(fd, name, d->d_type, task, e))
                    continue;
                if (!exclusions_.Empty() && d->d_type == DT_UNKNOWN &&
                    excluded({name, nameLen}, task, e.folder, b.path)) {
                    excluded_.fetch_add(1, std::memory_order_relaxed);
                    ++b.excluded;
                    continue;
                }
                if (!e.timed) {
                    folderError = e.reason.error;
                    if (e.folder)
                        notRead_.fetch_add(1, std::memory_order_relaxed);
                }
                e.nameAt = std::uint32_t(b.names.size());
                e.nameLen = nameLen;
                b.names.append(name, nameLen);
                b.entries.push_back(std::move(e));
            }
        }
        if (folderError)
            markNotRead(task.node, folderError);
        if (b.entries.empty())
            return;

        const bool disk = options_.choices.sizeKind == SizeKind::DiskUsage;
        const NodeId first = tree_.AddChildBlock(task.node, std::uint32_t(b.entries.size()));
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < b.entries.size(); ++i) {
            Entry &e = b.entries[i];
            const NodeId id = first + NodeId(i);
            std::string_view name(b.names.data() + e.nameAt, e.nameLen);
            TFileNodeData &data = tree_.Data(id);
            data.textRef = writer.Append(name);
            data.textLen = e.nameLen;
            data.nameLen = std::uint16_t(e.nameLen);
            fillRecord(data, e, disk);
            bytes += data.size;
            if (e.mark)
                b.reasons.emplace_back(id, std::move(e.reason));
            if (e.links)
                b.links.push_back({id, TLinkName::Device(e.devMajor, e.devMinor), e.links, std::uint32_t(e.inode),
                                   std::uint32_t(e.inode >> 32)});
            if (e.walk) {
                std::string rel = task.rel;
                if (!rel.empty())
                    rel += '/';
                rel += name;
                b.found.push_back({id, std::move(rel), e.mountId, e.devMajor, e.devMinor});
            }
        }
        entries_.fetch_add(b.entries.size(), std::memory_order_relaxed);
        bytes_.fetch_add(bytes, std::memory_order_relaxed);
        ReportProgress();
    }

    void ReportProgress()
    {
        if (!options_.progress)
            return;
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        auto last = lastReport_.load(std::memory_order_relaxed);
        constexpr auto kInterval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::milliseconds(250))
                                       .count();
        if (now - last < kInterval || !lastReport_.compare_exchange_strong(last, now))
            return;
        options_.progress(entries_.load(std::memory_order_relaxed), bytes_.load(std::memory_order_relaxed),
                          notRead_.load(std::memory_order_relaxed));
    }

    TNodeTree &tree_;
    TCatalogNotes &notes_; // its tables change under mutex_ only
    const ScanOptions &options_;
    const TExclusions exclusions_;
    TMountTable mounts_;
    std::string topPath_; // ends in "/"
    int top_ = -1;        // the chosen folder, the base every other folder is opened from
    std::uint32_t topMajor_ = 0, topMinor_ = 0;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<FolderTask> tasks_;
    std::size_t pending_ = 0; // folders queued or being read
    std::atomic<std::uint64_t> entries_{0}, bytes_{0};
    std::atomic<std::uint64_t> notRead_{0}, kernel_{0}, otherFs_{0}, excluded_{0};
    std::atomic<std::chrono::steady_clock::rep> lastReport_{0};
};

} // namespace

void detail::AllowOpenat2(bool allowed)
{
    gOpenat2.store(allowed);
}

ScanOutcome ScanFolder(TNodeTree &tree, std::string_view path, const ScanOptions &options)
{
    tree.Clear();
    ScanOutcome outcome;
    NodeId top = tree.AddTopLevel();
    std::string folder(path);
    std::size_t nameLen = folder.size();
    if (!options.below.empty()) {
        if (folder.empty() || folder.back() != '/')
            folder += '/';
        folder += options.below;
        nameLen = folder.size() - folder.rfind('/') - 1;
    }
    // The top node stands for the folder as the caller named it.
    tree.SetExplicitPath(top, folder, nameLen);
    TFileNodeData &data = tree.Data(top);
    data.flags |= TFileNodeData::Folder;
    data.present |= (1u << FileName) | (1u << FullPath) | (1u << FileType);
    TScanSummary &summary = tree.Notes().summary;
    summary.folder = folder;
    summary.sizeKind = options.choices.sizeKind;
    summary.oneFileSystem = options.choices.oneFileSystem;
    tree.Notes().exclude = options.choices.exclude;

    // The walk starts from the chosen folder, also when only a folder below it is walked.
    std::string chosen(path);
    if (chosen.empty() || chosen.back() != '/')
        chosen += '/';
    {
        Walk walk(tree, options);
        tree.BeginBulk();
        walk.Run(top, chosen);
        tree.FinishBulk();
        outcome.cancelled = walk.Cancelled();
        walk.Summarise(summary);
    }
    outcome.entries = tree.NodeCount() - 1;
    OrderLinkNames(tree);
    ApplyCountingChoices(tree, options.choices.sizeKind, options.choices.hardLinksOnce);
    tree.SetExpanded(top, true);
    return outcome;
}

bool RereadTimes(const TEntryPath &path, TFileNodeData &data)
{
    if (!(data.present & kTimeFields) || path.names.empty())
        return false;
    int error = 0;
    const TUniqueFd parent = OpenFolderAt(path, path.names.size() - 1, error);
    struct statx st;
    if (!parent.Valid() || ::statx(parent.Get(), path.names.back().c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                                   kStatxMask, &st) != 0)
        return false;
    std::int64_t times[3];
    timesOf(st, times);
    for (int k = 0; k < 3; ++k)
        data.times[k] = ToLocalSeconds(times[k]);
    return true;
}

} // namespace folvane

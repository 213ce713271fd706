#include "uFileReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "catalog/RollUp.h"

namespace folvane {

std::string_view ExtensionOf(std::string_view path)
{
    std::size_t at = path.find_last_of("./");
    if (at == std::string_view::npos || path[at] != '.')
        return {};
    return path.substr(at + 1);
}

namespace {

constexpr std::uint32_t kScannedFields = (1u << FileName) | (1u << FullPath) | (1u << FileSize) |
                                         (1u << FileType) | (1u << FileNameLength) | (1u << PathNameLength) |
                                         (1u << CreateTime) | (1u << AccessTime) | (1u << WriteTime) |
                                         (1u << DOSName);

// Closes a descriptor on every way out.
struct FdGuard {
    int fd;
    ~FdGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// One directory entry as the walk reads it, before it becomes a node.
struct Entry {
    std::uint32_t nameAt, nameLen; // in the folder's name buffer
    bool folder;
    std::uint64_t size;
    std::int64_t times[3]; // birth (or write), access, write; UTC seconds
};

struct FolderTask {
    NodeId node;
    std::string path; // ends in "/"
};

// The shared state of one parallel walk: a stack of folders still to read, and the counters.
class Walk {
public:
    Walk(TNodeTree &tree, const ScanOptions &options) : tree_(tree), options_(options) {}

    void Run(FolderTask top)
    {
        pending_ = 1;
        tasks_.push_back(std::move(top));
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
        if (options_.progress)
            options_.progress(entries_.load(), bytes_.load());
    }

    bool Cancelled() const { return options_.cancel && options_.cancel->load(std::memory_order_relaxed); }

private:
    void Work()
    {
        TNodeTree::TextWriter writer(tree_);
        std::vector<Entry> entries;
        std::string names;
        std::vector<FolderTask> found;
        for (;;) {
            FolderTask task;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !tasks_.empty() || pending_ == 0; });
                if (tasks_.empty())
                    return;
                task = std::move(tasks_.back());
                tasks_.pop_back();
            }
            found.clear();
            if (!Cancelled()) {
                try {
                    ScanEntries(task, writer, entries, names, found);
                } catch (...) {
                    // An error while reading a folder ends that folder only: it keeps what was
                    // added of it, and no exception may leave a walking thread.
                }
            }
            std::lock_guard lock(mutex_);
            for (auto it = found.rbegin(); it != found.rend(); ++it) // first subfolder on top
                tasks_.push_back(std::move(*it));
            pending_ += found.size();
            if (--pending_ == 0 || !found.empty())
                ready_.notify_all();
        }
    }

    // Reads one folder: adds its entries, in the order the directory delivers them, as the
    // children of the task's node, and hands back its subfolders for walking.
    void ScanEntries(const FolderTask &task, TNodeTree::TextWriter &writer, std::vector<Entry> &entries,
                     std::string &names, std::vector<FolderTask> &found)
    {
        if (options_.denyFolder && options_.denyFolder(task.path))
            return;
        int fd = ::open(task.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return;
        std::unique_ptr<DIR, int (*)(DIR *)> dir(::fdopendir(fd), &::closedir); // closed on every way out
        if (!dir) {
            ::close(fd);
            return;
        }
        entries.clear();
        names.clear();
        while (dirent *d = ::readdir(dir.get())) {
            const char *name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct statx st;
            if (::statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                        STATX_TYPE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME, &st) != 0)
                continue; // gone since the directory listed it
            Entry e;
            e.nameAt = std::uint32_t(names.size());
            e.nameLen = std::uint32_t(std::strlen(name));
            names.append(name, e.nameLen);
            e.folder = S_ISDIR(st.stx_mode);
            e.size = e.folder ? 0 : st.stx_size;
            e.times[2] = st.stx_mtime.tv_sec;
            e.times[1] = st.stx_atime.tv_sec;
            e.times[0] = (st.stx_mask & STATX_BTIME) ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec;
            entries.push_back(e);
        }
        dir.reset();
        if (entries.empty())
            return;

        NodeId first = tree_.AddChildBlock(task.node, std::uint32_t(entries.size()));
        std::uint64_t bytes = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry &e = entries[i];
            std::string_view name(names.data() + e.nameAt, e.nameLen);
            TFileNodeData &data = tree_.Data(first + NodeId(i));
            data.textRef = writer.Append(name);
            data.textLen = e.nameLen;
            data.nameLen = std::uint16_t(e.nameLen);
            data.size = e.size;
            for (int k = 0; k < 3; ++k)
                data.times[k] = ToLocalSeconds(e.times[k]);
            data.flags = e.folder ? TFileNodeData::Folder : TFileNodeData::File;
            data.present = kScannedFields | (e.folder ? 0u : (1u << FileExt));
            bytes += e.size;
            if (e.folder)
                found.push_back({first + NodeId(i), task.path + std::string(name) + "/"});
        }
        entries_.fetch_add(entries.size(), std::memory_order_relaxed);
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
        options_.progress(entries_.load(std::memory_order_relaxed), bytes_.load(std::memory_order_relaxed));
    }

    TNodeTree &tree_;
    const ScanOptions &options_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::vector<FolderTask> tasks_;
    std::size_t pending_ = 0; // folders queued or being read
    std::atomic<std::uint64_t> entries_{0}, bytes_{0};
    std::atomic<std::chrono::steady_clock::rep> lastReport_{0};
};

} // namespace

ScanOutcome ScanFolder(TNodeTree &tree, std::string_view path, const ScanOptions &options)
{
    tree.Clear();
    ScanOutcome outcome;
    NodeId top = tree.AddTopLevel();
    std::string folder(path);
    // The top node stands for the folder as the caller named it.
    tree.SetExplicitPath(top, folder, folder.size());
    TFileNodeData &data = tree.Data(top);
    data.flags |= TFileNodeData::Folder;
    data.present |= (1u << FileName) | (1u << FullPath) | (1u << FileType);

    if (folder.empty() || folder.back() != '/')
        folder += '/';
    Walk walk(tree, options);
    tree.BeginBulk();
    walk.Run({top, folder});
    tree.FinishBulk();
    outcome.cancelled = walk.Cancelled();
    outcome.entries = tree.NodeCount() - 1;
    try {
        std::uint64_t total = RollUpFolderSize(tree, top);
        tree.SetSize(top, total);
        FillPercentagesAndCounts(tree, total);
        tree.SetCount(top, tree.NodeCount() - 1);
    } catch (const std::exception &) {
        // A size that is not a number leaves the top node's totals unset; the walk stands.
    }
    tree.SetExpanded(top, true);
    return outcome;
}

} // namespace folvane

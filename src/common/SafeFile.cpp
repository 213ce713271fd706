#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace folvane {

namespace {

[[noreturn]] void fail(const std::string &what, const std::string &path, int error)
{
    throw std::runtime_error(what + " \"" + path + "\": " + std::strerror(error));
}

constexpr std::size_t kBufferSize = 1 << 20;

// The process's file-creation mask, read without changing it (umask() would, for all threads).
mode_t currentUmask()
{
    if (std::FILE *f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found)
            return mode_t(mask & 0777);
    }
    return 022;
}

} // namespace

std::string ReplacedFileOf(const std::string &path)
{
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec))
        return path;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved.string();
}

unsigned PermissionsFor(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return unsigned(st.st_mode & 0777);
    return unsigned(0666 & ~currentUmask());
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)), target_(ReplacedFileOf(path_))
{
    temp_ = target_ + ".XXXXXX";
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0)
        fail("Cannot write", path_, errno);
    ::fchmod(fd_, mode_t(PermissionsFor(target_)));
    buffer_.reserve(kBufferSize);
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_)
        ::unlink(temp_.c_str());
}

void AtomicFile::flush()
{
    const char *p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write", path_, errno);
        }
        p += n;
        left -= std::size_t(n);
    }
#ifdef __linux__
    // Start writing what was just handed over to the disk now, while the next part is made, so
    // that the sync before the rename has little left to wait for. Only a hint: errors show at fsync.
    ::sync_file_range(fd_, off_t(written_), off_t(buffer_.size()), SYNC_FILE_RANGE_WRITE);
#endif
    written_ += buffer_.size();
    buffer_.clear();
}

void AtomicFile::Write(std::string_view bytes)
{
    if (buffer_.size() + bytes.size() > kBufferSize)
        flush();
    if (bytes.size() >= kBufferSize) {
        buffer_.assign(bytes);
        flush();
        return;
    }
    buffer_.append(bytes);
}

void AtomicFile::Commit()
{
    flush();
    if (::fsync(fd_) != 0)
        fail("Cannot write", path_, errno);
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail("Cannot write", path_, errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        fail("Cannot replace", path_, errno);
    committed_ = true;
}

void WriteFileAtomically(const std::string &path, std::string_view bytes)
{
    AtomicFile file(path);
    file.Write(bytes);
    file.Commit();
}

} // namespace folvane

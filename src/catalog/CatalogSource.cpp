#include "catalog/CatalogSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "catalog/CatalogFile.h"

namespace folvane {

namespace {

std::string systemReason(int error)
{
    return std::generic_category().message(error);
}

// Reads until `size` bytes or the end; -1 with errno on failure.
ssize_t readFully(int fd, char *into, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, into + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    return ssize_t(got);
}

} // namespace

TCatalogSource::TCatalogSource(std::string path, std::uint64_t from) : path_(std::move(path))
{
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw TCatalogFileError(path_, "cannot open the file: " + systemReason(errno));
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            ::close(fd_);
            throw TCatalogFileError(path_, "a folder, not a catalogue file");
        }
        modified_ = st.st_mtim.tv_sec;
        seekable_ = S_ISREG(st.st_mode);
        size_ = seekable_ ? std::uint64_t(st.st_size) : 0;
    }
    if (from > 0 && (!seekable_ || ::lseek(fd_, off_t(from), SEEK_SET) < 0)) {
        const int error = seekable_ ? errno : ESPIPE;
        ::close(fd_);
        throw TCatalogFileError(path_, "cannot read the file: " + systemReason(error));
    }
    offset_ = from;
    head_.resize(kHead);
    const ssize_t got = readFully(fd_, head_.data(), head_.size());
    if (got < 0) {
        const int error = errno;
        ::close(fd_);
        throw TCatalogFileError(path_, "cannot read the file: " + systemReason(error));
    }
    head_.resize(std::size_t(got));
}

TCatalogSource::~TCatalogSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t TCatalogSource::Read(char *into, std::size_t size)
{
    std::size_t got = 0;
    if (headUsed_ < head_.size()) {
        got = std::min(size, head_.size() - headUsed_);
        std::memcpy(into, head_.data() + headUsed_, got);
        headUsed_ += got;
        if (headUsed_ == head_.size()) {
            std::string().swap(head_); // the head's memory goes back once it is read
            headUsed_ = 0;
        }
    } else {
        const ssize_t n = readFully(fd_, into, size);
        if (n < 0)
            throw TCatalogFileError(path_, "cannot read the file: " + systemReason(errno));
        got = std::size_t(n);
    }
    offset_ += got;
    return got;
}

TFilePlace TCatalogSource::PlaceOf(std::uint64_t offset) const
{
    if (!seekable_)
        return {};
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    TFilePlace place{1, 1};
    auto buffer = std::make_unique<char[]>(kPiece);
    std::uint64_t at = 0;
    while (at < offset) {
        const ssize_t n = readFully(fd, buffer.get(), std::size_t(std::min<std::uint64_t>(kPiece, offset - at)));
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            const auto c = static_cast<unsigned char>(buffer[std::size_t(i)]);
            if (c == '\n') {
                ++place.line;
                place.column = 1;
            } else if ((c & 0xC0) != 0x80) { // a character starts here: not a UTF-8 continuation byte
                ++place.column;
            }
        }
        at += std::uint64_t(n);
    }
    ::close(fd);
    return place;
}

} // namespace folvane

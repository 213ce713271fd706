#include "EntryPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace folvane {

namespace {

// The names of a path, without empty ones and "." (so "/a//b/./c/" gives a, b, c).
std::vector<std::string_view> componentsOf(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t end = std::min(path.find('/'), path.size());
        std::string_view part = path.substr(0, end);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        path.remove_prefix(std::min(end + 1, path.size()));
    }
    return parts;
}

} // namespace

void TUniqueFd::Reset(int fd)
{
    if (fd_ >= 0) {
        const int saved = errno;
        ::close(fd_);
        errno = saved;
    }
    fd_ = fd;
}

TEntryPath TEntryPath::Below(std::string top, std::string_view below)
{
    TEntryPath path;
    path.top = std::move(top);
    while (!below.empty()) {
        const std::size_t end = std::min(below.find('/'), below.size());
        if (end > 0)
            path.names.emplace_back(below.substr(0, end));
        below.remove_prefix(std::min(end + 1, below.size()));
    }
    return path;
}

std::string TEntryPath::Full() const
{
    std::string path = top;
    for (const std::string &name : names) {
        if (path.empty() || path.back() != '/')
            path += '/';
        path += name;
    }
    return path;
}

std::string TEntryPath::Name() const
{
    return names.empty() ? top : names.back();
}

TEntryPath TEntryPath::Parent() const
{
    TEntryPath parent = *this;
    if (!parent.names.empty())
        parent.names.pop_back();
    return parent;
}

std::size_t TEntryPath::TopSteps() const
{
    return componentsOf(top).size() + 1;
}

std::string TEntryPath::PathAtStep(std::size_t step) const
{
    const std::vector<std::string_view> parts = componentsOf(top);
    const bool absolute = !top.empty() && top.front() == '/';
    std::string path = absolute ? "/" : "";
    auto add = [&](std::string_view name) {
        if (!path.empty() && path.back() != '/')
            path += '/';
        path += name;
    };
    for (std::size_t i = 0; i < step && i < parts.size(); ++i)
        add(parts[i]);
    for (std::size_t i = parts.size(); i < step && i - parts.size() < names.size(); ++i)
        add(names[i - parts.size()]);
    return path.empty() ? "." : path;
}

std::string TEntryPath::RelativeFromStep(std::size_t step) const
{
    const std::vector<std::string_view> parts = componentsOf(top);
    std::string out;
    auto add = [&](std::string_view name) {
        if (!out.empty())
            out += '/';
        out += name;
    };
    for (std::size_t i = step; i < parts.size(); ++i)
        add(parts[i]);
    for (std::size_t i = step > parts.size() ? step - parts.size() : 0; i < names.size(); ++i)
        add(names[i]);
    return out;
}

TUniqueFd OpenFolderAt(const TEntryPath &path, std::size_t depth, int &error, const WalkVisit &visit)
{
    error = 0;
    const std::vector<std::string_view> parts = componentsOf(path.top);
    const bool absolute = !path.top.empty() && path.top.front() == '/';
    TUniqueFd fd(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) {
        error = errno;
        return {};
    }
    std::size_t step = 0;
    if (visit)
        visit(step, fd.Get());
    std::string name;
    // The top's own path as named, links followed; then the names below it, none followed.
    auto down = [&](std::string_view part, bool followLinks) {
        name.assign(part);
        const int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
        TUniqueFd next(::openat(fd.Get(), name.c_str(), flags));
        if (!next.Valid()) {
            error = errno;
            return false;
        }
        fd = std::move(next);
        if (visit)
            visit(++step, fd.Get());
        return true;
    };
    for (std::string_view part : parts)
        if (!down(part, true))
            return {};
    for (std::size_t i = 0; i < depth && i < path.names.size(); ++i)
        if (!down(path.names[i], false))
            return {};
    return fd;
}

bool StatEntry(const TEntryPath &path, struct stat &st, int &error)
{
    error = 0;
    if (path.names.empty()) {
        if (::stat(path.top.c_str(), &st) == 0)
            return true;
        error = errno;
        return false;
    }
    TUniqueFd parent = OpenFolderAt(path, path.names.size() - 1, error);
    if (!parent.Valid())
        return false;
    if (::fstatat(parent.Get(), path.names.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return true;
    error = errno;
    return false;
}

std::string ErrorText(int error)
{
    char buffer[256];
    // The GNU strerror_r answers its text, which may or may not live in the buffer.
    const char *text = ::strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : "error " + std::to_string(error);
}

} // namespace folvane

#include "catalog/MountTable.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>

namespace folvane {

namespace {

// The next blank-separated field of a line.
std::string_view nextField(std::string_view &line)
{
    const std::size_t start = std::min(line.find_first_not_of(' '), line.size());
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find(' '), line.size());
    std::string_view field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

// mountinfo writes a blank, tab, line feed and backslash in a path as "\040" and the like.
std::string unescape(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            int value = 0;
            auto [end, ec] = std::from_chars(s.data() + i + 1, s.data() + i + 4, value, 8);
            if (ec == std::errc() && end == s.data() + i + 4) {
                out += char(value);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

template <typename T> bool number(std::string_view text, T &value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": id, parent, device, root,
// mount point, options, optional fields up to "-", then the type.
bool parseLine(std::string_view line, TMount &m)
{
    std::uint64_t parent = 0;
    if (!number(nextField(line), m.id) || !number(nextField(line), parent))
        return false;
    const std::string_view device = nextField(line);
    const std::size_t colon = device.find(':');
    if (colon == std::string_view::npos || !number(device.substr(0, colon), m.major) ||
        !number(device.substr(colon + 1), m.minor))
        return false;
    nextField(line); // root of the mount within its file system
    m.mountPoint = unescape(nextField(line));
    for (std::string_view field = nextField(line); field != "-"; field = nextField(line))
        if (field.empty())
            return false;
    const std::string_view type = nextField(line);
    if (type.empty())
        return false;
    m.type = unescape(type);
    return true;
}

} // namespace

TMountTable TMountTable::FromText(std::string_view text)
{
    TMountTable table;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        TMount m;
        if (parseLine(text.substr(0, end), m))
            table.mounts_.push_back(std::move(m));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return table;
}

TMountTable TMountTable::OfThisProcess()
{
    std::string text;
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[16384];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    ::close(fd);
    return FromText(text);
}

const TMount *TMountTable::ById(std::uint64_t id) const
{
    for (const TMount &m : mounts_)
        if (m.id == id)
            return &m;
    return nullptr;
}

const TMount *TMountTable::ByDevice(std::uint32_t major, std::uint32_t minor) const
{
    const TMount *found = nullptr;
    for (const TMount &m : mounts_)
        if (m.major == major && m.minor == minor)
            found = &m;
    return found;
}

bool IsKernelFileSystem(std::string_view type)
{
    static constexpr std::array<std::string_view, 17> kKernel = {
        "proc",  "sysfs", "devpts",   "debugfs", "tracefs", "securityfs", "cgroup",    "cgroup2",     "pstore",
        "bpf",   "configfs", "fusectl", "efivarfs", "mqueue", "hugetlbfs", "binfmt_misc", "devtmpfs",
    };
    for (std::string_view k : kKernel)
        if (k == type)
            return true;
    return false;
}

} // namespace folvane

#pragma once
// A temporary folder for one test, removed with everything in it when the test ends.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace folvane::test {

class TempDir {
public:
    // In `base` when given (a test that makes very many entries may prefer a memory file system).
    explicit TempDir(const std::filesystem::path &base = std::filesystem::temp_directory_path())
    {
        std::string pattern = (base / "folvane-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a temporary folder");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        // Give back permissions a test may have taken away, so that everything can be removed.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                ::chmod(it->path().c_str(), 0755);
        ::chmod(path_.c_str(), 0755);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &Path() const { return path_; }
    std::string operator/(const std::string &relative) const { return path_ + "/" + relative; }

    // Creates a file of `size` bytes (sparse) at `relative`, making its folders as needed.
    std::string File(const std::string &relative, std::uint64_t size = 0) const
    {
        std::string p = *this / relative;
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        { std::ofstream(p, std::ios::binary); }
        std::filesystem::resize_file(p, size);
        return p;
    }
    std::string Folder(const std::string &relative) const
    {
        std::string p = *this / relative;
        std::filesystem::create_directories(p);
        return p;
    }

private:
    std::string path_;
};

} // namespace folvane::test

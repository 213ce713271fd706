#pragma once
// Writing a file so that it is never left half-written: the new content goes into a temporary
// file beside the target, which replaces the target only once it is complete. Until then the old
// file stays whole; a failure removes the temporary file and leaves the old one as it was.

#include <cstdint>
#include <string>
#include <string_view>

namespace folvane {

class AtomicFile {
public:
    // Creates the temporary file beside `path`; throws std::runtime_error (with the path and the
    // system's reason) when it cannot.
    explicit AtomicFile(std::string path);
    // Without Commit the temporary file is removed and the target is untouched.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Buffered; throws on a write error.
    void Write(std::string_view bytes);
    // Flushes, syncs and renames the temporary file over the target; throws on failure.
    void Commit();

    const std::string &Path() const { return path_; }

private:
    void flush();

    std::string path_, target_, temp_;
    int fd_ = -1;
    std::string buffer_;
    std::uint64_t written_ = 0; // bytes handed to the file so far
    bool committed_ = false;
};

// The file that a write to `path` replaces: `path` itself, or the file a symbolic link there
// leads to, so that the link stays and its file gets the new content.
std::string ReplacedFileOf(const std::string &path);

// The permission bits for a file written at `path`: those of the file it replaces, else what a
// newly created file gets (0666 less the process's umask).
unsigned PermissionsFor(const std::string &path);

// Replaces the file at `path` with `bytes` as one step (see AtomicFile).
void WriteFileAtomically(const std::string &path, std::string_view bytes);

} // namespace folvane

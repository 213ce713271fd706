#pragma once
// The bytes of a catalogue file as its readers take them: read in large pieces, never the whole
// file at once, from a file or from a pipe alike. The first piece is read on opening, so that the
// format can be told from it without reading anything twice.
//
// A reader that finds a fault reports the byte offset where it lies; PlaceOf turns that offset
// into a line and a column by reading the file again up to it, so that the reading itself never
// pays for counting lines.

#include <cstdint>
#include <string>
#include <string_view>

namespace folvane {

struct TFilePlace {
    std::uint64_t line = 0;   // 1-based; 0 when not known
    std::uint64_t column = 0; // 1-based, in characters
};

class TCatalogSource {
public:
    // Opens the file and reads its first piece, from the byte at `from` on (for a file that can
    // be read from anywhere); throws TCatalogFileError when it cannot be opened or read, or
    // names a folder.
    explicit TCatalogSource(std::string path, std::uint64_t from = 0);
    ~TCatalogSource();
    TCatalogSource(const TCatalogSource &) = delete;
    TCatalogSource &operator=(const TCatalogSource &) = delete;

    const std::string &Path() const { return path_; }
    // The first bytes of the file, as read on opening (at most one piece; empty for an empty file).
    std::string_view Head() const { return head_; }
    // When the file was last written, in UTC seconds.
    std::int64_t ModifiedUtc() const { return modified_; }
    // A regular file, which can be read again and from anywhere; its size.
    bool Seekable() const { return seekable_; }
    std::uint64_t Size() const { return size_; }

    // Copies up to `size` further bytes into `into`, the head first; 0 at the end of the file.
    // Throws TCatalogFileError when the system cannot read on.
    std::size_t Read(char *into, std::size_t size);
    // The offset in the file of the next byte Read hands out.
    std::uint64_t Offset() const { return offset_; }

    // The line and column of the byte at `offset`, counted by reading the file again from its
    // start; nothing known (line 0) when it cannot be read again, as from a pipe.
    TFilePlace PlaceOf(std::uint64_t offset) const;

    static constexpr std::size_t kPiece = 1 << 18;
    // The first piece, enough to tell the format.
    static constexpr std::size_t kHead = 1 << 16;

private:
    std::string path_;
    int fd_ = -1;
    std::string head_;
    std::size_t headUsed_ = 0;
    std::uint64_t offset_ = 0;
    std::int64_t modified_ = 0;
    std::uint64_t size_ = 0;
    bool seekable_ = false;
};

} // namespace folvane

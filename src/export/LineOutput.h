#pragma once
// Text written to a file as a list of lines: every line break of the text (CR, LF or CR LF) is
// written as CR LF, and a last line without a break gets one, so an empty text gives an empty
// file. The bytes collect in a buffer that goes to the file in large chunks; without a file they
// stay in the buffer (for tests and for building a page in memory).

#include <string>
#include <string_view>

namespace folvane {

class AtomicFile;

class LineOutput {
public:
    explicit LineOutput(AtomicFile *file = nullptr);

    // Text whose line breaks become CR LF. A CR at the end of one call and an LF at the start of
    // the next are one break, as they would be in one text.
    void Text(std::string_view text);
    // Bytes written as they are (a quoted CSV value keeps its own line breaks).
    void Verbatim(std::string_view bytes);
    // Ends an open last line and hands everything to the file.
    void Finish();

    // Sends the buffer to the file once it is large; a no-op without a file.
    void FlushIfLarge()
    {
        if (file_ && buffer_.size() >= kChunk)
            flush();
    }

    // The bytes so far (all of them when there is no file).
    const std::string &Bytes() const { return buffer_; }
    std::string TakeBytes() { return std::move(buffer_); }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    void lineBreak()
    {
        buffer_ += "\r\n";
        lineOpen_ = false;
    }
    void flush();

    AtomicFile *file_;
    std::string buffer_;
    bool pendingCr_ = false; // a CR seen and not yet written: an LF right after it joins it
    bool lineOpen_ = false;  // bytes written since the last break
};

} // namespace folvane

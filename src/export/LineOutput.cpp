#include "LineOutput.h"

#include "common/SafeFile.h"

namespace folvane {

LineOutput::LineOutput(AtomicFile *file) : file_(file)
{
    buffer_.reserve(file ? kChunk + kChunk / 4 : 256);
}

void LineOutput::Text(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        if (pendingCr_) {
            pendingCr_ = false;
            lineBreak();
            if (text[i] == '\n') {
                ++i;
                continue;
            }
        }
        // The run up to the next CR or LF goes out in one piece.
        std::size_t j = i;
        while (j < n && text[j] != '\r' && text[j] != '\n')
            ++j;
        if (j > i) {
            buffer_.append(text.data() + i, j - i);
            lineOpen_ = true;
        }
        if (j == n)
            break;
        if (text[j] == '\r')
            pendingCr_ = true;
        else
            lineBreak();
        i = j + 1;
    }
}

void LineOutput::Verbatim(std::string_view bytes)
{
    if (bytes.empty())
        return;
    if (pendingCr_) {
        pendingCr_ = false;
        lineBreak();
    }
    buffer_.append(bytes);
    lineOpen_ = true;
}

void LineOutput::Finish()
{
    if (pendingCr_) {
        pendingCr_ = false;
        lineBreak();
    } else if (lineOpen_) {
        lineBreak();
    }
    if (file_)
        flush();
}

void LineOutput::flush()
{
    file_->Write(buffer_);
    buffer_.clear();
}

} // namespace folvane

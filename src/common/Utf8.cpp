#include "Utf8.h"

#include <cstdint>
#include <cstring>

namespace folvane {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when the bytes there are not one.
std::size_t sequenceLength(std::string_view s, std::size_t i)
{
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return len;
}

// Length of the run of plain ASCII at the start of the text (most names are nothing else).
std::size_t asciiPrefix(std::string_view s)
{
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80)
        ++i;
    return i;
}

} // namespace

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t i = asciiPrefix(text); i < text.size();) {
        std::size_t n = sequenceLength(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string ValidUtf8(std::string_view text)
{
    std::size_t start = asciiPrefix(text);
    if (start == text.size())
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    out.append(text.substr(0, start));
    for (std::size_t i = start; i < text.size();) {
        std::size_t n = sequenceLength(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::size_t CodePointCount(std::string_view text)
{
    std::size_t count = asciiPrefix(text);
    for (std::size_t i = count; i < text.size(); ++count) {
        std::size_t n = sequenceLength(text, i);
        i += n == 0 ? 1 : n;
    }
    return count;
}

} // namespace folvane
